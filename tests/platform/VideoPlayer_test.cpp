// A video played full screen with the desktop's default player for its type.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include "capture/clsScreen.h"
#include "platform/VideoPlayer.h"
#include "support/TestEnvironment.h"
#include "support/X11Helpers.h"

using namespace gv;

TEST(VideoPlayer, KnownPlayersGetTheirFullScreenOption) {
    const struct {
        const char* entry;
        QStringList command;
    } cases[] = {
        {"mpv.desktop", {"mpv", "--fs", "/v/a.avi"}},
        {"vlc.desktop", {"vlc", "--fullscreen", "/v/a.avi"}},
        {"org.videolan.VLC.desktop", {"vlc", "--fullscreen", "/v/a.avi"}},
        {"org.gnome.Totem.desktop", {"totem", "--fullscreen", "/v/a.avi"}},
        {"smplayer.desktop", {}},
        {"", {}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(fullScreenPlayerCommand(c.entry, "/v/a.avi"), c.command) << c.entry;
    }
}

TEST(VideoPlayer, TheDesktopsDefaultPlayerPlaysTheFileFullScreen) {
    // A desktop whose default player for AVI files is mpv, both stand-ins that note their call.
    const QString bin = gvtest::testFolders().root + "/bin";
    const QString calls = gvtest::testFolders().root + "/calls.txt";
    QDir().mkpath(bin);
    const auto script = [&](const QString& name, const QString& body) {
        QFile f(bin + "/" + name);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(("#!/bin/sh\n" + body + "\n").toUtf8());
        f.close();
        f.setPermissions(f.permissions() | QFileDevice::ExeOwner);
    };
    script("xdg-mime", "[ \"$3\" = video/x-msvideo ] && echo mpv.desktop");
    script("mpv", "printf '%s|' \"$@\" >> " + calls);
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", bin.toUtf8() + ":" + path);
    const QString video = gvtest::testFolders().home + "/holiday film.avi";
    EXPECT_TRUE(clsScreen::AVIplayFullScreen(video));
    qputenv("PATH", path);
    QFile noted(calls);
    ASSERT_TRUE(gvtest::waitFor([&] { return noted.exists() && noted.size() > 0; }, 5000));
    ASSERT_TRUE(noted.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(noted.readAll()), "--fs|" + video + "|");
}
