#include "platform/SingleInstance.h"

#include <fcntl.h>
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>

#include <QFileInfo>
#include <QLockFile>
#include <mutex>

#include "platform/FileNameBytes.h"
#include "platform/Modules.h"
#include "platform/Trace.h"

namespace gv {
namespace {

constexpr const char* kChannelModule = "libglimvane_instance.so";
constexpr const char* kChannelEntry = "glimvane_instance_channel";
constexpr mode_t kPrivateMode = 0700;

QString serverName(const QString& key) {
    return key + QStringLiteral("_APPLICATION");
}

QString lockName(const QString& key) {
    return key + QStringLiteral("_APPLICATION_MUTEX");
}

QString inInstanceFolder(const QString& name) {
    const PrivateFolder& folder = instanceFolder();
    return folder.isValid() ? folder.path() + QLatin1Char('/') + name : QString();
}

const InstanceChannel* channel() {
    static std::once_flag once;
    static const InstanceChannel* loaded = nullptr;
    std::call_once(once, [] {
        using Entry = const InstanceChannel* (*)();
        const auto entry = reinterpret_cast<Entry>(moduleEntry(kChannelModule, kChannelEntry));
        const InstanceChannel* c = entry ? entry() : nullptr;
        loaded = c && c->version == kInstanceChannelVersion ? c : nullptr;
    });
    return loaded;
}

bool processRuns(qint64 pid) {
    return pid > 0 && (::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM);
}

bool isPrivate(const struct stat& st) {
    return S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() && (st.st_mode & 077) == 0;
}

// Opens the folder `name` below `parent` (made with mode 0700 when missing), never through a
// symbolic link.
int openChild(int parent, const char* name) {
    if (::mkdirat(parent, name, kPrivateMode) != 0 && errno != EEXIST) {
        return -1;
    }
    return ::openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

// mkdir -p, new folders private as the cache folder's rules ask.
void makePath(const QByteArray& path) {
    for (qsizetype slash = path.indexOf('/', 1); slash != -1;
         slash = path.indexOf('/', slash + 1)) {
        ::mkdir(path.left(slash).constData(), kPrivateMode);
    }
    ::mkdir(path.constData(), kPrivateMode);
}

QString errorText(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

QByteArray cacheHome() {
    const QByteArray xdg = qgetenv("XDG_CACHE_HOME");
    if (xdg.startsWith('/')) {
        return xdg;
    }
    QByteArray home = qgetenv("HOME");
    if (!home.startsWith('/')) {
        const struct passwd* pw = ::getpwuid(::geteuid());
        home = pw && pw->pw_dir ? QByteArray(pw->pw_dir) : QByteArray();
    }
    return home.startsWith('/') ? home + "/.cache" : QByteArray();
}

}  // namespace

PrivateFolder PrivateFolder::choose(const QByteArray& runtimeDir, const QByteArray& cacheHome) {
    PrivateFolder folder;
    QByteArray opened;
    int fd = -1;
    if (runtimeDir.startsWith('/')) {
        fd = ::open(runtimeDir.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        struct stat st {};
        if (fd >= 0 && (::fstat(fd, &st) != 0 || !isPrivate(st))) {
            ::close(fd);
            fd = -1;
        }
        opened = runtimeDir;
    }
    if (fd < 0) {
        // The runtime folder is missing or others can enter it (a shared temporary folder
        // would let another user take the lock first): a folder of our own in the cache.
        if (!cacheHome.startsWith('/')) {
            folder.m_problem = QStringLiteral(
                "there is no private folder for the lock ($XDG_RUNTIME_DIR is "
                "not one and there is no cache folder)");
            return folder;
        }
        opened = cacheHome + "/Glimvane/runtime";
        makePath(cacheHome);
        const int base = ::open(cacheHome.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        const int parent = base >= 0 ? openChild(base, "Glimvane") : -1;
        fd = parent >= 0 ? openChild(parent, "runtime") : -1;
        const int error = errno;
        for (const int f : {base, parent}) {
            if (f >= 0) {
                ::close(f);
            }
        }
        struct stat st {};
        const bool held = fd >= 0 && ::fstat(fd, &st) == 0;
        // A link or a file in its place is refused below, like a folder of another user.
        if (!held && error != ELOOP && error != ENOTDIR) {
            folder.m_problem = QStringLiteral("the folder %1 cannot be used (%2)")
                                   .arg(fileNameFromBytes(opened), errorText(error));
            if (fd >= 0) {
                ::close(fd);
            }
            return folder;
        }
        // Ours but opened up by hand: closed again through the handle just checked.
        if (held && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() && (st.st_mode & 077) != 0 &&
            ::fchmod(fd, kPrivateMode) == 0) {
            st.st_mode = (st.st_mode & ~07777) | kPrivateMode;
        }
        if (!held || !isPrivate(st)) {
            folder.m_problem = QStringLiteral(
                                   "the folder %1 is not a private folder of this user (it "
                                   "belongs to another user or is not a real folder)")
                                   .arg(fileNameFromBytes(opened));
            if (fd >= 0) {
                ::close(fd);
            }
            return folder;
        }
    }
    folder.m_fd = fd;
    // Every later use goes through the handle: the same folder, whatever happens to its name.
    const QByteArray viaHandle = "/proc/self/fd/" + QByteArray::number(fd);
    struct stat held {};
    struct stat named {};
    if (::fstat(fd, &held) == 0 && ::stat(viaHandle.constData(), &named) == 0 &&
        held.st_dev == named.st_dev && held.st_ino == named.st_ino) {
        folder.m_path = QString::fromLatin1(viaHandle);
    } else if (!holdsRawBytes(fileNameFromBytes(opened))) {
        folder.m_path = fileNameFromBytes(opened);  // no /proc: the name just checked
    } else {
        folder = PrivateFolder();
        folder.m_problem = QStringLiteral("the folder %1 cannot be named without /proc")
                               .arg(fileNameFromBytes(opened));
    }
    return folder;
}

PrivateFolder::PrivateFolder(PrivateFolder&& other) noexcept
    : m_fd(std::exchange(other.m_fd, -1)),
      m_path(std::move(other.m_path)),
      m_problem(std::move(other.m_problem)) {}

PrivateFolder& PrivateFolder::operator=(PrivateFolder&& other) noexcept {
    if (this != &other) {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
        m_fd = std::exchange(other.m_fd, -1);
        m_path = std::move(other.m_path);
        m_problem = std::move(other.m_problem);
    }
    return *this;
}

PrivateFolder::~PrivateFolder() {
    if (m_fd >= 0) {
        ::close(m_fd);
    }
}

QString PrivateFolder::realPath() const {
    if (m_fd < 0) {
        return QString();
    }
    char buffer[4096];
    const QByteArray link = "/proc/self/fd/" + QByteArray::number(m_fd);
    const ssize_t n = ::readlink(link.constData(), buffer, sizeof buffer);
    return n > 0 ? fileNameFromBytes(std::string_view(buffer, size_t(n))) : m_path;
}

long long PrivateFolder::ownerOf(const QByteArray& name, bool* regular) const {
    struct stat st {};
    if (m_fd < 0 || ::fstatat(m_fd, name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        return -1;
    }
    if (regular) {
        *regular = S_ISREG(st.st_mode);
    }
    return st.st_uid;
}

const PrivateFolder& instanceFolder() {
    // Held until the process ends: the lock is released through it at the very end.
    static const PrivateFolder* folder =
        new PrivateFolder(PrivateFolder::choose(qgetenv("XDG_RUNTIME_DIR"), cacheHome()));
    return *folder;
}

InstanceLock::InstanceLock(const QString& key) : m_key(key) {
    if (instanceFolder().isValid()) {
        m_file = std::make_unique<QLockFile>(inInstanceFolder(lockName(key)));
        // A running instance holds the lock for hours: only a dead owner makes it stale.
        m_file->setStaleLockTime(0);
    }
}

InstanceLock::~InstanceLock() {
    release();
}

bool InstanceLock::tryAcquire() {
    if (!m_held && m_file) {
        m_held = m_file->tryLock(0);
    }
    return m_held;
}

void InstanceLock::release() {
    if (m_held) {
        m_file->unlock();
        m_held = false;
    }
}

QString InstanceLock::filePath() const {
    return inInstanceFolder(lockName(m_key));
}

QString InstanceLock::problem() const {
    const PrivateFolder& folder = instanceFolder();
    if (!folder.isValid()) {
        return folder.problem();
    }
    bool regular = false;
    const QString name = lockName(m_key);
    const long long owner = m_held ? -1 : folder.ownerOf(name.toLatin1(), &regular);
    if (owner >= 0 && (owner != ::geteuid() || !regular)) {
        // Only the superuser can put it in our private folder (a program run with sudo that
        // kept this user's environment, say): it marks no instance of ours.
        return QStringLiteral("the lock %1/%2 belongs to another user")
            .arg(folder.realPath(), name);
    }
    return QString();
}

bool InstanceLock::heldByRunningInstance() const {
    qint64 pid = 0;
    QString host;
    QString owner;
    // The lock file names its owner's process and executable.
    if (m_held || !m_file || !problem().isEmpty() || !m_file->getLockInfo(&pid, &host, &owner)) {
        return false;
    }
    return owner == QFileInfo(executablePath()).fileName() && processRuns(pid);
}

InstanceServer::InstanceServer(std::function<bool()> windowVisible, const QString& key,
                               QObject* parent)
    : QObject(parent), m_windowVisible(std::move(windowVisible)), m_key(key) {}

InstanceServer::~InstanceServer() {
    close();
}

bool InstanceServer::listen() {
    if (m_listener) {
        return true;
    }
    const InstanceChannel* c = channel();
    const QString name = inInstanceFolder(serverName(m_key));
    if (!c || name.isEmpty()) {
        return false;
    }
    InstanceChannelHandlers handlers{
        m_windowVisible, [this] { Q_EMIT activateRequested(); },
        [this](const QByteArray& bytes) { Q_EMIT commandLineReceived(bytes); },
        [](const QString& note) { trace(QStringLiteral("hand-over: ") + note); }};
    m_listener = c->listen(name, std::move(handlers), this);
    return m_listener != nullptr;
}

void InstanceServer::close() {
    delete m_listener.data();
}

bool InstanceServer::isListening() const {
    return m_listener != nullptr;
}

HandOverResult handOverToRunningInstance(const QByteArray& commandLine, const QString& key,
                                         int timeoutMs) {
    const InstanceChannel* c = channel();
    const QString name = inInstanceFolder(serverName(key));
    if (!c || name.isEmpty()) {
        return HandOverResult::NoInstance;
    }
    if (commandLine.size() > kMaxHandOverBytes) {
        return HandOverResult::TooLong;
    }
    const InstanceLock lock(key);
    bool waiting = false;
    const auto starting = [&] {
        if (!lock.heldByRunningInstance()) {
            return false;
        }
        if (!waiting) {
            waiting = true;
            trace(QStringLiteral("hand-over: waiting for the running instance"));
        }
        return true;
    };
    return c->handOver(name, commandLine, timeoutMs, starting);
}

}  // namespace gv
