#include "platform/Launcher.h"

#include <fcntl.h>
#include <linux/close_range.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <QStandardPaths>
#include <cerrno>
#include <string>
#include <vector>

#include "platform/FileNameBytes.h"

namespace gv {
namespace {

int waitFor(pid_t pid) {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) {
            return -1;
        }
    }
    return status;
}

}  // namespace

bool launchDetached(const QString& program, const QStringList& arguments) {
    // The arguments reach the program as the bytes they stand for: an image whose name is not
    // UTF-8 is opened by that name, not by a look-alike (which QProcess would pass).
    QString resolved = program;
    if (!resolved.contains(QLatin1Char('/'))) {
        resolved = QStandardPaths::findExecutable(program);
        if (resolved.isEmpty()) {
            return false;
        }
    }
    std::vector<std::string> words{fileNameToStdString(resolved)};
    for (const QString& a : arguments) {
        words.push_back(fileNameToStdString(a));
    }
    std::vector<char*> argv;
    for (std::string& w : words) {
        argv.push_back(w.data());
    }
    argv.push_back(nullptr);
    const std::string& path = words.front();
    const auto slash = path.find_last_of('/');
    const std::string folder = slash == 0 ? std::string("/") : path.substr(0, slash);

    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0) {
        return false;
    }
    const pid_t child = ::fork();
    if (child < 0) {
        ::close(report[0]);
        ::close(report[1]);
        return false;
    }
    if (child == 0) {
        // Only async-signal-safe calls from here: the program has other threads.
        ::setsid();
        const pid_t grandchild = ::fork();
        if (grandchild != 0) {
            ::_exit(grandchild < 0 ? 1 : 0);
        }
        sigset_t none;
        ::sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        ::signal(SIGPIPE, SIG_DFL);
        ::syscall(SYS_close_range, 3U, ~0U, CLOSE_RANGE_CLOEXEC);
        if (::chdir(folder.c_str()) != 0) {
            // The program's own folder is only a courtesy; it starts from ours.
        }
        ::execv(path.c_str(), argv.data());
        const int error = errno;
        [[maybe_unused]] const ssize_t n = ::write(report[1], &error, sizeof error);
        ::_exit(127);
    }
    ::close(report[1]);
    const int status = waitFor(child);
    int error = 0;
    ssize_t n = 0;
    do {
        n = ::read(report[0], &error, sizeof error);
    } while (n < 0 && errno == EINTR);
    ::close(report[0]);
    // Nothing on the pipe: it closed at a successful exec.
    return status == 0 && n == 0;
}

}  // namespace gv
