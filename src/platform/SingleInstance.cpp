#include "platform/SingleInstance.h"

#include <signal.h>
#include <cerrno>

#include <QDir>
#include <QFileInfo>
#include <QLockFile>
#include <QStandardPaths>
#include <mutex>

#include "platform/Modules.h"
#include "platform/Trace.h"

namespace gv {
namespace {

constexpr const char* kChannelModule = "libglimvane_instance.so";
constexpr const char* kChannelEntry = "glimvane_instance_channel";

QString serverName(const QString& key) {
    return instanceFolder() + QLatin1Char('/') + key + QStringLiteral("_APPLICATION");
}

QString lockPath(const QString& key) {
    return instanceFolder() + QLatin1Char('/') + key + QStringLiteral("_APPLICATION_MUTEX");
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

}  // namespace

QString instanceFolder() {
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty()) {
        folder = QDir::tempPath();
    }
    QDir().mkpath(folder);
    return folder;
}

InstanceLock::InstanceLock(const QString& key) : m_path(lockPath(key)) {
    m_file = std::make_unique<QLockFile>(m_path);
    // A running instance holds the lock for hours: only a dead owner makes it stale.
    m_file->setStaleLockTime(0);
}

InstanceLock::~InstanceLock() {
    release();
}

bool InstanceLock::tryAcquire() {
    if (m_held) {
        return true;
    }
    m_held = m_file->tryLock(0);
    return m_held;
}

void InstanceLock::release() {
    if (m_held) {
        m_file->unlock();
        m_held = false;
    }
}

QString InstanceLock::filePath() const {
    return m_path;
}

bool InstanceLock::heldByRunningInstance() const {
    qint64 pid = 0;
    QString host;
    QString owner;
    // The lock file names its owner's process and executable.
    if (m_held || !m_file->getLockInfo(&pid, &host, &owner)) {
        return false;
    }
    return owner == QFileInfo(executablePath()).fileName() && processRuns(pid);
}

InstanceServer::InstanceServer(std::function<bool()> windowVisible, const QString& key,
                               QObject* parent)
    : QObject(parent), m_windowVisible(std::move(windowVisible)), m_name(serverName(key)) {}

InstanceServer::~InstanceServer() {
    close();
}

bool InstanceServer::listen() {
    if (m_listener) {
        return true;
    }
    const InstanceChannel* c = channel();
    if (!c) {
        return false;
    }
    InstanceChannelHandlers handlers{
        m_windowVisible, [this] { Q_EMIT activateRequested(); },
        [this](const QByteArray& bytes) { Q_EMIT commandLineReceived(bytes); }};
    m_listener = c->listen(m_name, std::move(handlers), this);
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
    if (!c) {
        return HandOverResult::NoInstance;
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
    return c->handOver(serverName(key), commandLine, timeoutMs, starting);
}

}  // namespace gv
