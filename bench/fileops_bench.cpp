// File operations against the desktop's own tools, measured in the same run:
// - copying a folder of 1 GB in 1 000 files within one file system and onto another (a tmpfs
//   mount), against `cp -r`, both reading the pictures from the disk; with the longest wait of the
//   event loop and the longest gap between two updates of the progress window while Glimvane
//   copies;
// - moving a file of 1 GB onto another file system and back against `mv`;
// - deleting 10 000 selected files to the Trash against `gio trash`, and permanently against
//   `rm`;
// - the file list up to date after the shown file of a folder of 10 000 files was deleted.
//   fileops_bench [megabytes] [files] [deleted files]
//   fileops_bench move [megabytes]      (the move alone)
// The sizes shrink to what the disk has room for.

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/statvfs.h>
#include <unistd.h>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QLabel>
#include <QPointer>
#include <QProcess>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <random>
#include <vector>

#include "files/FileOpProgress.h"
#include "files/FileOpRunner.h"
#include "mainwindow/frmGlimvane.h"
#include "settings/SettingKeys.h"
#include "widgets/FileListBox.h"

namespace {

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

double processorSeconds(int who) {
    rusage usage{};
    getrusage(who, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double seconds(const QElapsedTimer& t) {
    return double(t.nsecsElapsed()) / 1e9;
}

// Runs a command of the desktop's and returns its time in seconds.
double timed(const QString& shell) {
    QElapsedTimer t;
    t.start();
    QProcess::execute(QStringLiteral("sh"), {QStringLiteral("-c"), shell});
    return seconds(t);
}

void makeFiles(const QString& folder, int count, qint64 size) {
    QDir().mkpath(folder);
    std::mt19937_64 random(42);
    QByteArray block(int(std::min<qint64>(size, 1 << 20)), '\0');
    for (char& c : block) {
        c = char(random());
    }
    for (int i = 0; i < count; ++i) {
        QFile f(folder + QStringLiteral("/photo-%1.jpg").arg(i, 5, 10, QLatin1Char('0')));
        f.open(QIODevice::WriteOnly);
        block[0] = char(i);
        block[1] = char(i >> 8);
        for (qint64 written = 0; written < size; written += block.size()) {
            f.write(block.constData(), std::min<qint64>(block.size(), size - written));
        }
    }
}

QStringList filesOf(const QString& folder) {
    QStringList paths;
    for (const QString& name : QDir(folder).entryList(QDir::Files)) {
        paths << folder + QLatin1Char('/') + name;
    }
    return paths;
}

// Takes the folder's files out of the page cache, so that every copy reads them from the disk
// as a copy of pictures the user has not just looked at does.
void evict(const QString& folder) {
    for (const QString& path : filesOf(folder)) {
        const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY);
        ::fdatasync(fd);
        ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
        ::close(fd);
    }
}

struct Watch {
    double longestWaitMs = 0;
    double longestProgressGapMs = 0;
    int progressUpdates = 0;
};

// Glimvane's copy as the user runs it, watched from the event loop it keeps running.
double ourCopy(const QString& source, const QString& target, Watch& watch) {
    QElapsedTimer clock;
    clock.start();
    qint64 lastTick = 0, lastChange = -1;
    QString lastText;
    // A light watcher, so that measuring costs the copy little: a tick every 5 ms, and the
    // progress window's count label looked up once it is there.
    constexpr int kTickMs = 5;
    QPointer<QLabel> count;
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    tick.setInterval(kTickMs);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        watch.longestWaitMs = std::max(watch.longestWaitMs, (now - lastTick) / 1e6 - kTickMs);
        lastTick = now;
        if (!count) {
            for (QWidget* w : QApplication::topLevelWidgets()) {
                if (auto* progress = qobject_cast<gv::FileOpProgress*>(w)) {
                    count = progress->findChild<QLabel*>(QStringLiteral("lblCount"));
                }
            }
        }
        if (count && count->isVisible() && count->text() != lastText) {
            if (lastChange >= 0) {
                watch.longestProgressGapMs =
                    std::max(watch.longestProgressGapMs, (now - lastChange) / 1e6);
            }
            lastChange = now;
            lastText = count->text();
            ++watch.progressUpdates;
        }
    });
    tick.start();
    lastTick = clock.nsecsElapsed();
    const gv::FileOpOutcome outcome =
        gv::runFileOperation({gv::FileOpKind::Copy, {source}, target, 0}, nullptr);
    const double elapsed = seconds(clock);
    tick.stop();
    if (!outcome.ok()) {
        std::printf("  the copy failed\n");
    }
    return elapsed;
}

void copyStep(const QString& source, qint64 bytes, const QString& target, const char* label) {
    std::vector<double> cp, ours;
    Watch watch;
    // Five rounds, taking turns at going first, so that neither gains from the other's caching.
    for (int run = 0; run < 5; ++run) {
        const auto theirs = [&] {
            QDir(target + QStringLiteral("/c")).removeRecursively();
            evict(source);
            cp.push_back(timed(QStringLiteral("cp -r '%1' '%2/c'").arg(source, target)));
            QDir(target + QStringLiteral("/c")).removeRecursively();
        };
        const auto glimvane = [&] {
            QDir(target + QStringLiteral("/g")).removeRecursively();
            evict(source);
            ours.push_back(ourCopy(source, target + QStringLiteral("/g"), watch));
            QDir(target + QStringLiteral("/g")).removeRecursively();
        };
        if (run % 2 == 0) {
            theirs();
            glimvane();
        } else {
            glimvane();
            theirs();
        }
    }
    const double mb = double(bytes) / 1e6;
    std::printf(
        "%s: cp -r %.2f s (%.0f MB/s), Glimvane %.2f s (%.0f MB/s): %.2fx the speed of cp\n", label,
        median(cp), mb / median(cp), median(ours), mb / median(ours), median(cp) / median(ours));
    std::printf(
        "  longest event-loop wait %.1f ms; progress updated %d times, longest gap %.0f ms\n",
        watch.longestWaitMs, watch.progressUpdates, watch.longestProgressGapMs);
}

// One file moved across file systems, there and back, against mv in the same rounds: from the
// disk onto a tmpfs mount, read from the disk as a picture not looked at lately is; and from
// the tmpfs mount back onto the disk. Glimvane reads each moved file back from its new place
// and writes it to the disk before the original goes, which mv does not: back onto the disk it
// is measured against mv followed by sync as well.
void moveStep(const QString& root, qint64 megabytes) {
    const QString disk = root + QStringLiteral("/move"), other = root + QStringLiteral("/movetmp");
    QDir().mkpath(disk);
    QDir().mkpath(other);
    const QByteArray size = "size=" + QByteArray::number(megabytes * 11 / 10 + 64) + "m";
    if (mount("tmpfs", QFile::encodeName(other).constData(), "tmpfs", 0, size.constData()) != 0) {
        std::printf("Moving onto another file system: skipped, tmpfs cannot be mounted here\n");
        return;
    }
    makeFiles(disk, 1, megabytes * 1000000);
    const QString onDisk = filesOf(disk).first();
    const QString onTmpfs = other + QLatin1Char('/') + QFileInfo(onDisk).fileName();
    // Each move's time and processor time (of every thread, or of mv's processes).
    struct Round {
        double seconds = 0, cpu = 0;
    };
    const auto ours = [](const QString& from, const QString& to) {
        const double cpu = processorSeconds(RUSAGE_SELF);
        QElapsedTimer t;
        t.start();
        if (!gv::runFileOperation({gv::FileOpKind::Move, {from}, to, 0}, nullptr).ok()) {
            std::printf("  the move failed\n");
        }
        return Round{seconds(t), processorSeconds(RUSAGE_SELF) - cpu};
    };
    const auto theirs = [](const QString& shell) {
        const double cpu = processorSeconds(RUSAGE_CHILDREN);
        const double time = timed(shell);
        return Round{time, processorSeconds(RUSAGE_CHILDREN) - cpu};
    };
    std::vector<Round> mvOut, oursOut, mvIn, syncIn, oursIn;
    timed(QStringLiteral("sync"));
    for (int run = 0; run < 7; ++run) {
        const auto mv = [&] {
            evict(disk);
            mvOut.push_back(theirs(QStringLiteral("mv '%1' '%2/'").arg(onDisk, other)));
            mvIn.push_back(theirs(QStringLiteral("mv '%1' '%2/'").arg(onTmpfs, disk)));
            syncIn.push_back(theirs(QStringLiteral("sync")));
        };
        const auto glimvane = [&] {
            evict(disk);
            oursOut.push_back(ours(onDisk, other));
            oursIn.push_back(ours(onTmpfs, disk));
        };
        if (run % 2 == 0) {
            mv();
            glimvane();
        } else {
            glimvane();
            mv();
        }
    }
    // Rounds side by side in time, compared round by round: the machine may be busy with other
    // work in some rounds, and then with both.
    const auto ratio = [](const std::vector<Round>& a, const std::vector<Round>& b,
                          const std::vector<Round>& extra = {}) {
        std::vector<double> r;
        for (size_t i = 0; i < a.size(); ++i) {
            r.push_back(a[i].seconds / (b[i].seconds + (extra.empty() ? 0 : extra[i].seconds)));
        }
        return median(r);
    };
    const auto time = [](const std::vector<Round>& v) {
        std::vector<double> t;
        for (const Round& r : v) {
            t.push_back(r.seconds);
        }
        return median(t);
    };
    const auto cpu = [](const std::vector<Round>& v) {
        std::vector<double> t;
        for (const Round& r : v) {
            t.push_back(r.cpu);
        }
        return median(t);
    };
    std::printf(
        "Moving a %lld MB file onto another file system (tmpfs): mv %.2f s, Glimvane %.2f s; "
        "round by round %.2fx the time of mv; processor time mv %.2f s, Glimvane %.2f s\n",
        megabytes, time(mvOut), time(oursOut), ratio(oursOut, mvOut), cpu(mvOut), cpu(oursOut));
    std::printf(
        "Moving it back onto the disk: mv %.2f s (and sync %.2f s), Glimvane %.2f s; round by "
        "round %.2fx the time of mv, %.2fx that of mv + sync; processor time mv %.2f s, Glimvane "
        "%.2f s\n",
        time(mvIn), time(syncIn), time(oursIn), ratio(oursIn, mvIn), ratio(oursIn, mvIn, syncIn),
        cpu(mvIn), cpu(oursIn));
    umount2(QFile::encodeName(other).constData(), MNT_DETACH);
    QDir(disk).removeRecursively();
}

void deleteStep(const QString& root, int count) {
    const QString folder = root + QStringLiteral("/del");
    const auto both = [&](const char* label, const QString& tool, unsigned flags) {
        std::vector<double> theirs, ours;
        for (int run = 0; run < 2; ++run) {
            makeFiles(folder, count, 1024);
            theirs.push_back(timed(QStringLiteral("cd '%1' && find . -type f -print0 | xargs -0 %2")
                                       .arg(folder, tool)));
            makeFiles(folder, count, 1024);
            const QStringList paths = filesOf(folder);
            QElapsedTimer t;
            t.start();
            gv::runFileOperation({gv::FileOpKind::Delete, paths, {}, flags}, nullptr);
            ours.push_back(seconds(t));
        }
        std::printf("Deleting %d files %s: %s %.2f s, Glimvane %.2f s: %.2fx its time\n", count,
                    label, qPrintable(tool), median(theirs), median(ours),
                    median(ours) / median(theirs));
    };
    both("to the Trash", QStringLiteral("gio trash"), gv::kFofAllowUndo);
    both("permanently", QStringLiteral("rm -f"), gv::kFofNoConfirmation);
}

void listStep(const QString& root) {
    const QString folder = root + QStringLiteral("/list");
    QDir().mkpath(folder);
    QImage image(8, 8, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    image.save(folder + QStringLiteral("/00000.png"));
    for (int i = 1; i < 10000; ++i) {
        QFile::copy(folder + QStringLiteral("/00000.png"),
                    folder + QStringLiteral("/%1.png").arg(i, 5, 10, QLatin1Char('0')));
    }
    gv::SaveSetting(gv::keys::kRecyc, QStringLiteral("1"));
    gv::frmGlimvane w;
    w.Load();
    w.setCurrentFolder(folder);
    std::vector<double> update;
    for (int run = 0; run < 5; ++run) {
        w.File1->clearSelection();
        w.selectRow(5000);
        QElapsedTimer t;
        t.start();
        w.mnuDel->trigger();
        update.push_back(t.nsecsElapsed() / 1e6);
    }
    std::printf(
        "Deleting the shown file of %d: the list up to date and the next file shown "
        "%.1f ms after the command (the deletion included)\n",
        w.File1->count() + 1, median(update));
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    const bool moveOnly = argc > 1 && std::strcmp(argv[1], "move") == 0;
    if (moveOnly) {
        --argc;
        ++argv;
    }
    qint64 megabytes = argc > 1 ? std::atoll(argv[1]) : 1024;
    const int files = argc > 2 ? std::atoi(argv[2]) : 1000;
    const int deletes = argc > 3 ? std::atoi(argv[3]) : 10000;
    const QString root = QDir::tempPath() + QStringLiteral("/gv-fileops-bench");
    QDir(root).removeRecursively();
    QDir().mkpath(root);
    struct statvfs fsInfo {};
    statvfs(QFile::encodeName(root).constData(), &fsInfo);
    const qint64 room = qint64(fsInfo.f_bavail) * qint64(fsInfo.f_frsize) / (1 << 20);
    // The source and one copy at a time, with room to spare.
    if (megabytes * 3 > room) {
        megabytes = std::max<qint64>(16, room / 3);
        std::printf("(scaled down to %lld MB for the room on the disk)\n", megabytes);
    }
    if (moveOnly) {
        std::printf("== Moving a file across file systems\n");
        moveStep(root, megabytes);
        QDir(root).removeRecursively();
        return 0;
    }
    const qint64 bytes = megabytes * 1000000 / files * files;
    const QString source = root + QStringLiteral("/source");
    makeFiles(source, files, bytes / files);
    std::printf("== Copying %lld MB in %d files\n", bytes / 1000000, files);
    copyStep(source, bytes, root, "Within one file system");
    const QString other = root + QStringLiteral("/other");
    QDir().mkpath(other);
    const QByteArray size = "size=" + QByteArray::number(megabytes * 13 / 10) + "m";
    if (mount("tmpfs", QFile::encodeName(other).constData(), "tmpfs", 0, size.constData()) == 0) {
        copyStep(source, bytes, other, "Onto another file system (tmpfs)");
        umount2(QFile::encodeName(other).constData(), MNT_DETACH);
    } else {
        std::printf("Onto another file system: skipped, tmpfs cannot be mounted here\n");
    }
    QDir(source).removeRecursively();
    std::printf("== Moving a file across file systems\n");
    moveStep(root, megabytes);
    std::printf("== Deleting selected files\n");
    deleteStep(root, deletes);
    std::printf("== The file list after a deletion\n");
    listStep(root);
    QDir(root).removeRecursively();
    return 0;
}
