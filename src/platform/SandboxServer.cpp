// The helper's side of Sandbox.h: a long-lived process that never touches untrusted bytes
// itself, and starts one confined process per job.

#include <dirent.h>
#include <fcntl.h>
#include <malloc.h>
#include <poll.h>
#include <signal.h>
#include <sys/mman.h>
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
#include <limits>
#include <optional>
#include <vector>

#include "platform/Confinement.h"
#include "platform/Sandbox.h"
#include "platform/SandboxProtocol.h"

namespace gv {
namespace {

using sandbox::JobHeader;

// A process that waits holds no more memory than this for its answer, and no more than this
// for its input file.
constexpr qint64 kMostAnswerMemoryAhead = qint64(64) << 20;
constexpr qint64 kMostInputMemoryAhead = qint64(64) << 20;
// ... and no more than this for the job's own allocations.
constexpr std::size_t kMostHeapAhead = std::size_t(32) << 20;
// How long a ready process may take to say it has its job (it answers at once; a loaded machine
// can delay it): past that it counts as gone, and the job goes to another.
constexpr int kTakeJobMs = 2000;

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

// What a job's process is confined by; a process made ready for one set serves only a job
// that asks for the same.
struct Confines {
    qint64 extraAddressSpace = 0;
    qint32 cpuSeconds = 0;
    bool runsPrograms = false;
    bool operator==(const Confines&) const = default;
};

Confines confinesOf(const JobHeader& h) {
    return {h.extraAddressSpace, h.cpuSeconds, h.runsPrograms != 0};
}

// A job's process: ready (confined, waiting on its socket for one job) or running that job.
struct Child {
    pid_t pid = 0;
    QByteArray folder;  // its own, by name, in the private folder
    Confines confines;
    int socket = -1;  // the helper's end while it waits; -1 once it has its job
    qint64 deadline = 0;
    bool killed = false;

    bool ready() const { return socket >= 0; }
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

// Hands a job to a ready process: the packet as the program sent it, with its descriptors.
// False when the process is gone (its end of the socket closed with it).
bool forward(int socket, const Received& job) {
    QByteArray packet(reinterpret_cast<const char*>(&job.header), sizeof job.header);
    packet.append(job.message);
    return sandbox::sendWithDescriptors(socket, packet, job.input, job.reply,
                                        MSG_NOSIGNAL | MSG_DONTWAIT);
}

// Whether the process a job was handed to took it: it says so on its socket as soon as it has
// the job. A process that ended meanwhile (killed while it waited) may still have had its socket
// open when the job was sent, and the job would be lost with it.
bool jobTaken(int socket) {
    pollfd fd{socket, POLLIN, 0};
    int ready;
    do {
        ready = ::poll(&fd, 1, kTakeJobMs);
    } while (ready < 0 && errno == EINTR);
    char taken = 0;
    return ready > 0 && ::recv(socket, &taken, 1, MSG_DONTWAIT) == 1 && taken == 1;
}

// Memory for a job's input file, mapped (every page allocated) while the process waits, as
// large as the last job's input was.
struct InputMemory {
    char* data = nullptr;
    std::size_t size = 0;
};

InputMemory mapInputMemory(std::size_t size) {
    if (size == 0) {
        return {};
    }
    void* map = ::mmap(nullptr, size, PROT_READ | PROT_WRITE,
                       MAP_PRIVATE | MAP_ANONYMOUS | MAP_POPULATE, -1, 0);
    return map == MAP_FAILED ? InputMemory{} : InputMemory{static_cast<char*>(map), size};
}

}  // namespace

qint64 SandboxFile::read(qint64 offset, char* to, qint64 n) const {
    if (offset < 0 || n <= 0 || offset >= size) {
        return 0;
    }
    n = std::min(n, size - offset);
    qint64 got = 0;
    while (got < n) {
        const ssize_t r = ::pread(fd, to + got, std::size_t(n - got), off_t(offset + got));
        if (r < 0 && errno == EINTR) {
            continue;
        }
        if (r < 0) {
            return -1;
        }
        if (r == 0) {
            break;
        }
        got += r;
    }
    return got;
}

namespace {

// Only a regular file is read as a job's input: a pipe or a device sent as one is refused.
bool regularFile(int fd) {
    struct stat st {};
    return ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
}

// The job's input file, read here: `size` bytes from its start (what the program found there),
// or what it still holds when it shrank meanwhile. Read, never mapped: a file that another
// program cuts short must not fault this process's reads. nullopt when it is not a file that
// can be read.
std::optional<QByteArrayView> readInputFile(int fd, qint64 size, InputMemory ahead) {
    if (!regularFile(fd)) {
        return std::nullopt;
    }
    InputMemory memory =
        std::size_t(size) <= ahead.size ? ahead : mapInputMemory(std::size_t(size));
    if (size > 0 && !memory.data) {
        return std::nullopt;
    }
    const qint64 got = SandboxFile{fd, size}.read(0, memory.data, size);
    if (got < 0) {
        return std::nullopt;
    }
    return QByteArrayView(memory.data, qsizetype(got));
}

// Memory for the job's own allocations (a decoder's raster, its buffers), taken from the system
// and written once while the process waits: the job then writes pages that exist rather than
// fault in each one. Blocks up to 32 MB come from this heap, and it is never given back.
void prepareHeap(std::size_t size) {
    size = std::min(size, kMostHeapAhead);
    if (size == 0) {
        return;
    }
    ::mallopt(M_MMAP_THRESHOLD, int(kMostHeapAhead));
    ::mallopt(M_TRIM_THRESHOLD, std::numeric_limits<int>::max());
    constexpr std::size_t kBlock = std::size_t(4) << 20;
    std::vector<char*> blocks;
    blocks.reserve(size / kBlock + 1);
    const auto page = std::size_t(::sysconf(_SC_PAGESIZE));
    for (std::size_t done = 0; done < size; done += kBlock) {
        auto* block = static_cast<char*>(std::malloc(kBlock));
        if (!block) {
            break;
        }
        for (std::size_t i = 0; i < kBlock; i += page) {
            reinterpret_cast<volatile char*>(block)[i] = 0;
        }
        blocks.push_back(block);
    }
    // Freed in reverse, they join into the heap's free top, where the next blocks come from.
    for (auto it = blocks.rbegin(); it != blocks.rend(); ++it) {
        std::free(*it);
    }
}

// A job's own process, from the fork to its end: confined first, then it waits for its one
// job, so that neither the fork nor the confinement is on the path of the job.
[[noreturn]] void runChild(int socket, int folder, const QByteArray& folderPath,
                           const Confines& confines, qint64 answerMemory, qint64 inputMemory,
                           Confinement& confinement, const SandboxHandler& handler, pid_t server) {
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
    ::prctl(PR_SET_NAME, "gvsandbox ready");
    if (::fchdir(folder) != 0) {
        ::_exit(2);
    }
    ::setenv("TMPDIR", folderPath.constData(), 1);

    SandboxLimits limits;
    limits.extraAddressSpace = confines.extraAddressSpace;
    limits.cpuSeconds = confines.cpuSeconds;
    limits.runsPrograms = confines.runsPrograms;
    QString why;
    const bool confined = confinement.apply(limits, folder, &why);
    ::close(folder);
    if (!confined) {
        std::fprintf(stderr, "gvsandbox: cannot confine the job: %s\n", qPrintable(why));
        ::_exit(3);
    }
    pollfd waiting{socket, POLLIN, 0};
    if (handler.whileWaiting && ::poll(&waiting, 1, 0) == 0) {
        handler.whileWaiting();
    }
    // The answer's memory allocated now rather than page by page on the job's path, as large
    // as the last answer was (pictures in a folder tend to be alike), within reason.
    if (answerMemory > 0) {
        SharedMemory::reserveAhead(std::size_t(std::min(answerMemory, kMostAnswerMemoryAhead)));
    }
    // Memory for the file and the decoder's buffers only while no job waits: a job already
    // there allocates what it needs itself, rather than what the last one needed first.
    InputMemory inputAhead;
    if (inputMemory > 0 && ::poll(&waiting, 1, 0) == 0) {
        inputAhead = mapInputMemory(std::size_t(std::min(inputMemory, kMostInputMemoryAhead)));
        // A job on shared memory (a metafile's render, a drawing's) draws straight into the
        // answer's memory and needs no heap of its own; one on a file decodes with buffers.
        prepareHeap(std::size_t(std::max<qint64>(answerMemory, 0)));
    }
    Received job;
    int got;
    do {
        got = receive(socket, &job);
    } while (got < 0 && errno == EINTR);
    // Nothing else ever comes on this socket (the helper let it go, or is gone) but the
    // receipt that goes back on it.
    if (got <= 0 || !(confinesOf(job.header) == confines)) {
        ::_exit(0);
    }
    const char taken = 1;
    if (::write(socket, &taken, 1) != 1) {
        ::_exit(0);
    }
    ::close(socket);
    ::prctl(PR_SET_NAME, "gvsandbox job");
    std::optional<SharedMemory> input;
    std::optional<SharedMemory> memory;
    QByteArray answer;
    if (job.header.inputFileSize >= 0 && job.header.inputReadAsItGoes == 1 &&
        handler.answerFromFile) {
        // Read as the job goes: the descriptor stays open for it, and nothing is read ahead.
        if (!regularFile(job.input)) {
            ::_exit(4);
        }
        answer =
            handler.answerFromFile(job.message, {job.input, job.header.inputFileSize}, &memory);
    } else {
        QByteArrayView bytes;
        if (job.header.inputFileSize >= 0) {
            const std::optional<QByteArrayView> read =
                readInputFile(job.input, job.header.inputFileSize, inputAhead);
            ::close(job.input);
            if (!read) {
                ::_exit(4);
            }
            bytes = *read;
        } else {
            input = SharedMemory::adoptSealed(job.input, 0);
            if (!input) {
                ::_exit(4);
            }
            bytes = QByteArrayView(reinterpret_cast<const char*>(input->constData()),
                                   qsizetype(input->size()));
        }
        answer = handler.answer(job.message, bytes, &memory);
    }
    // Sealed without being mapped again here: this process never reads it after.
    if (answer.size() > kSandboxMessageMax || (memory && !memory->sealForHandOver())) {
        ::_exit(5);
    }
    ::_exit(sendAnswer(job.reply, answer, memory ? memory->fd() : -1) ? 0 : 6);
}

void killChild(Child& child) {
    ::kill(-child.pid, SIGKILL);
    ::kill(child.pid, SIGKILL);
    child.killed = true;
}

// The helper's job processes: those waiting, ready, and those running a job.
class Children final {
public:
    Children(const PrivateFolder& root, Confinement& confinement, const SandboxHandler& handler,
             std::vector<int> keepOut)
        : m_root(root),
          m_confinement(confinement),
          m_handler(handler),
          m_keepOut(std::move(keepOut)),
          m_server(::getpid()) {}

    ~Children() {
        for (Child& child : m_children) {
            killChild(child);
        }
        while (!m_children.empty()) {
            const pid_t pid = ::waitpid(m_children.front().pid, nullptr, 0);
            if (pid < 0 && errno != EINTR) {
                forget(m_children.begin());
            } else if (pid > 0) {
                reap();
                const auto gone = std::find_if(m_children.begin(), m_children.end(),
                                               [pid](const Child& c) { return c.pid == pid; });
                if (gone != m_children.end()) {
                    forget(gone);
                }
            }
        }
    }
    Children(const Children&) = delete;
    Children& operator=(const Children&) = delete;

    // Gives the job to a ready process confined as it asks, started now if none waits.
    void dispatch(const Received& job) {
        const Confines wanted = confinesOf(job.header);
        m_lastConfines = wanted;
        m_lastActivity = nowMs();
        m_answerMemory = job.header.answerMemoryHint;
        // A job that reads its file as it goes needs no memory for it ahead.
        m_inputMemory =
            job.header.inputReadAsItGoes ? 0 : std::max<qint64>(job.header.inputFileSize, 0);
        m_startsSinceJob = 0;
        for (int tries = 0; tries < 3; ++tries) {
            auto child = std::find_if(m_children.begin(), m_children.end(), [&](const Child& c) {
                return c.ready() && !c.killed && c.confines == wanted;
            });
            if (child == m_children.end()) {
                if (!start(wanted)) {
                    return;
                }
                child = m_children.end() - 1;
            }
            const bool taken = forward(child->socket, job) && jobTaken(child->socket);
            ::close(child->socket);
            child->socket = -1;
            if (taken) {
                child->deadline = nowMs() + std::max(job.header.wallMs, 1);
                return;
            }
            // Ended while it waited (killed from outside); reaped with the others.
            killChild(*child);
        }
    }

    // Keeps kReady processes ready for the confines the last job asked for, and none for others
    // beyond that: one at once, the others while no job runs, so that they do not take the
    // processor from one. One that ends while it waits is replaced, but only a few times between
    // two jobs: a process that cannot be confined here ends at once, every time.
    // While one is ready, new ones are started only once jobs have paused for kSettleMs: a
    // job that follows another at once (a metafile's render after its layout, the next file)
    // then finds the helper free, not in the middle of a fork. Returns the time after which
    // it wants to be called again, -1 for none.
    int replenish() {
        if (!m_lastConfines) {
            return -1;
        }
        const bool busy = std::any_of(m_children.begin(), m_children.end(),
                                      [](const Child& c) { return !c.ready() && !c.killed; });
        auto waiting = [this](bool wanted) {
            return std::count_if(m_children.begin(), m_children.end(), [&](const Child& c) {
                return c.ready() && !c.killed && (c.confines == *m_lastConfines) == wanted;
            });
        };
        const qint64 quiet = nowMs() - m_lastActivity;
        if (waiting(true) > 0 && quiet < kSettleMs) {
            return int(kSettleMs - quiet);
        }
        for (auto have = waiting(true);
             have < (busy ? 1 : kReady) && m_startsSinceJob < kStartsPerJob; ++have) {
            ++m_startsSinceJob;
            if (!start(*m_lastConfines)) {
                break;
            }
        }
        auto extra = waiting(true) + waiting(false) - kReady;
        for (Child& c : m_children) {
            if (extra > 0 && c.ready() && !c.killed && !(c.confines == *m_lastConfines)) {
                killChild(c);
                --extra;
            }
        }
        return -1;
    }

    // Stops the jobs past their time; the time to the next such deadline, -1 for none.
    int enforceDeadlines() {
        int timeout = -1;
        const qint64 now = nowMs();
        for (Child& child : m_children) {
            if (child.ready() || child.killed) {
                continue;
            }
            if (child.deadline <= now) {
                killChild(child);
                continue;
            }
            const int left = int(std::min<qint64>(child.deadline - now, 1 << 30));
            timeout = timeout < 0 ? left : std::min(timeout, left);
        }
        return timeout;
    }

    // Reaps what ended: job processes (whose process groups go with them, and their folders),
    // and the programs a job started that outlived it.
    void reap() {
        for (;;) {
            siginfo_t info{};
            if (::waitid(P_ALL, 0, &info, WEXITED | WNOHANG | WNOWAIT) != 0 || info.si_pid == 0) {
                return;
            }
            const pid_t pid = info.si_pid;
            const auto child = std::find_if(m_children.begin(), m_children.end(),
                                            [pid](const Child& c) { return c.pid == pid; });
            if (child != m_children.end()) {
                // Still a zombie here, so its group's number cannot have been given to another.
                ::kill(-pid, SIGKILL);
            }
            ::waitpid(pid, nullptr, 0);
            if (child != m_children.end()) {
                forget(child);
                m_lastActivity = nowMs();
            }
        }
    }

private:
    // Processes that wait, ready: two, so that a job that follows the last one at once finds
    // one too.
    static constexpr std::ptrdiff_t kReady = 2;
    static constexpr int kStartsPerJob = 2 * kReady;
    static constexpr qint64 kSettleMs = 25;

    bool start(const Confines& confines) {
        const QByteArray name = "job-" + QByteArray::number(++m_counter);
        const QByteArray path = m_root.path() + '/' + name;
        int folder = -1;
        if (::mkdirat(m_root.fd(), name.constData(), 0700) == 0) {
            folder = ::openat(m_root.fd(), name.constData(),
                              O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        }
        int pair[2] = {-1, -1};
        const bool paired =
            folder >= 0 && ::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, pair) == 0;
        const pid_t pid = paired ? ::fork() : -1;
        if (pid == 0) {
            // Nothing of the helper's but its own folder and socket: not the program's socket,
            // not the private folder, not another job's socket.
            for (int fd : m_keepOut) {
                ::close(fd);
            }
            ::close(m_root.fd());
            for (const Child& other : m_children) {
                if (other.socket >= 0) {
                    ::close(other.socket);
                }
            }
            ::close(pair[0]);
            runChild(pair[1], folder, path, confines, m_answerMemory, m_inputMemory, m_confinement,
                     m_handler, m_server);
        }
        if (folder >= 0) {
            ::close(folder);
        }
        if (paired) {
            ::close(pair[1]);
        }
        if (pid <= 0) {
            if (paired) {
                ::close(pair[0]);
            }
            ::unlinkat(m_root.fd(), name.constData(), AT_REMOVEDIR);
            return false;
        }
        m_children.push_back({pid, name, confines, pair[0], 0, false});
        return true;
    }

    void forget(std::vector<Child>::iterator child) {
        if (child->socket >= 0) {
            ::close(child->socket);
        }
        const int folder = ::openat(m_root.fd(), child->folder.constData(),
                                    O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (folder >= 0) {
            removeContents(folder, 0);
            ::close(folder);
        }
        ::unlinkat(m_root.fd(), child->folder.constData(), AT_REMOVEDIR);
        m_children.erase(child);
    }

    const PrivateFolder& m_root;
    Confinement& m_confinement;
    const SandboxHandler& m_handler;
    const std::vector<int> m_keepOut;
    const pid_t m_server;
    std::vector<Child> m_children;
    std::optional<Confines> m_lastConfines;
    int m_startsSinceJob = 0;
    qint64 m_lastActivity = 0;
    qint64 m_answerMemory = 0;
    qint64 m_inputMemory = 0;
    quint64 m_counter = 0;
};

}  // namespace

int serveSandboxJobs(int controlFd, const SandboxHandler& handler) {
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
    Children children(root, confinement, handler, {controlFd, signals});
    std::size_t warmed = 0;
    int replenishIn = -1;
    for (;;) {
        // While steps of the warm-up are left, the loop only looks for a job between two.
        const bool warming = warmed < handler.warmUp.size();
        const int deadline = children.enforceDeadlines();
        const int timeout = warming ? 0
                            : deadline < 0 || replenishIn < 0 ? std::max(deadline, replenishIn)
                                                              : std::min(deadline, replenishIn);
        pollfd fds[2] = {{controlFd, POLLIN, 0}, {signals, POLLIN, 0}};
        if (::poll(fds, 2, timeout) < 0 && errno != EINTR) {
            break;
        }
        if (fds[1].revents & POLLIN) {
            signalfd_siginfo drained[8];
            while (::read(signals, drained, sizeof drained) > 0) {
            }
            children.reap();
        }
        if (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) {
            Received job;
            const int got = receive(controlFd, &job);
            if (got == 0) {
                break;  // the program has gone
            }
            if (got > 0) {
                children.dispatch(job);
                // The job's process is now the only holder of the answer's socket besides the
                // program: the program sees its end as soon as the job ends, answered or not.
                ::close(job.input);
                ::close(job.reply);
            }
        } else if (warming) {
            handler.warmUp[warmed++]();
        }
        if (warmed == handler.warmUp.size()) {
            // Processes made ready only once warm, so that they have it all.
            replenishIn = children.replenish();
        }
    }
    return 0;
}

SandboxSupport sandboxSupport() {
    return {Confinement::landlockAbi(), Confinement::seccompAvailable()};
}

}  // namespace gv
