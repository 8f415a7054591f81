#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <cstring>
#include <optional>
#include <set>

#include "images/Decoder.h"
#include "images/IsolatedDecode.h"
#include "images/Metafile.h"
#include "platform/Sandbox.h"
#include "support/ImageFiles.h"
#include "support/MetafileWriter.h"

using namespace gvtest;

namespace {

// Whether the pixels lie in memory the helper shared with us, not in a copy of our own.
bool inSharedRaster(const uchar* pixels) {
    QFile maps(QStringLiteral("/proc/self/maps"));
    if (!maps.open(QIODevice::ReadOnly)) {
        return false;
    }
    const auto address = quintptr(pixels);
    for (const QByteArray& line : maps.readAll().split('\n')) {
        const QList<QByteArray> range = line.split(' ').value(0).split('-');
        if (range.size() == 2 && line.contains("memfd:glimvane-raster") &&
            address >= range[0].toULongLong(nullptr, 16) &&
            address < range[1].toULongLong(nullptr, 16)) {
            return true;
        }
    }
    return false;
}

// Pixel by pixel, in the same format (the bytes beside the pixels may differ).
bool samePixels(const QImage& a, const QImage& b) {
    if (a.size() != b.size() || a.format() != b.format() || a.isNull()) {
        return false;
    }
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            if (a.pixel(x, y) != b.pixel(x, y)) {
                return false;
            }
        }
    }
    return true;
}

struct Process {
    pid_t pid = 0;
    QByteArray name;
    char state = 0;
};

// The helper's children as /proc tells them, by name ("gvsandbox ready", "gvsandbox job").
std::vector<Process> childrenOf(pid_t parent) {
    std::vector<Process> found;
    for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(entry));
        if (!stat.open(QIODevice::ReadOnly)) {
            continue;
        }
        const QByteArray line = stat.readAll();
        const qsizetype open = line.indexOf('(');
        const qsizetype close = line.lastIndexOf(')');
        const QList<QByteArray> rest = line.mid(close + 2).split(' ');
        if (open < 0 || close < open || rest.size() < 2 || rest[1].toInt() != parent) {
            continue;
        }
        found.push_back({pid_t(entry.toInt()), line.mid(open + 1, close - open - 1), rest[0][0]});
    }
    return found;
}

std::set<pid_t> readyProcesses(pid_t helper) {
    std::set<pid_t> ready;
    for (const Process& p : childrenOf(helper)) {
        if (p.name == "gvsandbox ready" && p.state != 'Z') {
            ready.insert(p.pid);
        }
    }
    return ready;
}

// Whether the process has ended (a zombie has: only its parent's reaping is left).
bool ended(pid_t pid) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly)) {
        return true;
    }
    const QByteArray line = stat.readAll();
    return line.mid(line.lastIndexOf(')') + 2, 1) == "Z";
}

// Waits, within a generous bound, for what other processes do in their own time.
template <typename Condition>
bool eventually(Condition condition) {
    for (int i = 0; i < 1000; ++i) {
        if (condition()) {
            return true;
        }
        QThread::msleep(10);
    }
    return condition();
}

int threadsOf(pid_t pid) {
    return QDir(QStringLiteral("/proc/%1/task").arg(pid))
        .entryList(QDir::Dirs | QDir::NoDotAndDotDot)
        .size();
}

gv::DecodeRequest request96() {
    gv::DecodeRequest r;
    r.dpi = 96;
    r.memoryBudget = qint64(256) << 20;
    return r;
}

// The helper whose jobs fail on request, for one test.
class FaultyHelper {
public:
    FaultyHelper() {
        gv::overrideSandboxHelper(QStringLiteral(GLIMVANE_BINARY_DIR "/gvsandbox_test"));
    }
    ~FaultyHelper() {
        gv::setDecodeCpuSeconds(0);
        gv::overrideSandboxHelper(QString());
    }
};

TEST(IsolatedDecode, EveryRoutedTypeGivesThePixelsOfTheDecodeInProcessInSharedMemory) {
    QTemporaryDir dir;
    const QImage image = noisyImage(QSize(37, 23), 7);
    for (const char* name :
         {"a.pcx", "a.pct", "a.tga", "a.bmp", "a.rle", "a.ico", "a.tif", "a.eps"}) {
        SCOPED_TRACE(name);
        const QString path = dir.filePath(QLatin1StringView(name));
        ASSERT_TRUE(writeImageFile(path, image));
        const gv::DecodeResult here = gv::DecodeImageFileInProcess(path, request96());
        const gv::DecodeResult helper = gv::DecodeImageFile(path, request96());
        ASSERT_TRUE(here.ok()) << here.error().description.toStdString();
        ASSERT_TRUE(helper.ok()) << helper.error().description.toStdString();
        EXPECT_EQ(helper.picture().kind(), here.picture().kind());
        EXPECT_TRUE(samePixels(helper.picture().raster(), here.picture().raster()));
        EXPECT_TRUE(inSharedRaster(helper.picture().raster().constBits()));
    }
    // Ghostscript's render of an EPS without a preview too.
    const QString plain = dir.filePath(QStringLiteral("plain.eps"));
    ASSERT_TRUE(writePlainEps(plain, QSize(30, 20)));
    const gv::DecodeResult here = gv::DecodeImageFileInProcess(plain, request96());
    const gv::DecodeResult helper = gv::DecodeImageFile(plain, request96());
    ASSERT_TRUE(here.ok() && helper.ok()) << helper.error().description.toStdString();
    EXPECT_TRUE(samePixels(helper.picture().raster(), here.picture().raster()));
}

TEST(IsolatedDecode, MetafilesAreReadAndRenderedByTheHelperAtEverySizeAsInProcess) {
    QTemporaryDir dir;
    struct Case {
        const char* name;
        QByteArray file;
        QByteArray metafile;
    };
    const Case cases[] = {
        {"a.wmf", sampleWmf(), sampleWmf()},
        {"a.emf", sampleEmf(), sampleEmf()},
        {"plus.emf", sampleEmfPlus(), sampleEmfPlus()},
        {"preview.eps", dosEpsBytes(quadrantPostScript(QSize(100, 80)), sampleWmf(), {}),
         sampleWmf()},
    };
    for (const auto& [name, bytes, metafile] : cases) {
        SCOPED_TRACE(name);
        const QString path = dir.filePath(QLatin1StringView(name));
        ASSERT_TRUE(writeBytes(path, bytes));
        const gv::DecodeResult here = gv::DecodeImageFileInProcess(path, request96());
        const gv::DecodeResult helper = gv::DecodeImageFile(path, request96());
        ASSERT_TRUE(here.ok() && helper.ok()) << helper.error().description.toStdString();
        EXPECT_EQ(helper.picture().kind(), here.picture().kind());
        EXPECT_EQ(helper.picture().sizeHimetric(), here.picture().sizeHimetric());
        EXPECT_EQ(helper.picture().originalBytes(), metafile);
        const QSize natural = here.picture().sizePixels();
        for (const QSize size : {natural, natural * 3, QSize(37, 23)}) {
            const QImage shown = helper.picture().render(size, Qt::white);
            EXPECT_TRUE(samePixels(shown, here.picture().render(size, Qt::white))) << size.width();
            EXPECT_TRUE(inSharedRaster(shown.constBits()));
        }
    }
}

TEST(IsolatedDecode, ADecoderThatCrashesSpinsOrGrabsMemoryGivesTheLoadersMessage) {
    QTemporaryDir dir;
    const QString good = dir.filePath(QStringLiteral("good.pcx"));
    ASSERT_TRUE(writeImageFile(good, noisyImage(QSize(16, 9), 3)));
    const QImage expected = gv::DecodeImageFileInProcess(good, request96()).picture().raster();
    FaultyHelper faulty;
    gv::setDecodeCpuSeconds(1);
    gv::sandboxClient()->start();
    const pid_t helper = gv::sandboxClient()->helperProcess();
    ASSERT_GT(helper, 0);
    for (const char* command : {"crash", "spin", "grab"}) {
        SCOPED_TRACE(command);
        const QString bad = dir.filePath(QStringLiteral("bad.pcx"));
        ASSERT_TRUE(writeBytes(bad, QByteArray("GVSANDBOX-TEST ") + command));
        gv::DecodeRequest request = request96();
        request.memoryBudget = qint64(64) << 20;
        const gv::DecodeResult r = gv::DecodeImageFile(bad, request);
        ASSERT_FALSE(r.ok());
        EXPECT_EQ(r.error().number, gv::kErrInvalidPicture);
        // The job ended without an answer; the decoder never got to give its own.
        EXPECT_TRUE(r.error().description.contains(QStringLiteral("stopped before it finished")))
            << r.error().description.toStdString();
        // The next file decodes, in a new job of the same helper.
        const gv::DecodeResult next = gv::DecodeImageFile(good, request96());
        ASSERT_TRUE(next.ok()) << next.error().description.toStdString();
        EXPECT_TRUE(samePixels(next.picture().raster(), expected));
        EXPECT_EQ(gv::sandboxClient()->helperProcess(), helper);
    }
    // A metafile's player that crashes fails the file when it is opened.
    const QString metafile = dir.filePath(QStringLiteral("bad.wmf"));
    ASSERT_TRUE(writeBytes(metafile, "GVSANDBOX-TEST crash"));
    const gv::DecodeResult crashed = gv::DecodeImageFile(metafile, request96());
    EXPECT_EQ(crashed.error().number, gv::kErrInvalidPicture);
    EXPECT_TRUE(crashed.error().description.contains(QStringLiteral("stopped before it finished")));
    // A helper killed between two files is started again for the next.
    ASSERT_EQ(::kill(helper, SIGKILL), 0);
    const gv::DecodeResult again = gv::DecodeImageFile(good, request96());
    ASSERT_TRUE(again.ok()) << again.error().description.toStdString();
    EXPECT_TRUE(samePixels(again.picture().raster(), expected));
    EXPECT_NE(gv::sandboxClient()->helperProcess(), helper);
}

TEST(IsolatedDecode, ADecoderCannotReachFilesOutsideItsFolderTheNetworkOrOtherProcesses) {
    QTemporaryDir dir;
    const QString secret = dir.filePath(QStringLiteral("secret.txt"));
    ASSERT_TRUE(writeBytes(secret, "the user's own"));
    const QString bad = dir.filePath(QStringLiteral("escape.pcx"));
    ASSERT_TRUE(writeBytes(bad, "GVSANDBOX-TEST escape " + QFile::encodeName(secret) + ' ' +
                                    QFile::encodeName(dir.path())));
    FaultyHelper faulty;
    const gv::DecodeResult r = gv::DecodeImageFile(bad, request96());
    EXPECT_EQ(r.error().description.toStdString(),
              "read-outside=denied chmod-outside=denied chown-outside=denied "
              "touch-outside=denied xattr-outside=denied write-outside=denied write-own=allowed "
              "list-other-jobs=denied network=denied local-socket=denied signal-parent=denied");
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("written-by-decoder"))));
    EXPECT_EQ(QFileInfo(secret).permissions() & QFileDevice::ExeOwner, 0);
}

// The helper loads what its jobs need once, ahead of them; a file opened meanwhile (the one
// named on the command line) does not wait for that.
TEST(IsolatedDecode, AFileOpenedWhileTheHelperWarmsUpIsDecodedAtOnce) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("a.tga"));
    ASSERT_TRUE(writeImageFile(path, noisyImage(QSize(16, 9), 2)));
    qputenv("GVSANDBOX_TEST_SLOW_WARMUP", "1");
    FaultyHelper faulty;
    QElapsedTimer timer;
    timer.start();
    const gv::DecodeResult r = gv::DecodeImageFile(path, request96());
    qunsetenv("GVSANDBOX_TEST_SLOW_WARMUP");
    ASSERT_TRUE(r.ok()) << r.error().description.toStdString();
    EXPECT_LT(timer.elapsed(), 2000);
}

TEST(IsolatedDecode, AMissingHelperIsAMissingModuleOfTheProgram) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("a.tga"));
    ASSERT_TRUE(writeImageFile(path, noisyImage(QSize(4, 4), 1)));
    gv::overrideSandboxHelper(dir.filePath(QStringLiteral("gvsandbox")));
    const gv::DecodeResult r = gv::DecodeImageFile(path, request96());
    gv::overrideSandboxHelper(QString());
    EXPECT_EQ(r.error().number, gv::kErrLoadingModule);
    EXPECT_TRUE(r.error().description.contains(QStringLiteral("gvsandbox is missing")));
}

// The number of the process that ran the job for this file, as the job tells it.
pid_t jobProcess(const QString& path) {
    const gv::DecodeResult r = gv::DecodeImageFile(path, request96());
    const QString said = r.ok() ? QString() : r.error().description;
    return said.startsWith(QStringLiteral("pid=")) ? pid_t(said.mid(4).toInt()) : 0;
}

TEST(IsolatedDecode, EveryJobRunsInAProcessOfItsOwnMadeReadyBeforeTheJobCame) {
    QTemporaryDir dir;
    const QString tell = dir.filePath(QStringLiteral("tell.pcx"));
    ASSERT_TRUE(writeBytes(tell, "GVSANDBOX-TEST pid"));
    FaultyHelper faulty;
    ASSERT_TRUE(gv::sandboxClient()->start());
    const pid_t helper = gv::sandboxClient()->helperProcess();
    std::set<pid_t> seen;
    jobProcess(tell);  // the first job shows the helper the limits its processes get ready for
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        std::set<pid_t> ready;
        ASSERT_TRUE(eventually([&] { return !(ready = readyProcesses(helper)).empty(); }));
        const pid_t job = jobProcess(tell);
        ASSERT_GT(job, 0);
        EXPECT_TRUE(ready.count(job)) << "the job's process was not among those waiting";
        EXPECT_TRUE(seen.insert(job).second) << "a process served a second job";
        EXPECT_TRUE(eventually([&] { return ended(job); }));
    }
    // Forks of a process with threads would lose them: jobs that wait on them hang.
    const QString wmf = dir.filePath(QStringLiteral("a.wmf"));
    ASSERT_TRUE(writeBytes(wmf, sampleWmf()));
    const gv::DecodeResult metafile = gv::DecodeImageFile(wmf, request96());
    ASSERT_TRUE(metafile.ok());
    EXPECT_FALSE(metafile.picture().render(QSize(1920, 1080), Qt::white).isNull());
    EXPECT_EQ(threadsOf(helper), 1);
}

TEST(IsolatedDecode, AReadyProcessKilledWhileItWaitsIsReplacedAndTheNextFileDecodes) {
    QTemporaryDir dir;
    const QString good = dir.filePath(QStringLiteral("good.tga"));
    ASSERT_TRUE(writeImageFile(good, noisyImage(QSize(16, 9), 3)));
    const QImage expected = gv::DecodeImageFileInProcess(good, request96()).picture().raster();
    FaultyHelper faulty;
    ASSERT_TRUE(gv::DecodeImageFile(good, request96()).ok());
    const pid_t helper = gv::sandboxClient()->helperProcess();
    std::set<pid_t> killed;
    ASSERT_TRUE(eventually([&] { return !(killed = readyProcesses(helper)).empty(); }));
    for (const pid_t pid : killed) {
        ASSERT_EQ(::kill(pid, SIGKILL), 0);
    }
    ASSERT_TRUE(eventually([&] {
        return std::all_of(killed.begin(), killed.end(), [](pid_t pid) { return ended(pid); });
    }));
    const gv::DecodeResult next = gv::DecodeImageFile(good, request96());
    ASSERT_TRUE(next.ok()) << next.error().description.toStdString();
    EXPECT_TRUE(samePixels(next.picture().raster(), expected));
    EXPECT_EQ(gv::sandboxClient()->helperProcess(), helper);
    std::set<pid_t> now;
    EXPECT_TRUE(eventually([&] {
        now = readyProcesses(helper);
        return !now.empty() && std::none_of(now.begin(), now.end(),
                                            [&](pid_t pid) { return killed.count(pid) > 0; });
    }));
}

// A job given the file itself reads it when its turn comes: as far as the program found it, or
// as far as it still goes when another program cut it meanwhile; never what was added after.
TEST(IsolatedDecode, AJobReadsItsFileAsFarAsTheProgramFoundItAndNoFurther) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("file.pcx"));
    const QByteArray bytes = "GVSANDBOX-TEST size " + QByteArray(64 * 1024, 'x');
    ASSERT_TRUE(writeBytes(path, bytes));
    gv::SandboxClient client(QStringLiteral(GLIMVANE_BINARY_DIR "/gvsandbox_test"));
    auto told = [&](gv::SandboxInput input) {
        const std::optional<gv::SandboxReply> reply =
            client.run("job", input, gv::SandboxLimits(), nullptr);
        return reply ? reply->message : QByteArray("no answer");
    };
    // Given the file whole before the job starts, or reading it as the job goes.
    for (const bool asItGoes : {false, true}) {
        SCOPED_TRACE(asItGoes ? "read as the job goes" : "given whole");
        auto input = [asItGoes](int fd, qint64 size) {
            return asItGoes ? gv::SandboxInput::fileReadAsItGoes(fd, size)
                            : gv::SandboxInput::file(fd, size);
        };
        ASSERT_TRUE(writeBytes(path, bytes));
        const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
        ASSERT_GE(fd, 0);
        EXPECT_EQ(told(input(fd, bytes.size())), "input=" + QByteArray::number(bytes.size()));
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::Append));
        file.write(QByteArray(4096, 'y'));
        file.flush();
        EXPECT_EQ(told(input(fd, bytes.size())), "input=" + QByteArray::number(bytes.size()));
        ASSERT_TRUE(file.resize(1000));
        EXPECT_EQ(told(input(fd, bytes.size())), "input=1000");
        ::close(fd);
        // Only a file is read so: anything else sent as one ends the job without an answer.
        int pipeFds[2];
        ASSERT_EQ(::pipe2(pipeFds, O_CLOEXEC), 0);
        ASSERT_EQ(::write(pipeFds[1], bytes.constData(), 100), 100);
        EXPECT_EQ(told(input(pipeFds[0], 100)), "no answer");
        ::close(pipeFds[0]);
        ::close(pipeFds[1]);
    }
}

TEST(IsolatedDecode, TheHelperAndItsProcessesEndWhenTheProgramIsKilled) {
    int pipeFds[2];
    ASSERT_EQ(::pipe(pipeFds), 0);
    const pid_t program = ::fork();
    ASSERT_GE(program, 0);
    if (program == 0) {
        // A program of its own: its helper makes processes ready, then runs a job that spins.
        ::close(pipeFds[0]);
        gv::SandboxClient client(QStringLiteral(GLIMVANE_BINARY_DIR "/gvsandbox_test"));
        auto job = [&](const QByteArray& bytes) {
            std::optional<gv::SharedMemory> input = gv::SharedMemory::create(bytes.size());
            std::memcpy(input->data(), bytes.constData(), bytes.size());
            input->seal();
            return client.run("job", *input, gv::SandboxLimits(), nullptr);
        };
        job("GVSANDBOX-TEST pid");
        const pid_t helper = client.helperProcess();
        if (::write(pipeFds[1], &helper, sizeof helper) != sizeof helper) {
            ::_exit(1);
        }
        job("GVSANDBOX-TEST spin");
        ::_exit(0);
    }
    ::close(pipeFds[1]);
    pid_t helper = 0;
    const bool told = ::read(pipeFds[0], &helper, sizeof helper) == sizeof helper;
    ::close(pipeFds[0]);
    std::vector<pid_t> processes;
    const bool running =
        told && eventually([&] {
            const std::vector<Process> children = childrenOf(helper);
            const auto count = [&](const char* name) {
                return std::count_if(children.begin(), children.end(),
                                     [&](const Process& p) { return p.name == name; });
            };
            processes.clear();
            for (const Process& p : children) {
                processes.push_back(p.pid);
            }
            return count("gvsandbox job") == 1 && count("gvsandbox ready") >= 1;
        });
    ::kill(program, SIGKILL);
    ::waitpid(program, nullptr, 0);
    QByteArray seen;
    for (const Process& p : childrenOf(helper)) {
        seen += p.name + ' ' + p.state + "; ";
    }
    ASSERT_TRUE(running) << "the helper never had a job running and a process ready: "
                         << seen.constData();
    processes.push_back(helper);
    for (const pid_t pid : processes) {
        EXPECT_TRUE(eventually([pid] { return ended(pid); })) << pid;
    }
}

}  // namespace
