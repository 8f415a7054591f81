#include "platform/SingleInstance.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QStandardPaths>
#include <QtEndian>

namespace gv {
namespace {

// Wire format: the server greets with 'V' (window visible) or 'H' (hidden); the client
// answers 'A' (activate) or 'D' + 32-bit big-endian length + bytes; the server acknowledges
// with 'K' once the hand-over has been handled.
constexpr char kVisible = 'V';
constexpr char kHidden = 'H';
constexpr char kActivate = 'A';
constexpr char kData = 'D';
constexpr char kAck = 'K';
constexpr quint32 kMaxCommandLine = 1u << 20;

QString serverName(const QString& key) {
    return instanceFolder() + QLatin1Char('/') + key + QStringLiteral("_APPLICATION");
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

InstanceLock::InstanceLock(const QString& key)
    : m_path(instanceFolder() + QLatin1Char('/') + key + QStringLiteral("_APPLICATION_MUTEX")) {
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

InstanceServer::InstanceServer(std::function<bool()> windowVisible, const QString& key,
                               QObject* parent)
    : QObject(parent), m_windowVisible(std::move(windowVisible)), m_name(serverName(key)) {}

InstanceServer::~InstanceServer() {
    close();
}

bool InstanceServer::listen() {
    if (m_server) {
        return true;
    }
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    // Only the lock holder gets here, so a socket file left behind is a dead one.
    QLocalServer::removeServer(m_name);
    if (!m_server->listen(m_name)) {
        delete m_server;
        m_server = nullptr;
        return false;
    }
    connect(m_server, &QLocalServer::newConnection, this, &InstanceServer::onConnection);
    return true;
}

void InstanceServer::close() {
    if (m_server) {
        m_server->close();
        delete m_server;
        m_server = nullptr;
    }
}

bool InstanceServer::isListening() const {
    return m_server && m_server->isListening();
}

void InstanceServer::onConnection() {
    while (m_server && m_server->hasPendingConnections()) {
        QLocalSocket* socket = m_server->nextPendingConnection();
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { onReadable(socket); });
        const char greeting = m_windowVisible && m_windowVisible() ? kVisible : kHidden;
        socket->write(&greeting, 1);
        socket->flush();
    }
}

void InstanceServer::onReadable(QLocalSocket* socket) {
    const QByteArray head = socket->peek(5);
    if (head.isEmpty()) {
        return;
    }
    if (head[0] == kActivate) {
        socket->read(1);
        socket->write(&kAck, 1);
        socket->flush();
        // Handled from the event loop: the handler runs events itself, and the socket may be
        // gone by then.
        QMetaObject::invokeMethod(this, &InstanceServer::activateRequested, Qt::QueuedConnection);
        return;
    }
    if (head[0] != kData) {
        socket->abort();
        return;
    }
    if (head.size() < 5) {
        return;  // wait for the length
    }
    const quint32 length = qFromBigEndian<quint32>(head.constData() + 1);
    if (length == 0 || length > kMaxCommandLine) {
        socket->abort();
        return;
    }
    if (socket->bytesAvailable() < 5 + static_cast<qint64>(length)) {
        return;
    }
    socket->read(5);
    const QByteArray bytes = socket->read(length);
    // Acknowledge before handling: the handler may open modal windows, and the second
    // start must not wait for the user.
    socket->write(&kAck, 1);
    socket->flush();
    QMetaObject::invokeMethod(
        this, [this, bytes] { Q_EMIT commandLineReceived(bytes); }, Qt::QueuedConnection);
}

HandOverResult handOverToRunningInstance(const QByteArray& commandLine, const QString& key,
                                         int timeoutMs) {
    QDeadlineTimer deadline(timeoutMs);
    QLocalSocket socket;
    socket.connectToServer(serverName(key));
    if (!socket.waitForConnected(static_cast<int>(deadline.remainingTime()))) {
        return HandOverResult::NoInstance;
    }
    while (socket.bytesAvailable() < 1) {
        if (deadline.hasExpired() ||
            !socket.waitForReadyRead(static_cast<int>(deadline.remainingTime()))) {
            return HandOverResult::TimedOut;
        }
    }
    char greeting = 0;
    socket.read(&greeting, 1);

    QByteArray message;
    HandOverResult result = HandOverResult::Sent;
    if (greeting == kVisible && commandLine.isEmpty()) {
        message.append(kActivate);
        result = HandOverResult::Activated;
    } else {
        const QByteArray payload = commandLine.isEmpty() ? QByteArray(1, '\0') : commandLine;
        char length[4];
        qToBigEndian<quint32>(static_cast<quint32>(payload.size()), length);
        message.append(kData).append(length, 4).append(payload);
    }
    socket.write(message);
    if (!socket.waitForBytesWritten(static_cast<int>(deadline.remainingTime()))) {
        return HandOverResult::TimedOut;
    }
    while (socket.bytesAvailable() < 1) {
        if (deadline.hasExpired() ||
            !socket.waitForReadyRead(static_cast<int>(deadline.remainingTime()))) {
            return HandOverResult::TimedOut;
        }
    }
    return result;
}

}  // namespace gv
