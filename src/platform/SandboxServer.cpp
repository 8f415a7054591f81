// The helper's side of Sandbox.h: a long-lived process that never touches untrusted bytes
// itself, and starts one confined process per job.

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/Confinement.h"
#include "platform/Sandbox.h"
#include "platform/SandboxProtocol.h"

namespace gv {
namespace {

using sandbox::JobHeader;

qint64 nowMs() {
    timespec t{};
    ::clock_gettime(CLOCK_MONOTONIC, &t);
    return qint64(t.tv_sec) * 1000 + t.tv_nsec / 1000000;
}

// A job's process may leave anything in its folder; nothing there is followed, and a tree
// deeper than any real program makes is left for the folder's removal at the end to give up on.
void removeContents(int dirFd, int depth) {
    const int listFd = ::dup(dirFd);
    if (listFd < 0) {
        return;
    }
    DIR* dir = ::fdopendir(listFd);
    if (!dir) {
        ::close(listFd);
        return;
    }
    std::vector<QByteArray> names;
    while (const dirent* entry = ::readdir(dir)) {
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0) {
            names.emplace_back(entry->d_name);
        }
    }
    ::closedir(dir);
    for (const QByteArray& name : names) {
        if (::unlinkat(dirFd, name.constData(), 0) == 0 || depth >= 32) {
            continue;
        }
        const int sub =
            ::openat(dirFd, name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (sub >= 0) {
            removeContents(sub, depth + 1);
            ::close(sub);
            ::unlinkat(dirFd, name.constData(), AT_REMOVEDIR);
        }
    }
}

// The helper's private folder: made new and for this user alone, whoever else can write in
// the folder for temporary files.
class PrivateFolder final {
public:
    PrivateFolder() {
        QByteArray path = QFile::encodeName(QDir::tempPath()) + "/glimvane-decoding-XXXXXX";
        if (!::mkdtemp(path.data())) {
            return;
        }
        m_path = path;
        m_fd = ::open(m_path.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        struct stat st {};
        if (m_fd >= 0 &&
            (::fstat(m_fd, &st) != 0 || st.st_uid != ::geteuid() || (st.st_mode & 077) != 0)) {
            ::close(m_fd);
            m_fd = -1;
        }
    }
    ~PrivateFolder() {
        if (m_fd >= 0) {
            removeContents(m_fd, 0);
            ::close(m_fd);
        }
        if (!m_path.isEmpty()) {
            ::rmdir(m_path.constData());
        }
    }
    PrivateFolder(const PrivateFolder&) = delete;
    PrivateFolder& operator=(const PrivateFolder&) = delete;

    bool ok() const { return m_fd >= 0; }
    int fd() const { return m_fd; }
    const QByteArray& path() const { return m_path; }

private:
    QByteArray m_path;
    int m_fd = -1;
};

struct RunningJob {
    pid_t pid = 0;
    qint64 deadline = 0;
    QByteArray folder;  // its name in the private folder
    bool killed = false;
};

void closeAll(const std::vector<int>& fds) {
    for (int fd : fds) {
        ::close(fd);
    }
}

// One packet from the program: the header, the job's message and its two descriptors.
struct Received {
    JobHeader header;
    QByteArray message;
    int input = -1;
    int reply = -1;
};

// 1 when a job arrived, 0 when the program closed the socket, -1 for a packet to drop.
int receive(int controlFd, Received* job) {
    std::vector<char> buffer(sizeof(JobHeader) + std::size_t(kSandboxMessageMax));
    iovec iov{buffer.data(), buffer.size()};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int) * 4)];
    msghdr msg{};
    msg.msg_iov = &iov;
    msg.msg_iovlen = 1;
    msg.msg_control = control;
    msg.msg_controllen = sizeof control;
    const ssize_t n = ::recvmsg(controlFd, &msg, MSG_CMSG_CLOEXEC);
    if (n == 0) {
        return 0;
    }
    if (n < 0) {
        return errno == EINTR || errno == EAGAIN ? -1 : 0;
    }
    std::vector<int> fds;
    for (cmsghdr* c = CMSG_FIRSTHDR(&msg); c; c = CMSG_NXTHDR(&msg, c)) {
        if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_RIGHTS) {
            const std::size_t count = (c->cmsg_len - CMSG_LEN(0)) / sizeof(int);
            for (std::size_t i = 0; i < count; ++i) {
                int fd;
                std::memcpy(&fd, CMSG_DATA(c) + i * sizeof(int), sizeof fd);
                fds.push_back(fd);
            }
        }
    }
    if (std::size_t(n) < sizeof(JobHeader) || fds.size() != 2 ||
        (msg.msg_flags & (MSG_TRUNC | MSG_CTRUNC))) {
        closeAll(fds);
        return -1;
    }
    std::memcpy(&job->header, buffer.data(), sizeof(JobHeader));
    const JobHeader& h = job->header;
    if (h.magic != sandbox::kMagic || h.version != sandbox::kVersion ||
        h.messageLength != std::size_t(n) - sizeof(JobHeader)) {
        closeAll(fds);
        return -1;
    }
    job->message = QByteArray(buffer.data() + sizeof(JobHeader), qsizetype(h.messageLength));
    job->input = fds[0];
    job->reply = fds[1];
    return 1;
}

bool sendAnswer(int replyFd, const QByteArray& message, int memoryFd) {
    iovec iov{const_cast<char*>(message.constData()), std::size_t(message.size())};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
    msghdr msg{};
    msg.msg_iov = &iov;
    msg.msg_iovlen = 1;
    if (memoryFd >= 0) {
        msg.msg_control = control;
        msg.msg_controllen = sizeof control;
        cmsghdr* c = CMSG_FIRSTHDR(&msg);
        c->cmsg_level = SOL_SOCKET;
        c->cmsg_type = SCM_RIGHTS;
        c->cmsg_len = CMSG_LEN(sizeof(int));
        std::memcpy(CMSG_DATA(c), &memoryFd, sizeof memoryFd);
    }
    return ::sendmsg(replyFd, &msg, MSG_NOSIGNAL) == ssize_t(message.size());
}

// The job's own process, from the fork to its end.
[[noreturn]] void runJob(const Received& job, int jobFolder, const QByteArray& jobPath,
                         const PrivateFolder& root, Confinement& confinement,
                         const SandboxHandler& handler, pid_t server) {
    sigset_t none;
    sigemptyset(&none);
    ::signal(SIGCHLD, SIG_DFL);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    // Its own process group, so that whatever it starts is stopped with it.
    ::setpgid(0, 0);
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != server) {
        ::_exit(1);
    }
    ::prctl(PR_SET_NAME, "gvsandbox job");
    if (::fchdir(jobFolder) != 0) {
        ::_exit(2);
    }
    ::close(jobFolder);
    ::setenv("TMPDIR", jobPath.constData(), 1);

    SandboxLimits limits;
    limits.extraAddressSpace = job.header.extraAddressSpace;
    limits.cpuSeconds = job.header.cpuSeconds;
    limits.wallMs = job.header.wallMs;
    limits.runsPrograms = job.header.runsPrograms != 0;
    QString why;
    if (!confinement.apply(limits, root.fd(), &why)) {
        std::fprintf(stderr, "gvsandbox: cannot confine the job: %s\n", qPrintable(why));
        ::_exit(3);
    }
    std::optional<SharedMemory> input = SharedMemory::adoptSealed(job.input, 0);
    if (!input) {
        ::_exit(4);
    }
    const QByteArrayView bytes(reinterpret_cast<const char*>(input->constData()),
                               qsizetype(input->size()));
    std::optional<SharedMemory> memory;
    const QByteArray answer = handler.answer(job.message, bytes, &memory);
    if (answer.size() > kSandboxMessageMax || (memory && !memory->seal())) {
        ::_exit(5);
    }
    ::_exit(sendAnswer(job.reply, answer, memory ? memory->fd() : -1) ? 0 : 6);
}

void killJob(RunningJob& job) {
    ::kill(-job.pid, SIGKILL);
    ::kill(job.pid, SIGKILL);
    job.killed = true;
}

// Reaps what ended: jobs (whose process groups go with them, and their folders), and the
// programs a job started that outlived it.
void reap(std::vector<RunningJob>& jobs, const PrivateFolder& root) {
    for (;;) {
        siginfo_t info{};
        if (::waitid(P_ALL, 0, &info, WEXITED | WNOHANG | WNOWAIT) != 0 || info.si_pid == 0) {
            return;
        }
        const pid_t pid = info.si_pid;
        const auto job = std::find_if(jobs.begin(), jobs.end(),
                                      [pid](const RunningJob& j) { return j.pid == pid; });
        if (job != jobs.end()) {
            // Still a zombie here, so its group's number cannot have been given to another.
            ::kill(-pid, SIGKILL);
        }
        ::waitpid(pid, nullptr, 0);
        if (job != jobs.end()) {
            const int folder = ::openat(root.fd(), job->folder.constData(),
                                        O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (folder >= 0) {
                removeContents(folder, 0);
                ::close(folder);
            }
            ::unlinkat(root.fd(), job->folder.constData(), AT_REMOVEDIR);
            jobs.erase(job);
        }
    }
}

}  // namespace

int serveSandboxJobs(int controlFd, const SandboxHandler& handler) {
    const pid_t server = ::getpid();
    // Programs a job started come back here when the job's process ends, to be reaped.
    ::prctl(PR_SET_CHILD_SUBREAPER, 1);
    sigset_t childSignal;
    sigemptyset(&childSignal);
    sigaddset(&childSignal, SIGCHLD);
    ::sigprocmask(SIG_BLOCK, &childSignal, nullptr);
    const int signals = ::signalfd(-1, &childSignal, SFD_CLOEXEC | SFD_NONBLOCK);
    PrivateFolder root;
    if (signals < 0 || !root.ok()) {
        std::fprintf(stderr, "gvsandbox: cannot make the private folder: %s\n",
                     std::strerror(errno));
        return 1;
    }
    ::setenv("TMPDIR", root.path().constData(), 1);
    Confinement confinement = Confinement::prepare();
    std::vector<RunningJob> jobs;
    quint64 counter = 0;
    for (;;) {
        int timeout = -1;
        const qint64 now = nowMs();
        for (RunningJob& job : jobs) {
            if (!job.killed && job.deadline <= now) {
                killJob(job);
            }
            if (!job.killed) {
                const qint64 left = job.deadline - now;
                timeout = timeout < 0 ? int(left) : std::min(timeout, int(left));
            }
        }
        pollfd fds[2] = {{controlFd, POLLIN, 0}, {signals, POLLIN, 0}};
        if (::poll(fds, 2, timeout) < 0 && errno != EINTR) {
            break;
        }
        if (fds[1].revents & POLLIN) {
            signalfd_siginfo drained[8];
            while (::read(signals, drained, sizeof drained) > 0) {
            }
            reap(jobs, root);
        }
        if (!(fds[0].revents & (POLLIN | POLLHUP | POLLERR))) {
            continue;
        }
        Received job;
        const int got = receive(controlFd, &job);
        if (got == 0) {
            break;  // the program has gone
        }
        if (got < 0) {
            continue;
        }
        if (handler.prepare) {
            handler.prepare(job.message);
        }
        const QByteArray name = "job-" + QByteArray::number(++counter);
        const QByteArray path = root.path() + '/' + name;
        int folder = -1;
        if (::mkdirat(root.fd(), name.constData(), 0700) == 0) {
            folder = ::openat(root.fd(), name.constData(),
                              O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        }
        const pid_t pid = folder >= 0 ? ::fork() : -1;
        if (pid == 0) {
            ::close(controlFd);
            ::close(signals);
            runJob(job, folder, path, root, confinement, handler, server);
        }
        // Closing the answer's socket here leaves the job's process the only writer: the
        // program sees its end as soon as the job ends, answered or not.
        ::close(job.input);
        ::close(job.reply);
        if (folder >= 0) {
            ::close(folder);
        }
        if (pid > 0) {
            jobs.push_back({pid, nowMs() + std::max(job.header.wallMs, 1), name, false});
        } else {
            ::unlinkat(root.fd(), name.constData(), AT_REMOVEDIR);
        }
    }
    for (RunningJob& job : jobs) {
        killJob(job);
    }
    while (!jobs.empty()) {
        const pid_t pid = ::waitpid(jobs.front().pid, nullptr, 0);
        if (pid < 0 && errno != EINTR) {
            jobs.erase(jobs.begin());
        } else if (pid > 0) {
            reap(jobs, root);
            std::erase_if(jobs, [pid](const RunningJob& j) { return j.pid == pid; });
        }
    }
    return 0;
}

SandboxSupport sandboxSupport() {
    return {Confinement::landlockAbi(), Confinement::seccompAvailable()};
}

}  // namespace gv
