#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include "platform/DesktopWallpaper.h"
#include "support/TestEnvironment.h"

using namespace gv;

TEST(DesktopWallpaper, TheRunningDesktopsOwnToolSetsIt) {
    // Stand-ins for the desktops' tools that write down how they were called.
    const QString bin = gvtest::testFolders().root + "/bin";
    const QString log = gvtest::testFolders().root + "/calls.txt";
    QDir().mkpath(bin);
    for (const char* tool : {"gsettings", "xfconf-query"}) {
        QFile script(bin + "/" + tool);
        ASSERT_TRUE(script.open(QIODevice::WriteOnly));
        script.write(QString("#!/bin/sh\necho \"$(basename \"$0\") $*\" >> '%1'\ncase \"$*\" in "
                             "*-l) echo /backdrop/screen0/monitor0/workspace0/last-image;; esac\n")
                         .arg(log)
                         .toUtf8());
        script.setPermissions(script.permissions() | QFile::ExeOwner);
    }
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", bin.toUtf8() + ":" + path);
    const QString xfce = "xfconf-query -c xfce4-desktop -p /backdrop/screen0/monitor0/workspace0/";
    const QList<std::tuple<QByteArray, bool, QStringList>> cases = {
        {"ubuntu:GNOME",
         false,
         {"gsettings set org.gnome.desktop.background picture-uri file:///w/a b.bmp",
          "gsettings set org.gnome.desktop.background picture-options centered",
          "gsettings set org.gnome.desktop.background picture-uri-dark file:///w/a b.bmp"}},
        {"XFCE",
         true,
         {"xfconf-query -c xfce4-desktop -l", xfce + "last-image -s /w/a b.bmp",
          xfce + "image-style -s 2"}},
        {"", false, {}},
    };
    for (const auto& [desktop, tiled, calls] : cases) {
        QFile::remove(log);
        qputenv("XDG_CURRENT_DESKTOP", desktop);
        EXPECT_EQ(setWallpaperWithDesktopTool("/w/a b.bmp", tiled), !calls.isEmpty());
        QFile written(log);
        const QString text = written.open(QIODevice::ReadOnly) ? written.readAll() : QString();
        EXPECT_EQ(text.split('\n', Qt::SkipEmptyParts), calls) << desktop.constData();
    }
    qputenv("PATH", path);
    qunsetenv("XDG_CURRENT_DESKTOP");
}
