// Volumes that come and go: the mount point a path names, with real tmpfs volumes mounted
// and taken away again, under the fstab and the folders used for mounts of a test's own.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include "platform/FileNameBytes.h"
#include "platform/Paths.h"
#include "support/TestEnvironment.h"
#include "support/Tmpfs.h"

using namespace gv;

namespace {

// The test's own system: an fstab and mount folders in the test folder.
struct OwnMountConventions {
    explicit OwnMountConventions(const QString& root) {
        MountConventions c;
        c.fstab = root + "/fstab";
        c.userMountFolders = {root + "/media/user"};
        c.mountFolders = {root + "/media", root + "/mnt"};
        overrideMountConventions(c);
    }
    ~OwnMountConventions() { overrideMountConventions(std::nullopt); }
};

}  // namespace

TEST(Volumes, AVolumeNotMountedNowIsNamedByTheMountPointThePathGoesThrough) {
    const QString t = gvtest::testFolders().root + "/volumes";
    QDir().mkpath(t);
    const OwnMountConventions own(t);
    {
        QFile fstab(t + "/fstab");
        ASSERT_TRUE(fstab.open(QIODevice::WriteOnly));
        // A blank in the mount point is written as \040.
        fstab.write(("# the fixed disks\n\nUUID=1234 " + t.toUtf8() +
                     "/fixed\\040disk tmpfs defaults 0 2\nnone swap swap sw 0 0\n"));
    }
    gvtest::Tmpfs fixed((t + "/fixed disk").toStdString());
    gvtest::Tmpfs usb((t + "/media/user/USB").toStdString());
    gvtest::Tmpfs stick((t + "/mnt/stick").toStdString());
    for (const gvtest::Tmpfs* fs : {&fixed, &usb, &stick}) {
        GV_REQUIRE_TMPFS(*fs);
        QDir().mkpath(QString::fromStdString(fs->dir()) + "/photos");
    }
    QDir().mkpath(t + "/mnt/plain/photos");
    const QString odd = fileNameFromBytes(t.toUtf8() + "/mnt/d\xff");
    struct Case {
        QString path;
        QString whileMounted;
        QString afterwards;
    } const cases[] = {
        {t + "/fixed disk/photos", "", t + "/fixed disk"},
        {t + "/fixed disk", "", t + "/fixed disk"},
        {t + "/media/user/USB/photos", "", t + "/media/user/USB"},
        {t + "/mnt/stick/photos/", "", t + "/mnt/stick"},
        // A first component that is missing: nothing there now.
        {t + "/mnt/gone/photos", t + "/mnt/gone", t + "/mnt/gone"},
        {odd + "/photos", odd, odd},
        // Plain folders: the user's volume folder, a folder of /mnt with contents, others.
        {t + "/media/user", "", ""},
        {t + "/mnt/plain/photos", "", ""},
        {t + "/elsewhere/photos", "", ""},
    };
    for (const bool mounted : {true, false}) {
        if (!mounted) {
            for (gvtest::Tmpfs* fs : {&fixed, &usb, &stick}) {
                ASSERT_TRUE(fs->unmount()) << fs->dir();
            }
        }
        for (const Case& c : cases) {
            EXPECT_EQ(unmountedVolumeOf(c.path), mounted ? c.whileMounted : c.afterwards)
                << c.path.toStdString() << (mounted ? " mounted" : " unmounted");
        }
    }
    // udisks removes the folder it mounted on: still the same volume, not there.
    ASSERT_TRUE(QDir().rmdir(t + "/media/user/USB"));
    EXPECT_EQ(unmountedVolumeOf(t + "/media/user/USB/photos"), t + "/media/user/USB");
    // A folder left behind with something in it under the user's folder is no volume either.
    QDir().mkpath(t + "/media/user/USB/leftover");
    EXPECT_EQ(unmountedVolumeOf(t + "/media/user/USB/photos"), t + "/media/user/USB");
}
