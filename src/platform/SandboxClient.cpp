// The program's side of Sandbox.h.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "platform/Modules.h"
#include "platform/Sandbox.h"
#include "platform/SandboxProtocol.h"

extern char** environ;

namespace gv {
namespace {

// How long the program waits for a job beyond the job's own time, which the helper enforces.
constexpr int kAnswerGraceMs = 3000;
// How long the helper gets to clean up once the program lets it go.
constexpr int kHelperExitMs = 2000;

QString errnoText(const char* what) {
    return QString::fromLatin1(what) + QStringLiteral(": ") +
           QString::fromLocal8Bit(std::strerror(errno));
}

void setFailure(QString* failure, const QString& why) {
    if (failure) {
        *failure = why;
    }
}

// Waits up to timeoutMs for the child to end; reaps it either way, killing it when it has not.
void endChild(pid_t pid, int timeoutMs) {
    const int handle = int(::syscall(SYS_pidfd_open, pid, 0));
    if (handle >= 0) {
        pollfd p{handle, POLLIN, 0};
        ::poll(&p, 1, timeoutMs);
        ::close(handle);
    }
    if (::waitpid(pid, nullptr, WNOHANG) == 0) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
    }
}

std::mutex g_sharedMutex;
std::shared_ptr<SandboxClient> g_shared;
QString g_override;

}  // namespace

SandboxClient::SandboxClient(QString program) : m_program(std::move(program)) {}

SandboxClient::~SandboxClient() {
    std::lock_guard lock(m_mutex);
    stopLocked();
}

pid_t SandboxClient::helperProcess() const {
    std::lock_guard lock(m_mutex);
    return m_helper;
}

bool SandboxClient::start(QString* failure) {
    std::lock_guard lock(m_mutex);
    return m_control >= 0 || startLocked(failure);
}

bool SandboxClient::startLocked(QString* failure) {
    const QByteArray program = QFile::encodeName(m_program);
    if (::access(program.constData(), X_OK) != 0) {
        setFailure(failure, errnoText(program.constData()));
        return false;
    }
    int pair[2];
    if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, pair) != 0) {
        setFailure(failure, errnoText("socketpair"));
        return false;
    }
    // The helper gets its end of the socket as descriptor 3 and nothing else of ours: every
    // other descriptor of the program is close-on-exec.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, pair[1], 3);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attributes, &none);
    sigset_t defaults;
    sigfillset(&defaults);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    char serve[] = "--serve";
    char* argv[] = {const_cast<char*>(program.constData()), serve, nullptr};
    pid_t pid = 0;
    const int rc = ::posix_spawn(&pid, program.constData(), &actions, &attributes, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    ::close(pair[1]);
    if (rc != 0) {
        ::close(pair[0]);
        errno = rc;
        setFailure(failure, errnoText(program.constData()));
        return false;
    }
    m_control = pair[0];
    m_helper = pid;
    return true;
}

void SandboxClient::stopLocked() {
    if (m_control >= 0) {
        // The helper ends, with its jobs, when it reads the end of its socket.
        ::close(m_control);
        m_control = -1;
    }
    if (m_helper > 0) {
        endChild(m_helper, kHelperExitMs);
        m_helper = 0;
    }
}

bool SandboxClient::sendLocked(QByteArrayView envelope, int inputFd, int replyFd) {
    return sandbox::sendWithDescriptors(m_control, envelope, inputFd, replyFd, MSG_NOSIGNAL);
}

std::optional<SandboxReply> SandboxClient::run(QByteArrayView message, const SharedMemory& input,
                                               const SandboxLimits& limits, QString* failure) {
    return run(message, SandboxInput::memory(input), limits, failure);
}

std::optional<SandboxReply> SandboxClient::run(QByteArrayView message, SandboxInput input,
                                               const SandboxLimits& limits, QString* failure) {
    int sentOn = -1;
    std::optional<SandboxReply> reply = runOnce(message, input, limits, failure, &sentOn);
    if (!reply && sentOn >= 0 && helperGone(sentOn)) {
        // The helper itself went away as the job reached it (killed, or ending): the job never
        // ran, so it goes to a new helper, once.
        reply = runOnce(message, input, limits, failure, &sentOn);
    }
    return reply;
}

bool SandboxClient::helperGone(int control) {
    std::lock_guard lock(m_mutex);
    if (m_control != control) {
        return true;  // another job found it gone and replaced it
    }
    // The helper's end of the socket closes with the helper, not with a job.
    pollfd p{m_control, POLLIN, 0};
    if (::poll(&p, 1, 0) <= 0 || !(p.revents & (POLLHUP | POLLERR))) {
        return false;
    }
    stopLocked();
    return true;
}

std::optional<SandboxReply> SandboxClient::runOnce(QByteArrayView message, SandboxInput input,
                                                   const SandboxLimits& limits, QString* failure,
                                                   int* sentOn) {
    *sentOn = -1;
    if (message.size() > kSandboxMessageMax || input.fd < 0) {
        setFailure(failure, QStringLiteral("job too large for the helper"));
        return std::nullopt;
    }
    sandbox::JobHeader header;
    header.extraAddressSpace = limits.extraAddressSpace;
    header.cpuSeconds = limits.cpuSeconds;
    header.wallMs = limits.wallMs;
    header.runsPrograms = limits.runsPrograms ? 1 : 0;
    header.messageLength = quint32(message.size());
    header.answerMemoryHint = m_lastAnswerBytes.load();
    header.inputFileSize = input.fileSize;
    header.inputReadAsItGoes = input.fileSize >= 0 && input.readAsItGoes ? 1 : 0;
    QByteArray envelope(reinterpret_cast<const char*>(&header), sizeof header);
    envelope.append(message.data(), message.size());

    int pair[2];
    if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, pair) != 0) {
        setFailure(failure, errnoText("socketpair"));
        return std::nullopt;
    }
    const int answer = pair[0];
    {
        std::lock_guard lock(m_mutex);
        bool sent =
            (m_control >= 0 || startLocked(failure)) && sendLocked(envelope, input.fd, pair[1]);
        if (!sent && m_control >= 0) {
            // The helper went away since the last job (or never came up): a new one.
            stopLocked();
            sent = startLocked(failure) && sendLocked(envelope, input.fd, pair[1]);
            if (!sent && failure && failure->isEmpty()) {
                *failure = errnoText("sending the job");
            }
        }
        ::close(pair[1]);
        if (!sent) {
            ::close(answer);
            return std::nullopt;
        }
        *sentOn = m_control;
    }

    std::vector<char> buffer(static_cast<std::size_t>(kSandboxMessageMax));
    iovec iov{buffer.data(), buffer.size()};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int) * 4)];
    msghdr msg{};
    msg.msg_iov = &iov;
    msg.msg_iovlen = 1;
    msg.msg_control = control;
    msg.msg_controllen = sizeof control;
    pollfd p{answer, POLLIN, 0};
    int ready;
    do {
        ready = ::poll(&p, 1, std::max(limits.wallMs, 0) + kAnswerGraceMs);
    } while (ready < 0 && errno == EINTR);
    const ssize_t n = ready > 0 ? ::recvmsg(answer, &msg, MSG_CMSG_CLOEXEC | MSG_DONTWAIT) : -1;
    ::close(answer);
    std::vector<int> fds;
    if (n >= 0) {
        for (cmsghdr* cm = CMSG_FIRSTHDR(&msg); cm; cm = CMSG_NXTHDR(&msg, cm)) {
            if (cm->cmsg_level == SOL_SOCKET && cm->cmsg_type == SCM_RIGHTS) {
                const std::size_t count = (cm->cmsg_len - CMSG_LEN(0)) / sizeof(int);
                for (std::size_t i = 0; i < count; ++i) {
                    int fd;
                    std::memcpy(&fd, CMSG_DATA(cm) + i * sizeof(int), sizeof fd);
                    fds.push_back(fd);
                }
            }
        }
    }
    auto refuse = [&](const QString& why) -> std::optional<SandboxReply> {
        for (int fd : fds) {
            ::close(fd);
        }
        setFailure(failure, why);
        return std::nullopt;
    };
    if (ready == 0) {
        return refuse(QStringLiteral("the decoder did not finish in time"));
    }
    if (n <= 0) {
        // The job's process ended without a word: it crashed or was stopped by its limits.
        return refuse(QStringLiteral("the decoder stopped before it finished"));
    }
    if ((msg.msg_flags & (MSG_TRUNC | MSG_CTRUNC)) || fds.size() > 1) {
        return refuse(QStringLiteral("the decoder's answer was malformed"));
    }
    SandboxReply reply;
    reply.message = QByteArray(buffer.data(), qsizetype(n));
    if (!fds.empty()) {
        std::optional<SharedMemory> memory = SharedMemory::adoptSealed(fds.front(), 0);
        fds.clear();  // adopted or closed
        if (!memory) {
            return refuse(QStringLiteral("the decoder's memory was not sealed"));
        }
        reply.memory = std::make_shared<const SharedMemory>(std::move(*memory));
        m_lastAnswerBytes = qint64(reply.memory->size());
    }
    return reply;
}

std::shared_ptr<SandboxClient> sandboxClient() {
    std::lock_guard lock(g_sharedMutex);
    if (!g_shared) {
        const QString program = g_override.isEmpty()
                                    ? QFileInfo(executablePath()).absolutePath() +
                                          QLatin1Char('/') + QLatin1StringView(kSandboxHelperName)
                                    : g_override;
        g_shared = std::make_shared<SandboxClient>(program);
    }
    return g_shared;
}

void overrideSandboxHelper(const QString& program) {
    std::lock_guard lock(g_sharedMutex);
    g_override = program;
    g_shared.reset();
}

}  // namespace gv
