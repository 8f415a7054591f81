#pragma once
// Work on untrusted bytes in a confined helper process. The program starts the helper once
// (`gvsandbox`, beside the executable) and keeps it warm; the helper runs each job in a fresh
// process of its own, forked from it, that can reach nothing but the job's bytes: limits on
// address space, processor time and file size; no network; no files outside a folder of its
// own but the system's read-only software and fonts (Landlock); no new processes, no signals
// to others, no tracing (seccomp). The helper keeps such a process forked and confined ahead
// of the next job, waiting for it; each serves exactly one job and ends with it. A job that
// crashes, hangs or passes a limit is simply a job without an answer, and the next job runs in
// a new process. Results come back in sealed shared memory, used in place.

#include <sys/types.h>
#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "platform/SharedMemory.h"

namespace gv {

inline constexpr const char* kSandboxHelperName = "gvsandbox";
// The longest message either side sends.
inline constexpr qsizetype kSandboxMessageMax = 16 * 1024;

struct SandboxLimits {
    // Address space the job may map beyond what the helper holds when the job starts.
    qint64 extraAddressSpace = qint64(1) << 30;
    // Processor time; the kernel stops the job's process when it is used up.
    int cpuSeconds = 30;
    // The job is given up, and its processes killed, after this long.
    int wallMs = 70000;
    // Whether the job may start programs (Ghostscript), which then share its limits.
    bool runsPrograms = false;
};

struct SandboxReply {
    QByteArray message;
    // The shared memory the job handed back, sealed; null when it sent none.
    std::shared_ptr<const SharedMemory> memory;
};

// The program's side: one helper, started on the first job (or by start()) and again whenever
// it went away. Safe to use from several threads; jobs run side by side.
// What a job reads: sealed shared memory, or a file the program opened for reading, of which
// the job reads the bytes the program found there (fewer when it shrinks meanwhile). A file is
// for a job that reads its input once: the program then copies nothing.
// A job on a file may also read it as it goes (a file it needs little of: a camera's raw file,
// whose preview is a small part of it), rather than be given it whole.
struct SandboxInput {
    int fd = -1;
    qint64 fileSize = -1;  // -1 for shared memory
    bool readAsItGoes = false;

    static SandboxInput memory(const SharedMemory& m) { return {m.fd(), -1, false}; }
    static SandboxInput file(int fd, qint64 size) { return {fd, size, false}; }
    static SandboxInput fileReadAsItGoes(int fd, qint64 size) { return {fd, size, true}; }
};

// The file a job reads as it goes: the first `size` bytes of it (what the program found there),
// read with pread only, so the program's own use of the file is not disturbed.
struct SandboxFile {
    int fd = -1;
    qint64 size = 0;

    // Copies up to n bytes from offset: how many (fewer when the file has shrunk since, 0 past
    // its end), or -1 when a read fails, even part way.
    qint64 read(qint64 offset, char* to, qint64 n) const;
};

class SandboxClient final {
public:
    explicit SandboxClient(QString program);
    ~SandboxClient();
    SandboxClient(const SandboxClient&) = delete;
    SandboxClient& operator=(const SandboxClient&) = delete;

    // Runs one job on the input (sealed shared memory the job maps read-only, or a file it
    // reads) and waits for its answer. nullopt, with *failure saying why, when the helper
    // cannot be started or the job ended without answering.
    std::optional<SandboxReply> run(QByteArrayView message, const SharedMemory& input,
                                    const SandboxLimits& limits, QString* failure);
    std::optional<SandboxReply> run(QByteArrayView message, SandboxInput input,
                                    const SandboxLimits& limits, QString* failure);
    // Starts the helper ahead of the first job.
    bool start(QString* failure = nullptr);
    // The helper's process while it runs, else 0.
    pid_t helperProcess() const;
    const QString& program() const { return m_program; }

private:
    bool startLocked(QString* failure);
    void stopLocked();
    bool sendLocked(QByteArrayView envelope, int inputFd, int replyFd);
    // One try; *sentOn is the control socket the job went out on, -1 when it did not.
    std::optional<SandboxReply> runOnce(QByteArrayView message, SandboxInput input,
                                        const SandboxLimits& limits, QString* failure, int* sentOn);
    // Whether the helper the job went to through that socket has gone (and is let go).
    bool helperGone(int control);

    const QString m_program;
    mutable std::mutex m_mutex;
    int m_control = -1;
    pid_t m_helper = 0;
    std::atomic<qint64> m_lastAnswerBytes{0};
};

// The client for the program's own helper, beside the executable.
std::shared_ptr<SandboxClient> sandboxClient();
// Tests put another helper program in its place; an empty name brings the program's own back.
void overrideSandboxHelper(const QString& program);

// The helper's side.
struct SandboxHandler {
    // Run once each, in order, in the helper's long-lived process, so that what every job needs
    // (libraries, fonts, plug-in lists) is loaded once and every job's process forked after
    // has it. A job that arrives meanwhile goes first, between two steps, in a process that
    // loads for itself what it needs. Never see untrusted bytes, and must start no thread: the
    // helper forks.
    std::vector<std::function<void()>> warmUp;
    // Runs in each job's process once it is confined, while it waits for its job: what each
    // process must do for itself (Qt's painting starts threads of its own, which a fork would
    // not carry over) is then off the job's path too. Skipped when the job is there already.
    std::function<void()> whileWaiting;
    // Runs in the job's confined process. Returns the answer's message and, optionally,
    // shared memory (sealed by the sandbox before it is sent).
    std::function<QByteArray(QByteArrayView message, QByteArrayView input,
                             std::optional<SharedMemory>* memory)>
        answer;
    // The same for a job that reads its file as it goes; without it, such a job is given the
    // file whole, through `answer`.
    std::function<QByteArray(QByteArrayView message, const SandboxFile& input,
                             std::optional<SharedMemory>* memory)>
        answerFromFile;
};

// Serves jobs arriving on controlFd until the program closes it; returns the exit status.
int serveSandboxJobs(int controlFd, const SandboxHandler& handler);

// What this system lets the helper apply, besides the limits every kernel has.
struct SandboxSupport {
    int landlockAbi = 0;  // 0: no Landlock
    bool seccomp = false;
};
SandboxSupport sandboxSupport();

}  // namespace gv
