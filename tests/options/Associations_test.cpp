// File-type associations against a private desktop, read back by xdg-mime.

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>
#include <QFileInfo>

#include "mainwindow/frmGlimvane.h"
#include "options/Associations.h"
#include "options/PrivateDesktop.h"
#include "platform/Screen.h"
#include "platform/Settings.h"
#include "settings/SettingKeys.h"
#include "startup/AppState.h"
#include "support/FakeDialogs.h"
#include "support/FakeTrayIcon.h"

using namespace gv;
using gvtest::PrivateDesktop;

namespace {

const AssociationType& typeCode(const char* code) {
    for (const AssociationType& t : kAssociationTypes) {
        if (QLatin1String(t.code) == QLatin1String(code)) {
            return t;
        }
    }
    throw std::invalid_argument(code);
}

ino_t inode(const QString& path) {
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_ino : 0;
}

QString undoOf(const char* code) {
    return SettingExists("Glimvane2", "Associations", code)
               ? GetSetting("Glimvane2", "Associations", code)
               : QStringLiteral("<none>");
}

class Associations : public ::testing::Test {
protected:
    void SetUp() override { resetAppState(); }

    // The user's own list: comments, other groups and types around a PNG default of eog.
    static constexpr const char* kUserList =
        "# kept by hand\n"
        "[Added Associations]\n"
        "image/png=gimp.desktop;\n"
        "\n"
        "[Default Applications]\n"
        "text/plain=gedit.desktop\n"
        "image/png=eog.desktop\n"
        "\n"
        "[Removed Associations]\n"
        "image/gif=wine.desktop;\n";

    void apply(const char* code, bool checked) {
        FileTypeAssociations(nullptr).SetFileTypeAssociation(checked, typeCode(code));
    }
    static bool associated(const char* code) {
        return FileTypeAssociations(nullptr).IsTypeAssociated(typeCode(code));
    }

    PrivateDesktop m_desktop;
    gvtest::ScopedFakeDialogs m_dialogs;
};

}  // namespace

TEST_F(Associations, TakenAndGivenBackLeavingTheRestOfTheListByteForByte) {
    PrivateDesktop::write(PrivateDesktop::listPath(), kUserList);
    ASSERT_EQ(PrivateDesktop::xdgDefault("image/png"), "eog.desktop");
    ASSERT_EQ(PrivateDesktop::xdgDefault("image/gif"), "gimp.desktop");  // the system's cache

    apply("PNG", true);
    apply("GIF", true);
    for (const char* type : {"image/png", "image/gif"}) {
        EXPECT_EQ(PrivateDesktop::xdgDefault(type), "glimvane.desktop") << type;
    }
    // Glimvane's answer is the desktop's: also where the system's cache names another program,
    // and where Glimvane is the only program the desktop has for a type.
    for (const char* code : {"PNG", "GIF", "JPG", "BMP"}) {
        EXPECT_EQ(associated(code),
                  PrivateDesktop::xdgDefault(typeCode(code).mimeType) == "glimvane.desktop")
            << code;
    }
    EXPECT_FALSE(associated("JPG"));
    EXPECT_EQ(GetSetting(keys::kAssociationKeys[12]), "1");
    EXPECT_EQ(undoOf("PNG"), "image/png=eog.desktop");
    EXPECT_EQ(undoOf("GIF"), "");  // no default of the user's own
    EXPECT_TRUE(PrivateDesktop::read(PrivateDesktop::ownEntry())
                    .contains("Exec=" + QFile::encodeName(programPath()) + " %f\n"));

    apply("GIF", false);
    apply("PNG", false);
    EXPECT_EQ(PrivateDesktop::read(PrivateDesktop::listPath()), kUserList);
    EXPECT_EQ(PrivateDesktop::xdgDefault("image/png"), "eog.desktop");
    EXPECT_EQ(PrivateDesktop::xdgDefault("image/gif"), "gimp.desktop");
    EXPECT_EQ(GetSetting(keys::kAssociationKeys[12]), "0");
    EXPECT_EQ(undoOf("PNG"), "<none>");
    EXPECT_TRUE(m_dialogs->shown.isEmpty());
}

TEST_F(Associations, ASecondTickKeepsTheEarlierOwnerAndClearingAStrangersTypeTouchesNothing) {
    PrivateDesktop::write(PrivateDesktop::listPath(), kUserList);
    apply("PNG", true);
    const QByteArray taken = PrivateDesktop::read(PrivateDesktop::listPath());
    const ino_t file = inode(PrivateDesktop::listPath());
    apply("PNG", true);
    apply("JPG", false);  // gimp's, by the system
    EXPECT_EQ(inode(PrivateDesktop::listPath()), file) << "the list was written again";
    EXPECT_EQ(PrivateDesktop::read(PrivateDesktop::listPath()), taken);
    EXPECT_EQ(GetSetting(keys::kAssociationKeys[1]), "0");
    EXPECT_EQ(undoOf("PNG"), "image/png=eog.desktop");
    EXPECT_EQ(PrivateDesktop::xdgDefault("image/jpeg"), "gimp.desktop");
    apply("PNG", false);
    EXPECT_EQ(PrivateDesktop::xdgDefault("image/png"), "eog.desktop");
}

TEST_F(Associations, WithoutUsableUndoTheUserChoosesAnotherProgramOrKeepsGlimvane) {
    const QString question =
        "Cannot unassociate the PNG file format, the 'Undo' data is either corrupted or missing, "
        "would you like to choose another program for PNG files now? Click Yes to browse for a "
        "program, click No to stick with Glimvane as the default PNG file application.";
    const struct {
        const char* what;
        std::optional<QString> undo;  // nothing: none kept
        gv::MsgAnswer answer;
        std::optional<QString> chosen;
        const char* after;
    } cases[] = {
        {"undo missing, No", std::nullopt, MsgAnswer::No, std::nullopt, "glimvane.desktop"},
        {"earlier program gone, Yes and a choice", "image/png=gone.desktop", MsgAnswer::Yes,
         PrivateDesktop::systemApps() + "/gimp.desktop", "gimp.desktop"},
        {"Yes, then the chooser cancelled", std::nullopt, MsgAnswer::Yes, std::nullopt,
         "glimvane.desktop"},
        {"Yes and a file that is no desktop entry", std::nullopt, MsgAnswer::Yes,
         QString("/usr/bin/true"), "glimvane.desktop"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        m_dialogs->shown.clear();
        PrivateDesktop::write(PrivateDesktop::listPath(), "[Default Applications]\n");
        apply("PNG", true);
        ASSERT_EQ(PrivateDesktop::xdgDefault("image/png"), "glimvane.desktop");
        if (c.undo) {
            SaveSetting("Glimvane2", "Associations", "PNG", *c.undo);
        } else {
            DeleteSetting("Glimvane2", "Associations", "PNG");
        }
        m_dialogs->messageAnswers.enqueue(c.answer);
        if (c.chosen) {
            m_dialogs->fileAnswers.enqueue(FileChoice{*c.chosen, QFileInfo(*c.chosen).fileName()});
        }
        apply("PNG", false);
        ASSERT_GE(m_dialogs->shown.size(), 1);
        EXPECT_EQ(m_dialogs->shown[0].text, question);
        EXPECT_EQ(m_dialogs->shown[0].title, "Error in Unassociating!");
        EXPECT_EQ(m_dialogs->shown[0].buttons, MsgButtons::YesNo);
        if (c.answer == MsgAnswer::Yes) {
            ASSERT_GE(m_dialogs->shown.size(), 2);
            EXPECT_EQ(m_dialogs->shown[1].kind, "program");
            EXPECT_EQ(m_dialogs->shown[1].title, "Browse for programs");
            EXPECT_EQ(m_dialogs->shown[1].text,
                      "Please browse for a new default PNG file format application.");
        }
        EXPECT_EQ(PrivateDesktop::xdgDefault("image/png"), c.after);
        EXPECT_EQ(GetSetting(keys::kAssociationKeys[12]), "0");
    }
    // The file that is no desktop entry was refused with a message of its own.
    EXPECT_EQ(m_dialogs->titles().last(), "File Types");
}

TEST_F(Associations, AListThatCannotBeReadOrWrittenIsReportedOnceAndLeftAsItIs) {
    const QString list = PrivateDesktop::listPath();
    const QString dotfiles = gvtest::testFolders().home + "/dotfiles";
    QDir().mkpath(dotfiles);
    const struct {
        const char* what;
        QByteArray text;
        mode_t mode;
        bool dangling;
        const char* problem;
    } cases[] = {
        {"damaged", "[Default Applications]\nimage/png=eog.desktop\nnonsense here\n", 0644, false,
         "line 3 is damaged (\"nonsense here\")"},
        {"read-only", kUserList, 0444, false, "it is read-only"},
        {"a link to nowhere", "", 0644, true,
         "it is a symbolic link to a file that does not exist"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        m_dialogs->shown.clear();
        QFile::remove(list);
        QFile::remove(dotfiles + "/mimeapps.list");
        if (c.dangling) {
            ASSERT_EQ(::symlink("../home/dotfiles/gone.list", QFile::encodeName(list)), 0);
        } else {
            PrivateDesktop::write(list, c.text);
            ::chmod(QFile::encodeName(list).constData(), c.mode);
        }
        FileTypeAssociations associations(nullptr);
        for (const AssociationType& type : kAssociationTypes) {
            associations.SetFileTypeAssociation(true, type);
        }
        ASSERT_TRUE(
            m_dialogs->showedOne({.text = "Glimvane cannot change the file types in '" + list +
                                          "': " + c.problem + ". The file was left as it is.",
                                  .icon = MsgIcon::Exclamation}));
        if (!c.dangling) {
            EXPECT_EQ(PrivateDesktop::read(list), c.text);
            struct stat st {};
            ASSERT_EQ(::stat(QFile::encodeName(list).constData(), &st), 0);
            EXPECT_EQ(st.st_mode & 0777, c.mode);
        }
        // The user's wish is kept all the same.
        EXPECT_EQ(GetSetting(keys::kAssociationKeys[0]), "1");
    }
}

TEST_F(Associations, AListKeptAsALinkIntoDotfilesIsWrittenThroughAndStaysALink) {
    const QString dotfiles = gvtest::testFolders().home + "/dotfiles";
    QDir().mkpath(dotfiles);
    PrivateDesktop::write(dotfiles + "/mimeapps.list", kUserList);
    ASSERT_EQ(::symlink("../home/dotfiles/mimeapps.list",
                        QFile::encodeName(PrivateDesktop::listPath()).constData()),
              0);
    apply("PNG", true);
    EXPECT_TRUE(QFileInfo(PrivateDesktop::listPath()).isSymLink());
    EXPECT_EQ(PrivateDesktop::xdgDefault("image/png"), "glimvane.desktop");
    EXPECT_NE(PrivateDesktop::read(dotfiles + "/mimeapps.list"), kUserList);
    apply("PNG", false);
    EXPECT_TRUE(QFileInfo(PrivateDesktop::listPath()).isSymLink());
    EXPECT_EQ(PrivateDesktop::read(dotfiles + "/mimeapps.list"), kUserList);
    // No temporary file is left beside the real one.
    EXPECT_EQ(QDir(dotfiles).entryList(QDir::Files | QDir::Hidden), QStringList{"mimeapps.list"});
}

TEST_F(Associations, StartUpTakesBackTheTypesTheUserAskedForWhenMaintained) {
    gvtest::ScopedFakeTray tray;
    overrideScreenSize(QSize(1280, 1024));
    SaveSetting(keys::kDeskIcon232, "1");
    SaveSetting(keys::kVersionMajor, QString::number(GLIMVANE_VERSION_MAJOR));
    SaveSetting(keys::kVersionMinor, QString::number(GLIMVANE_VERSION_MINOR));
    SaveSetting(keys::kVersionRev, QString::number(GLIMVANE_VERSION_REV));
    for (const char* maintain : {"0", "1"}) {
        SCOPED_TRACE(maintain);
        // PNG and GIF asked for; another program has taken PNG since, GIF is not the user's.
        PrivateDesktop::write(PrivateDesktop::listPath(), kUserList);
        SaveSetting(keys::kAssociationKeys[12], "1");
        SaveSetting(keys::kAssociationKeys[2], "1");
        SaveSetting(keys::kMaintainAss, maintain);
        {
            frmGlimvane w;
            ASSERT_TRUE(w.Load());
            w.close();
        }
        const bool taken = QLatin1String(maintain) == QLatin1String("1");
        for (const char* type : {"image/png", "image/gif"}) {
            EXPECT_EQ(PrivateDesktop::xdgDefault(type) == "glimvane.desktop", taken) << type;
        }
        EXPECT_EQ(PrivateDesktop::xdgDefault("image/jpeg"), "gimp.desktop");
        EXPECT_EQ(undoOf("PNG"), taken ? "image/png=eog.desktop" : "<none>");
    }
    overrideScreenSize(QSize());
}

TEST_F(Associations, OneBoxTakesAndGivesBackEveryCameraRawType) {
    PrivateDesktop::write(PrivateDesktop::listPath(), kUserList);
    const QList<QByteArray> types = mimeTypesOf(typeCode("RAW"));
    ASSERT_EQ(types.size(), 8);
    apply("RAW", true);
    EXPECT_TRUE(associated("RAW"));
    for (const QByteArray& type : types) {
        EXPECT_EQ(PrivateDesktop::xdgDefault(type), "glimvane.desktop") << type.constData();
    }
    EXPECT_EQ(undoOf("RAW"), "");
    EXPECT_EQ(undoOf("RAW8"), "");
    apply("RAW", false);
    EXPECT_EQ(PrivateDesktop::read(PrivateDesktop::listPath()), kUserList);
    EXPECT_EQ(undoOf("RAW8"), "<none>");
    EXPECT_TRUE(m_dialogs->shown.isEmpty());
}
