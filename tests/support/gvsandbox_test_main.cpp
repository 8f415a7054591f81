// The decoding helper with faults on request: a file that starts with "GVSANDBOX-TEST " and a
// command makes the job crash, spin, grab memory, try to reach beyond its folder, tell its
// process or tell how many bytes of input it got, so that the tests see what the program makes
// of a decoder that does so. Any other file is decoded as the real helper does.

#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <QGuiApplication>
#include <QList>
#include <cstring>
#include <memory>
#include <vector>

#include "images/Decoder.h"
#include "images/IsolatedDecode.h"

namespace {

constexpr QByteArrayView kTrigger = "GVSANDBOX-TEST ";

QString attempt(const char* what, bool done) {
    return QString::fromLatin1(what) +
           (done ? QStringLiteral("=allowed") : QStringLiteral("=denied"));
}

// "escape READ_PATH WRITE_FOLDER": what the job could do beyond its own folder.
QByteArray tryEscape(const QList<QByteArray>& words) {
    QStringList report;
    const int readable = ::open(words.value(1).constData(), O_RDONLY | O_CLOEXEC);
    report << attempt("read-outside", readable >= 0);
    // Landlock guards contents, not a file's mode, owner, times or extended attributes.
    const char* outside = words.value(1).constData();
    report << attempt("chmod-outside", ::chmod(outside, 0777) == 0);
    report << attempt("chown-outside", ::chown(outside, ::getuid(), ::getgid()) == 0);
    report << attempt("touch-outside", ::utimensat(AT_FDCWD, outside, nullptr, 0) == 0);
    report << attempt("xattr-outside",
                      ::setxattr(outside, "user.glimvane", "x", 1, 0) == 0 || errno == ENOTSUP);
    const QByteArray target = words.value(2) + "/written-by-decoder";
    const int writable = ::open(target.constData(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    report << attempt("write-outside", writable >= 0);
    const int own = ::open("own-file", O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    report << attempt("write-own", own >= 0);
    // The helper's private folder holds the folders of other jobs.
    report << attempt("list-other-jobs", ::open("..", O_RDONLY | O_DIRECTORY | O_CLOEXEC) >= 0);
    const int inet = ::socket(AF_INET, SOCK_STREAM, 0);
    bool connected = false;
    if (inet >= 0) {
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(9);
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        connected = ::connect(inet, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0 ||
                    errno == ECONNREFUSED;
    }
    report << attempt("network", inet >= 0 || connected);
    report << attempt("local-socket", ::socket(AF_UNIX, SOCK_STREAM, 0) >= 0);
    report << attempt("signal-parent", ::kill(::getppid(), 0) == 0);
    return gv::decodingFailureAnswer(1, report.join(QLatin1Char(' ')));
}

QByteArray answer(const gv::SandboxHandler& real, QByteArrayView message, QByteArrayView input,
                  std::optional<gv::SharedMemory>* memory) {
    if (!input.startsWith(kTrigger)) {
        return real.answer(message, input, memory);
    }
    const QList<QByteArray> words =
        input.sliced(kTrigger.size()).toByteArray().trimmed().split(' ');
    const QByteArray& command = words.front();
    if (command == "crash") {
        ::raise(SIGSEGV);
    } else if (command == "spin") {
        for (;;) {
            asm volatile("" ::: "memory");  // a loop the compiler keeps
        }
    } else if (command == "grab") {
        // Address space only, never touched: without a limit this would take 64 GiB of it.
        std::vector<std::unique_ptr<char[]>> held;
        for (int i = 0; i < 1024; ++i) {
            held.emplace_back(new char[64 << 20]);
        }
        return gv::decodingFailureAnswer(1, QStringLiteral("grabbed 64 GiB"));
    } else if (command == "escape") {
        return tryEscape(words);
    } else if (command == "size") {
        return "input=" + QByteArray::number(input.size());
    } else if (command == "pid") {
        return gv::decodingFailureAnswer(1, QStringLiteral("pid=%1").arg(::getpid()));
    }
    return gv::decodingFailureAnswer(1, QStringLiteral("unknown test command"));
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const gv::SandboxHandler real = gv::imageDecodingHandler();
    gv::SandboxHandler handler;
    handler.warmUp = real.warmUp;
    // A warm-up that takes long, as on a machine whose disk is slow to load the libraries.
    if (qEnvironmentVariableIsSet("GVSANDBOX_TEST_SLOW_WARMUP")) {
        handler.warmUp.insert(handler.warmUp.begin(), [] { ::sleep(4); });
    }
    handler.whileWaiting = real.whileWaiting;
    handler.answer = [&real](QByteArrayView message, QByteArrayView input,
                             std::optional<gv::SharedMemory>* memory) {
        return answer(real, message, input, memory);
    };
    // A job that reads its file as it goes: "size" counts what it can read of it, in pieces.
    handler.answerFromFile = [&real](QByteArrayView message, const gv::SandboxFile& input,
                                     std::optional<gv::SharedMemory>* memory) {
        QByteArray start(kTrigger.size() + 4, 0);
        if (input.read(0, start.data(), start.size()) != start.size() ||
            start != kTrigger.toByteArray() + "size") {
            return real.answerFromFile(message, input, memory);
        }
        char piece[4096];
        qint64 total = 0;
        while (const qint64 n = input.read(total, piece, sizeof piece)) {
            if (n < 0) {
                return QByteArray("unreadable");
            }
            total += n;
        }
        return "input=" + QByteArray::number(total);
    };
    return gv::serveSandboxJobs(3, handler);
}
