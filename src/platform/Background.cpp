#include "platform/Background.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace gv {
namespace {

// From linux/ioprio.h, which not every system's headers carry.
constexpr int kIoprioWhoProcess = 1;
constexpr int kIoprioClassBestEffort = 2;
constexpr int kIoprioClassShift = 13;
constexpr int kIoprioLowestLevel = 7;

pid_t threadId() {
    return static_cast<pid_t>(::syscall(SYS_gettid));
}

}  // namespace

int currentThreadNice() {
    errno = 0;
    return ::getpriority(PRIO_PROCESS, static_cast<id_t>(threadId()));
}

bool enterBackgroundPriority() {
    thread_local bool done = false;
    thread_local bool result = false;
    if (done) {
        return result;
    }
    done = true;
    const pid_t tid = threadId();
    // With a thread id, PRIO_PROCESS addresses that one thread.
    const int nice = std::min(currentThreadNice() + kBackgroundNiceSteps, 19);
    result = ::setpriority(PRIO_PROCESS, static_cast<id_t>(tid), nice) == 0;
    // The disk is shared too: reading ahead waits behind the files the user opens. A refusal
    // here only costs speed.
    ::syscall(SYS_ioprio_set, kIoprioWhoProcess, tid,
              (kIoprioClassBestEffort << kIoprioClassShift) | kIoprioLowestLevel);
    return result;
}

}  // namespace gv
