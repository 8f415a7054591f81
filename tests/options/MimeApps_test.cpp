#include <gtest/gtest.h>

#include <QSet>

#include "options/MimeApps.h"

using namespace gv::mimeapps;

TEST(MimeApps, DamageIsTheFirstLineTheDesktopCannotRead) {
    const struct {
        QByteArray list;
        int line;
    } cases[] = {
        {"", 0},
        {"# comment\n\n[Default Applications]\nimage/png=a.desktop\n", 0},
        {"[Added Associations]\r\nimage/png=a.desktop;\r\n", 0},
        {"  [Default Applications]  \n  image/png = a.desktop\n", 0},
        {"image/png=a.desktop\n[Default Applications]\n", 1},  // a key before any group
        {"[Default Applications]\nimage/png a.desktop\n", 2},
        {"[Default Applications\nimage/png=a.desktop\n", 1},
        {"[Default Applications] x\n", 1},
        {"[Default Applications]\n=a.desktop\n", 2},
        {"[Default Applications]\nimage/png=b\xff.desktop\n", 2},
        {QByteArray("[Default Applications]\nimage/png=a\0.desktop\n", 42), 2},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(findDamage(c.list).line, c.line) << c.list.toStdString();
    }
    EXPECT_EQ(findDamage("[A]\nok=1\nnot a key\n").text, "not a key");
}

TEST(MimeApps, AnEditChangesOneLineAndKeepsEveryOtherByte) {
    const QByteArray own = "image/png=glimvane.desktop";
    const struct {
        const char* what;
        QByteArray before;
        std::optional<QByteArray> line;
        QByteArray after;
    } cases[] = {
        {"no file", "", own, "[Default Applications]\nimage/png=glimvane.desktop\n"},
        {"other groups only, no final line end", "[Added Associations]\nx/y=a.desktop;", own,
         "[Added Associations]\nx/y=a.desktop;\n[Default Applications]\n" + own + "\n"},
        {"replaced in place, comments and spacing around it kept",
         "# mine\n[Default Applications]\nimage/PNG = eog.desktop;gimp.desktop;\n# end\n", own,
         "# mine\n[Default Applications]\n" + own + "\n# end\n"},
        {"added after the group's last line, before the blank line",
         "[Default Applications]\ntext/plain=ed.desktop\n\n[Added Associations]\n", own,
         "[Default Applications]\ntext/plain=ed.desktop\n" + own + "\n\n[Added Associations]\n"},
        {"the same type in another group is not the default",
         "[Added Associations]\nimage/png=eog.desktop;\n[Default Applications]\n", own,
         "[Added Associations]\nimage/png=eog.desktop;\n[Default Applications]\n" + own + "\n"},
        {"CR LF lines get CR LF lines", "[Default Applications]\r\na/b=c.desktop\r\n", own,
         "[Default Applications]\r\na/b=c.desktop\r\n" + own + "\r\n"},
        {"replacing keeps a CR LF", "[Default Applications]\r\nimage/png=x.desktop\r\n", own,
         "[Default Applications]\r\n" + own + "\r\n"},
        {"removed with the group it leaves empty",
         "[Added Associations]\nx/y=a;\n[Default Applications]\n" + own + "\n", std::nullopt,
         "[Added Associations]\nx/y=a;\n"},
        {"removed, the group keeps its other lines",
         "[Default Applications]\n" + own + "\n# note\n", std::nullopt,
         "[Default Applications]\n# note\n"},
        {"removing what is not there changes nothing", "[Default Applications]\na/b=c\n",
         std::nullopt, "[Default Applications]\na/b=c\n"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(withEntryLine(c.before, "image/png", c.line), c.after) << c.what;
    }
}

TEST(MimeApps, TakingATypeAndGivingItBackRestoresTheFileByteForByte) {
    const QByteArray original =
        "# My defaults, kept in git\r\n"
        "[Added Associations]\r\n"
        "image/png=eog.desktop;gimp.desktop;\r\n"
        "\r\n"
        "[Default Applications]\r\n"
        "image/png = eog.desktop;\r\n"
        "text/html=firefox.desktop\r\n"
        "\r\n"
        "[Removed Associations]\r\n"
        "image/bmp=wine.desktop;\r\n";
    for (const QByteArray type : {"image/png", "image/gif", "image/bmp"}) {
        const std::optional<QByteArray> earlier = entryLine(original, type);
        const QByteArray taken = withEntryLine(original, type, lineFor(type, "glimvane.desktop"));
        EXPECT_EQ(idsOf(*entryLine(taken, type)), QStringList{"glimvane.desktop"});
        EXPECT_EQ(withEntryLine(taken, type, earlier), original) << type.toStdString();
    }
}

TEST(MimeApps, TheDefaultIsTheFirstInstalledEntryOfTheFirstListThatNamesOne) {
    const QSet<QString> installed{"eog.desktop", "gimp.desktop", "viewer.desktop"};
    const auto isInstalled = [&](const QString& id) { return installed.contains(id); };
    const QByteArray user =
        "[Default Applications]\nimage/png=gone.desktop;gimp.desktop;\n"
        "image/gif=gone.desktop\n";
    const QByteArray system = "[Default Applications]\nimage/gif=eog.desktop\n";
    const QByteArray cache =
        "[MIME Cache]\nimage/tiff=viewer.desktop;eog.desktop;\n"
        "image/jpeg=gone.desktop;\n";
    const QList<List> lists{{user}, {system}, {cache, kCacheGroup}};
    EXPECT_EQ(defaultApplication(lists, "image/png", isInstalled), "gimp.desktop");
    EXPECT_EQ(defaultApplication(lists, "image/gif", isInstalled), "eog.desktop");
    EXPECT_EQ(defaultApplication(lists, "image/tiff", isInstalled), "viewer.desktop");
    EXPECT_EQ(defaultApplication(lists, "image/jpeg", isInstalled), "");
    EXPECT_EQ(defaultApplication(lists, "image/bmp", isInstalled), "");
}
