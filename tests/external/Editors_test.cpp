#include <gtest/gtest.h>

#include <QAction>
#include <QDir>
#include <QFile>
#include <QMenu>

#include "external/Editors.h"
#include "external/clsVarMenus.h"
#include "support/FakeDialogs.h"
#include "support/TestEnvironment.h"
#include "support/X11Helpers.h"

using namespace gv;

TEST(Editors, ProposesNamesOfKnownEditors) {
    const QList<QPair<QString, QString>> cases = {{"PSP.EXE", "Paint Shop Pro"},
                                                  {"i_view32.exe", "Irfan View"},
                                                  {"gimp-2.10", "GIMP"},
                                                  {"org.kde.krita.desktop", "Krita"},
                                                  {"rawtherapee", "RawTherapee"},
                                                  {"gimpish", ""},
                                                  {"notes.exe", ""}};
    for (const auto& [file, name] : cases) {
        EXPECT_EQ(proposedEditorName(file), name) << file.toStdString();
    }
}

TEST(Editors, InstalledEditorsAreFoundByTheirDesktopEntriesInAnyCase) {
    const QString folder = gvtest::testFolders().data + "/applications";
    ASSERT_TRUE(QDir().mkpath(folder + "/org.kde.krita.desktop"));  // a folder, not an entry
    for (const QString name : {"GIMP.Desktop", "org.inkscape.Inkscape.desktop",
                               "pinta.desktop.bak", "mtpaint.desktop~"}) {
        QFile f(folder + "/" + name);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    QStringList mine;
    for (const MenuEntry& e : installedEditors()) {
        if (e.target.startsWith(folder)) {
            mine << e.name + " " + e.target.mid(folder.size() + 1);
        }
    }
    EXPECT_EQ(mine, QStringList({"GIMP GIMP.Desktop", "Inkscape org.inkscape.Inkscape.desktop"}));
}

TEST(Editors, DesktopEntriesGiveTheirCommand) {
    const QString entry =
        "[Desktop Action new]\nExec=other\n[Desktop Entry]\nName=Paint\n"
        "Exec=/usr/bin/paint --new \"a \\\"b\\\"\" 100%% %U %i\n";
    const auto command = desktopEntryCommand(entry, "/p/x y.png");
    ASSERT_TRUE(command);
    EXPECT_EQ(command->program, "/usr/bin/paint");
    EXPECT_EQ(command->arguments, QStringList({"--new", "a \"b\"", "100%", "/p/x y.png"}));
    EXPECT_EQ(desktopEntryCommand("[Desktop Entry]\nExec=/bin/ed\n", "/i")->arguments,
              QStringList({"/i"}));
    EXPECT_FALSE(desktopEntryCommand("[Desktop Entry]\nName=None\n", "/i"));
}

TEST(Editors, StartsTheEditorWithThePathAsOneArgument) {
    gvtest::ScopedFakeDialogs dialogs;
    const QString folder = gvtest::testFolders().root;
    const QString out = folder + "/argv.txt";
    const QString editor = folder + "/editor";
    QFile script(editor);
    ASSERT_TRUE(script.open(QIODevice::WriteOnly));
    script.write(("#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > '" + out +
                  ".part' && mv '" + out + ".part' '" + out + "'\n")
                     .toUtf8());
    script.close();
    script.setPermissions(script.permissions() | QFile::ExeOwner);
    const QString image = folder + "/-a \"b\" $HOME 'c'.png";
    EXPECT_TRUE(StartEditor(editor, image));
    ASSERT_TRUE(gvtest::waitFor([&] { return QFile::exists(out); }, 5000));
    QFile written(out);
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(written.readAll()), image + "\n");
    EXPECT_TRUE(dialogs->shown.isEmpty());

    EXPECT_FALSE(StartEditor(folder + "/missing", image));
    ASSERT_TRUE(dialogs->showedOne(
        {.text = "Cannot launch " + folder + "/missing", .title = "File not Found!"}));
}

TEST(Editors, AddEditorProposesAndAdds) {
    gvtest::ScopedFakeDialogs dialogs;
    QMenu menu;
    QList<QAction*> items{menu.addAction(QString())};
    items[0]->setObjectName("mnuEditors_0");
    clsVarMenus editors(&menu, items);
    dialogs->fileAnswers << FileChoice{"/opt/Tools/PSP.EXE", "PSP.EXE", 1} << std::nullopt;
    dialogs->inputAnswers << " Paint ";
    EXPECT_EQ(AddEditor(editors), 0);
    EXPECT_EQ(dialogs->shown[1].text, "Please enter a friendly name for this editor.");
    EXPECT_EQ(dialogs->shown[1].title, "Add Editor...");
    EXPECT_EQ(editors.caption(0), "Paint");
    EXPECT_EQ(editors.tag(0), "/opt/Tools/PSP.EXE");
    EXPECT_EQ(AddEditor(editors), -1);
}
