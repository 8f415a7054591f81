#pragma once
// A desktop of the test's own: system folders with two image viewers installed ("eog" the
// default for PNG, "gimp" for GIF and JPEG by the system cache), Glimvane's program file,
// and xdg-mime (xdg-utils), the desktop's own tool, as the independent reader of defaults.

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QProcess>

#include "platform/Paths.h"
#include "support/Bytes.h"
#include "support/ImageFiles.h"
#include "support/TestEnvironment.h"

namespace gvtest {

class PrivateDesktop {
public:
    PrivateDesktop() {
        for (const char* name : {"XDG_DATA_DIRS", "XDG_CONFIG_DIRS", "XDG_CURRENT_DESKTOP"}) {
            m_saved.append({name, qgetenv(name), qEnvironmentVariableIsSet(name)});
        }
        const QString root = testFolders().root;
        qputenv("XDG_DATA_DIRS", QFile::encodeName(root + "/system"));
        qputenv("XDG_CONFIG_DIRS", QFile::encodeName(root + "/system-config"));
        qunsetenv("XDG_CURRENT_DESKTOP");
        QDir(root + "/system").removeRecursively();
        QDir().mkpath(systemApps());
        QDir().mkpath(testFolders().config);
        for (const char* id : {"eog", "gimp"}) {
            write(systemApps() + "/" + id + ".desktop",
                  "[Desktop Entry]\nType=Application\nName=" + QByteArray(id) +
                      "\nExec=true %f\nMimeType=image/png;image/gif;image/jpeg;\n");
        }
        write(systemApps() + "/mimeinfo.cache",
              "[MIME Cache]\nimage/gif=gimp.desktop;eog.desktop;\n"
              "image/jpeg=gimp.desktop;\nimage/png=gimp.desktop;\n");
        write(systemApps() + "/defaults.list", "[Default Applications]\nimage/png=eog.desktop\n");
        // The program the desktop entry runs must be there for xdg-mime to accept it.
        write(gv::programPath(), "#!/bin/sh\n");
        ::chmod(QFile::encodeName(gv::programPath()).constData(), 0755);
    }
    ~PrivateDesktop() {
        for (const Saved& s : m_saved) {
            if (s.set) {
                qputenv(s.name, s.value);
            } else {
                qunsetenv(s.name);
            }
        }
    }

    static QString systemApps() { return testFolders().root + "/system/applications"; }
    static QString listPath() { return testFolders().config + "/mimeapps.list"; }
    static QString ownEntry() { return testFolders().data + "/applications/glimvane.desktop"; }

    // What the desktop's own tool says opens the type.
    static QString xdgDefault(const QString& mimeType) {
        QProcess p;
        p.start("xdg-mime", {"query", "default", mimeType});
        EXPECT_TRUE(p.waitForFinished(20000));
        return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
    }
    static void write(const QString& path, const QByteArray& bytes) {
        ASSERT_TRUE(gvtest::writeBytes(path, bytes)) << path.toStdString();
    }
    static QByteArray read(const QString& path) { return gvtest::readBytes(path); }

private:
    struct Saved {
        const char* name;
        QByteArray value;
        bool set;
    };
    QList<Saved> m_saved;
};

}  // namespace gvtest
