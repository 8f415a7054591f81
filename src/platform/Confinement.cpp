#include "platform/Confinement.h"

#include <fcntl.h>
#include <fontconfig/fontconfig.h>
#include <linux/landlock.h>
#include <sched.h>
#include <seccomp.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <QByteArray>
#include <QFileInfo>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <utility>

#include "platform/Modules.h"
#include "platform/Sandbox.h"

namespace gv {
namespace {

// Landlock's rights by the version that brought them; a ruleset may only name the rights its
// kernel knows.
constexpr quint64 kFsExecute = 1ULL << 0;
constexpr quint64 kFsWriteFile = 1ULL << 1;
constexpr quint64 kFsReadFile = 1ULL << 2;
constexpr quint64 kFsReadDir = 1ULL << 3;
constexpr quint64 kFsAbi1 = (1ULL << 13) - 1;  // execute .. make symbolic link
constexpr quint64 kFsRefer = 1ULL << 13;       // version 2
constexpr quint64 kFsTruncate = 1ULL << 14;    // version 3
constexpr quint64 kFsIoctlDev = 1ULL << 15;    // version 5
constexpr quint64 kNetBindTcp = 1ULL << 0;     // version 4
constexpr quint64 kNetConnectTcp = 1ULL << 1;
constexpr quint64 kScopeAbstractUnixSocket = 1ULL << 0;  // version 6
constexpr quint64 kScopeSignal = 1ULL << 1;
// The rights that apply to a file (rather than to a folder's entries).
constexpr quint64 kFileRights = kFsExecute | kFsWriteFile | kFsReadFile | kFsTruncate | kFsIoctlDev;

// The kernel's ruleset attribute as of version 6; older kernels read a prefix of it.
struct RulesetAttr {
    quint64 handledFs = 0;
    quint64 handledNet = 0;
    quint64 scoped = 0;
};

struct PathBeneathAttr {
    quint64 allowed;
    qint32 parentFd;
} __attribute__((packed));

quint64 handledFsRights(int abi) {
    quint64 rights = kFsAbi1;
    if (abi >= 2) {
        rights |= kFsRefer;
    }
    if (abi >= 3) {
        rights |= kFsTruncate;
    }
    if (abi >= 5) {
        rights |= kFsIoctlDev;
    }
    return rights;
}

QByteArray envOr(const char* name, const QByteArray& fallback) {
    const char* value = std::getenv(name);
    return value && *value ? QByteArray(value) : fallback;
}

// Font folders and caches as fontconfig knows them (the desktop may add its own), without the
// folders below one already listed.
std::vector<QByteArray> fontFolders() {
    std::vector<QByteArray> folders;
    FcConfig* config = FcConfigGetCurrent();
    for (FcStrList* list : {FcConfigGetFontDirs(config), FcConfigGetCacheDirs(config)}) {
        if (!list) {
            continue;
        }
        while (FcChar8* dir = FcStrListNext(list)) {
            folders.emplace_back(reinterpret_cast<const char*>(dir));
        }
        FcStrListDone(list);
    }
    std::sort(folders.begin(), folders.end());
    std::vector<QByteArray> tops;
    for (const QByteArray& f : folders) {
        if (tops.empty() || !(f == tops.back() || f.startsWith(tops.back() + '/'))) {
            tops.push_back(f);
        }
    }
    return tops;
}

bool fail(QString* why, const char* what) {
    if (why) {
        *why = QString::fromLatin1(what) + QStringLiteral(": ") +
               QString::fromLocal8Bit(std::strerror(errno));
    }
    return false;
}

qint64 mappedBytesNow() {
    FILE* statm = std::fopen("/proc/self/statm", "re");
    if (!statm) {
        return 0;
    }
    unsigned long pages = 0;
    const int read = std::fscanf(statm, "%lu", &pages);
    std::fclose(statm);
    return read == 1 ? qint64(pages) * sysconf(_SC_PAGESIZE) : 0;
}

bool setLimit(int resource, qint64 soft, qint64 hard) {
    const rlim_t most = std::numeric_limits<rlim_t>::max() / 2;
    const rlimit limit{rlim_t(std::clamp<qint64>(soft, 0, qint64(most))),
                       rlim_t(std::clamp<qint64>(hard, 0, qint64(most)))};
    return ::setrlimit(resource, &limit) == 0;
}

bool applyLimits(const SandboxLimits& limits, QString* why) {
    const qint64 extra = std::max<qint64>(limits.extraAddressSpace, 0);
    const qint64 space = mappedBytesNow() + extra;
    const int cpu = std::max(limits.cpuSeconds, 1);
    // A crash leaves no core file behind, and a job never writes a file larger than the
    // memory it may use.
    if (!setLimit(RLIMIT_CORE, 0, 0) || !setLimit(RLIMIT_AS, space, space) ||
        !setLimit(RLIMIT_CPU, cpu, cpu + 1) || !setLimit(RLIMIT_FSIZE, extra, extra)) {
        return fail(why, "setrlimit");
    }
    return true;
}

bool addRule(int ruleset, int fd, quint64 rights) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        return false;
    }
    PathBeneathAttr rule{S_ISDIR(st.st_mode) ? rights : rights & kFileRights, fd};
    if (rule.allowed == 0) {
        return true;
    }
    return ::syscall(SYS_landlock_add_rule, ruleset, LANDLOCK_RULE_PATH_BENEATH, &rule, 0) == 0;
}

bool applyLandlock(const std::vector<int>& readable, const std::vector<int>& runnable,
                   int privateFolder, bool runsPrograms, QString* why) {
    const int abi = Confinement::landlockAbi();
    if (abi <= 0) {
        return true;
    }
    RulesetAttr attr;
    attr.handledFs = handledFsRights(abi);
    std::size_t attrSize = sizeof(quint64);
    if (abi >= 4) {
        attr.handledNet = kNetBindTcp | kNetConnectTcp;
        attrSize = 2 * sizeof(quint64);
    }
    if (abi >= 6) {
        // Abstract sockets (a desktop's buses) and signals to processes outside the job.
        attr.scoped = kScopeAbstractUnixSocket | kScopeSignal;
        attrSize = sizeof attr;
    }
    const int ruleset = int(::syscall(SYS_landlock_create_ruleset, &attr, attrSize, 0));
    if (ruleset < 0) {
        return fail(why, "landlock_create_ruleset");
    }
    bool ok = true;
    const quint64 read = kFsReadFile | kFsReadDir;
    for (int fd : readable) {
        ok = ok && addRule(ruleset, fd, read);
    }
    if (runsPrograms) {
        for (int fd : runnable) {
            ok = ok && addRule(ruleset, fd, read | kFsExecute);
        }
    }
    ok = ok && addRule(ruleset, privateFolder, attr.handledFs & ~kFsExecute);
    if (!ok) {
        const int saved = errno;
        ::close(ruleset);
        errno = saved;
        return fail(why, "landlock_add_rule");
    }
    const bool restricted = ::syscall(SYS_landlock_restrict_self, ruleset, 0) == 0;
    const int saved = errno;
    ::close(ruleset);
    errno = saved;
    return restricted || fail(why, "landlock_restrict_self");
}

bool applySeccomp(bool runsPrograms, bool landlocked, QString* why) {
    if (!Confinement::seccompAvailable()) {
        return true;
    }
    // Everything the decoders, Qt, fontconfig and Ghostscript use stays allowed; what could
    // reach beyond the job is refused with an error the code handles as any refusal.
    scmp_filter_ctx ctx = seccomp_init(SCMP_ACT_ALLOW);
    if (!ctx) {
        errno = ENOMEM;
        return fail(why, "seccomp_init");
    }
    const pid_t self = ::getpid();
    int rc = 0;
    auto deny = [&](int err, int call, unsigned count = 0, scmp_arg_cmp a = {}) {
        if (rc == 0) {
            rc = count ? seccomp_rule_add(ctx, SCMP_ACT_ERRNO(err), call, 1, a)
                       : seccomp_rule_add(ctx, SCMP_ACT_ERRNO(err), call, 0);
        }
    };
    // No network, and no other sockets either: a desktop's buses and display server are
    // sockets too.
    for (int call : {SCMP_SYS(socket), SCMP_SYS(socketpair), SCMP_SYS(connect), SCMP_SYS(bind),
                     SCMP_SYS(listen), SCMP_SYS(accept), SCMP_SYS(accept4)}) {
        deny(EACCES, call);
    }
    // Other processes are out of reach: no tracing, no reading their memory, no signals but to
    // itself.
    for (int call :
         {SCMP_SYS(ptrace), SCMP_SYS(process_vm_readv), SCMP_SYS(process_vm_writev),
          SCMP_SYS(pidfd_open), SCMP_SYS(pidfd_getfd), SCMP_SYS(pidfd_send_signal), SCMP_SYS(kcmp),
          SCMP_SYS(tkill), SCMP_SYS(move_pages), SCMP_SYS(migrate_pages)}) {
        deny(EPERM, call);
    }
    // A job that starts Ghostscript must be able to stop it; Landlock's signal scope (from
    // version 6) then keeps its signals inside the job.
    if (!runsPrograms) {
        deny(EPERM, SCMP_SYS(kill), 1, SCMP_A0(SCMP_CMP_NE, scmp_datum_t(self)));
    }
    deny(EPERM, SCMP_SYS(tgkill), 1, SCMP_A0(SCMP_CMP_NE, scmp_datum_t(self)));
    deny(EPERM, SCMP_SYS(rt_sigqueueinfo), 1, SCMP_A0(SCMP_CMP_NE, scmp_datum_t(self)));
    deny(EPERM, SCMP_SYS(rt_tgsigqueueinfo), 1, SCMP_A0(SCMP_CMP_NE, scmp_datum_t(self)));
    // Kernel interfaces a decoder never needs, several of which have been ways out before:
    // io_uring runs system calls that no filter sees.
    for (int call : {SCMP_SYS(io_uring_setup),
                     SCMP_SYS(io_uring_enter),
                     SCMP_SYS(io_uring_register),
                     SCMP_SYS(userfaultfd),
                     SCMP_SYS(bpf),
                     SCMP_SYS(perf_event_open),
                     SCMP_SYS(keyctl),
                     SCMP_SYS(add_key),
                     SCMP_SYS(request_key),
                     SCMP_SYS(unshare),
                     SCMP_SYS(setns),
                     SCMP_SYS(mount),
                     SCMP_SYS(umount2),
                     SCMP_SYS(pivot_root),
                     SCMP_SYS(chroot),
                     SCMP_SYS(name_to_handle_at),
                     SCMP_SYS(open_by_handle_at),
                     SCMP_SYS(fanotify_init),
                     SCMP_SYS(personality),
                     SCMP_SYS(setrlimit),
                     SCMP_SYS(mknod),
                     SCMP_SYS(mknodat)}) {
        deny(EPERM, call);
    }
    // Landlock guards what files hold, not their mode, owner, times or extended attributes: no
    // job changes those, of its own files or any other.
    for (int call : {SCMP_SYS(chmod),     SCMP_SYS(fchmod),       SCMP_SYS(fchmodat),
                     SCMP_SYS(chown),     SCMP_SYS(fchown),       SCMP_SYS(lchown),
                     SCMP_SYS(fchownat),  SCMP_SYS(utime),        SCMP_SYS(utimes),
                     SCMP_SYS(futimesat), SCMP_SYS(utimensat),    SCMP_SYS(setxattr),
                     SCMP_SYS(lsetxattr), SCMP_SYS(fsetxattr),    SCMP_SYS(removexattr),
                     SCMP_SYS(lremovexattr), SCMP_SYS(fremovexattr)}) {
        deny(EPERM, call);
    }
    // Limits may be read, never raised again.
    deny(EPERM, SCMP_SYS(prlimit64), 1, SCMP_A2(SCMP_CMP_NE, 0));
    // Terminal requests would reach the terminal the program was started from.
    deny(ENOTTY, SCMP_SYS(ioctl));
    // Threads only, unless the job starts Ghostscript. The newer clone3 hides its flags from
    // the filter; the C library falls back to clone when it is missing.
    deny(ENOSYS, SCMP_SYS(clone3));
    if (!runsPrograms) {
        deny(EPERM, SCMP_SYS(clone), 1, SCMP_A0(SCMP_CMP_MASKED_EQ, CLONE_THREAD, 0));
        for (int call : {SCMP_SYS(fork), SCMP_SYS(vfork), SCMP_SYS(execve), SCMP_SYS(execveat)}) {
            deny(EPERM, call);
        }
    }
    if (!landlocked) {
        // Without Landlock the file system is guarded here, more coarsely: nothing is
        // created, changed or removed anywhere, so the private folder is not usable either.
        deny(ENOSYS, SCMP_SYS(openat2));  // its flags are out of the filter's sight
        for (const unsigned flag :
             {unsigned(O_WRONLY), unsigned(O_RDWR), unsigned(O_CREAT), unsigned(O_TRUNC)}) {
            deny(EACCES, SCMP_SYS(open), 1, SCMP_A1(SCMP_CMP_MASKED_EQ, flag, flag));
            deny(EACCES, SCMP_SYS(openat), 1, SCMP_A2(SCMP_CMP_MASKED_EQ, flag, flag));
        }
        for (int call :
             {SCMP_SYS(creat),     SCMP_SYS(unlink),    SCMP_SYS(unlinkat), SCMP_SYS(rename),
              SCMP_SYS(renameat),  SCMP_SYS(renameat2), SCMP_SYS(mkdir),    SCMP_SYS(mkdirat),
              SCMP_SYS(rmdir),     SCMP_SYS(link),      SCMP_SYS(linkat),   SCMP_SYS(symlink),
              SCMP_SYS(symlinkat), SCMP_SYS(truncate)}) {
            deny(EACCES, call);
        }
    }
    if (rc == 0) {
        rc = seccomp_load(ctx);
    }
    seccomp_release(ctx);
    if (rc != 0) {
        errno = -rc;
        return fail(why, "seccomp");
    }
    return true;
}

int openPath(const QByteArray& path) {
    return ::open(path.constData(), O_PATH | O_CLOEXEC);
}

}  // namespace

Confinement Confinement::prepare() {
    Confinement c;
    const QByteArray home = envOr("HOME", "/nonexistent");
    std::vector<QByteArray> readable = {
        "/usr",
        "/etc/fonts",
        "/etc/ld.so.cache",
        "/etc/localtime",
        "/etc/papersize",
        "/etc/ghostscript",
        "/var/lib/ghostscript",
        "/var/cache/fontconfig",
        "/sys/devices/system/cpu",
        home + "/.fonts",
        envOr("XDG_DATA_HOME", home + "/.local/share") + "/fonts",
        envOr("XDG_CACHE_HOME", home + "/.cache") + "/fontconfig",
        QFileInfo(executablePath()).absolutePath().toLocal8Bit(),
    };
    for (const QByteArray& f : fontFolders()) {
        readable.push_back(f);
    }
    for (const QByteArray& path : readable) {
        const int fd = openPath(path);
        if (fd >= 0) {
            c.m_readable.push_back(fd);
        }
    }
    // Ghostscript and what it loads.
    const int usr = openPath("/usr");
    if (usr >= 0) {
        c.m_runnable.push_back(usr);
    }
    return c;
}

Confinement::Confinement(Confinement&& other) noexcept
    : m_readable(std::move(other.m_readable)), m_runnable(std::move(other.m_runnable)) {
    other.m_readable.clear();
    other.m_runnable.clear();
}

Confinement& Confinement::operator=(Confinement&& other) noexcept {
    std::swap(m_readable, other.m_readable);
    std::swap(m_runnable, other.m_runnable);
    return *this;
}

Confinement::~Confinement() {
    for (int fd : m_readable) {
        ::close(fd);
    }
    for (int fd : m_runnable) {
        ::close(fd);
    }
}

bool Confinement::apply(const SandboxLimits& limits, int privateFolder, QString* why) {
    if (!applyLimits(limits, why)) {
        return false;
    }
    // Neither layer may be undone by running a program that gains privileges.
    if (::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0) {
        return fail(why, "no_new_privs");
    }
    const bool landlocked = landlockAbi() > 0;
    const bool confined =
        applyLandlock(m_readable, m_runnable, privateFolder, limits.runsPrograms, why);
    for (int fd : m_readable) {
        ::close(fd);
    }
    for (int fd : m_runnable) {
        ::close(fd);
    }
    m_readable.clear();
    m_runnable.clear();
    return confined && applySeccomp(limits.runsPrograms, landlocked, why);
}

int Confinement::landlockAbi() {
    const long abi =
        ::syscall(SYS_landlock_create_ruleset, nullptr, 0, LANDLOCK_CREATE_RULESET_VERSION);
    return abi > 0 ? int(abi) : 0;
}

bool Confinement::seccompAvailable() {
    return ::prctl(PR_GET_SECCOMP, 0, 0, 0, 0) >= 0 && seccomp_api_get() >= 1;
}

}  // namespace gv
