// Addresses from the user's lists: handed to the desktop whatever their scheme, except those
// that name a program here.

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <QDir>
#include <QFile>

#include "platform/Desktop.h"
#include "support/ImageFiles.h"
#include "support/TestEnvironment.h"
#include "support/UrlRecorder.h"

using namespace gv;

TEST(ListedAddresses, OpenThroughTheDesktopUnlessTheyNameAProgram) {
    const QString t = gvtest::testFolders().root + "/sites";
    QDir().mkpath(t);
    const auto put = [&](const QString& name, const QByteArray& bytes, int mode = 0644) {
        ASSERT_TRUE(gvtest::writeBytes(t + "/" + name, bytes));
        ::chmod(QFile::encodeName(t + "/" + name).constData(), mode);
    };
    put("page.html", "<html><body>Pictures</body></html>");
    put("run.sh", "#!/bin/sh\necho hi\n", 0755);
    put("app.desktop", "[Desktop Entry]\nType=Application\nExec=xterm\n");
    put("notes.txt", "[Desktop Entry]\nType=Application\nExec=xterm\n");
    put("tool",
        "\x7f"
        "ELF\x02\x01\x01" +
            QByteArray(64, '\0'));  // no x bit: its contents say
    ASSERT_TRUE(QFile::link(t + "/app.desktop", t + "/pics.html"));
    gvtest::UrlRecorder desktop({"http", "https", "ftp", "mailto", "file", "irc"});
    struct Case {
        QString address;
        OpenOutcome outcome;
        QString opened;  // the URL the desktop got
    } const cases[] = {
        {"https://photos.example/a?b=1", OpenOutcome::Opened, "https://photos.example/a?b=1"},
        {" www.example.org ", OpenOutcome::Opened, "http://www.example.org"},
        {"ftp://files.example/", OpenOutcome::Opened, "ftp://files.example/"},
        {"mailto:me@example.org", OpenOutcome::Opened, "mailto:me@example.org"},
        {"irc://irc.example/art", OpenOutcome::Opened, "irc://irc.example/art"},
        {"file://" + t + "/page.html", OpenOutcome::Opened, "file://" + t + "/page.html"},
        {t + "/page.html", OpenOutcome::Opened, "file://" + t + "/page.html"},
        {"file://" + t + "/run.sh", OpenOutcome::RunsProgram, ""},
        {t + "/app.desktop", OpenOutcome::RunsProgram, ""},
        {t + "/notes.txt", OpenOutcome::RunsProgram, ""},
        {t + "/tool", OpenOutcome::RunsProgram, ""},
        {"file://" + t + "/pics.html", OpenOutcome::RunsProgram, ""},
        {"   ", OpenOutcome::NotOpened, ""},
    };
    for (const Case& c : cases) {
        desktop.opened.clear();
        EXPECT_EQ(openListedAddress(c.address), c.outcome) << c.address.toStdString();
        EXPECT_EQ(desktop.opened.value(0).toString(), c.opened) << c.address.toStdString();
    }
}
