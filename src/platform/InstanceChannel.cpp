// The single instance's local socket, built as the module libglimvane_instance.so and loaded
// by SingleInstance.cpp when it is first needed.

#include "platform/InstanceChannel.h"

#include <sys/socket.h>
#include <unistd.h>

#include <QDeadlineTimer>
#include <QList>
#include <QLocalServer>
#include <QLocalSocket>
#include <QPointer>
#include <QThread>
#include <QTimer>
#include <QtEndian>
#include <memory>

namespace gv {
namespace {

// Wire format: the server greets with 'V' (window visible) or 'H' (hidden); the client
// answers 'A' (activate) or 'D' + 32-bit big-endian length + bytes; the server acknowledges
// with 'K' once it has taken the hand-over, and closes. One hand-over per connection.
constexpr char kVisible = 'V';
constexpr char kHidden = 'H';
constexpr char kActivate = 'A';
constexpr char kData = 'D';
constexpr char kAck = 'K';
constexpr int kHeaderSize = 5;
// Between two tries while the running instance is not listening yet, or is busy.
constexpr unsigned long kRetryMs = 20;

// The user the process at the other end runs as, as the system saw it connect; -1 if unknown.
long long peerUid(const QLocalSocket& socket) {
    struct ucred cred {};
    socklen_t length = sizeof cred;
    if (::getsockopt(static_cast<int>(socket.socketDescriptor()), SOL_SOCKET, SO_PEERCRED, &cred,
                     &length) != 0) {
        return -1;
    }
    return cred.uid;
}

struct Listener {
    InstanceChannelHandlers handlers;
    // The connections not yet done, oldest first.
    QList<QPointer<QLocalSocket>> open;

    void note(const QString& text) const {
        if (handlers.note) {
            handlers.note(text);
        }
    }
    void forget(QLocalSocket* socket) {
        open.removeAll(socket);
        open.removeAll(nullptr);
    }
    // Closes at once; what the connection held is freed with it.
    void drop(QLocalSocket* socket, const QString& why) {
        note(why);
        forget(socket);
        socket->disconnect();
        socket->abort();
        socket->deleteLater();
    }
    // Acknowledges the hand-over and closes once the answer is written.
    void settle(QLocalSocket* socket) {
        forget(socket);
        QObject::disconnect(socket, &QLocalSocket::readyRead, nullptr, nullptr);
        socket->write(&kAck, 1);
        socket->disconnectFromServer();
    }
};

void readHandOver(const std::shared_ptr<Listener>& listener, QLocalSocket* socket) {
    const QByteArray head = socket->peek(kHeaderSize);
    if (head.isEmpty()) {
        return;
    }
    if (head[0] == kActivate) {
        listener->settle(socket);
        listener->handlers.activate();
        return;
    }
    if (head[0] != kData) {
        listener->drop(socket, QStringLiteral("dropped a connection that is no hand-over"));
        return;
    }
    if (head.size() < kHeaderSize) {
        return;  // wait for the length
    }
    const quint32 length = qFromBigEndian<quint32>(head.constData() + 1);
    if (length == 0 || length > quint32(kMaxHandOverBytes)) {
        listener->drop(socket, QStringLiteral("dropped a command line of %1 bytes").arg(length));
        return;
    }
    if (socket->bytesAvailable() < kHeaderSize + static_cast<qint64>(length)) {
        return;
    }
    socket->skip(kHeaderSize);
    const QByteArray bytes = socket->read(length);
    // Acknowledged before it is handled: handling may wait for the user, and the second start
    // must not wait with it.
    listener->settle(socket);
    listener->handlers.commandLine(bytes);
}

void greetConnections(QLocalServer* server, const std::shared_ptr<Listener>& listener) {
    while (server->hasPendingConnections()) {
        QLocalSocket* socket = server->nextPendingConnection();
        QObject::connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        const long long uid = peerUid(*socket);
        if (uid != static_cast<long long>(::geteuid())) {
            listener->drop(
                socket, QStringLiteral("refused a connection of another user (uid %1)").arg(uid));
            continue;
        }
        // The oldest makes room: a sender that has stalled gives way to one that just came.
        listener->open.removeAll(nullptr);
        while (listener->open.size() >= kMaxHandOverConnections) {
            listener->drop(listener->open.first(),
                           QStringLiteral("dropped the oldest of too many connections"));
        }
        listener->open.append(socket);
        // Never more than one hand-over's worth is read in.
        socket->setReadBufferSize(kHeaderSize + kMaxHandOverBytes);
        QTimer::singleShot(kHandOverConnectionMs, socket, [listener, socket] {
            listener->drop(socket, QStringLiteral("dropped a connection that took too long"));
        });
        QObject::connect(socket, &QLocalSocket::readyRead, socket,
                         [listener, socket] { readHandOver(listener, socket); });
        const bool visible = listener->handlers.windowVisible && listener->handlers.windowVisible();
        const char greeting = visible ? kVisible : kHidden;
        socket->write(&greeting, 1);
        socket->flush();
    }
}

QObject* listen(const QString& name, InstanceChannelHandlers handlers, QObject* parent) {
    auto server = std::make_unique<QLocalServer>(parent);
    server->setSocketOptions(QLocalServer::UserAccessOption);
    // Only the lock holder gets here, so a socket file left behind is a dead one.
    QLocalServer::removeServer(name);
    if (!server->listen(name)) {
        return nullptr;
    }
    auto listener = std::make_shared<Listener>();
    listener->handlers = std::move(handlers);
    QLocalServer* s = server.get();
    QObject::connect(s, &QLocalServer::newConnection, s,
                     [s, listener] { greetConnections(s, listener); });
    return server.release();
}

bool waitForByte(QLocalSocket& socket, const QDeadlineTimer& deadline) {
    while (socket.bytesAvailable() < 1) {
        if (deadline.hasExpired() ||
            !socket.waitForReadyRead(static_cast<int>(deadline.remainingTime()))) {
            return false;
        }
    }
    return true;
}

HandOverResult handOver(const QString& name, const QByteArray& commandLine, int timeoutMs,
                        const std::function<bool()>& keepTrying) {
    QDeadlineTimer deadline(timeoutMs);
    QLocalSocket socket;
    for (;;) {
        socket.connectToServer(name);
        if (!socket.waitForConnected(static_cast<int>(deadline.remainingTime()))) {
            socket.abort();
            if (!keepTrying || !keepTrying()) {
                return HandOverResult::NoInstance;
            }
        } else if (peerUid(socket) != static_cast<long long>(::geteuid())) {
            // Whoever listens there is not us: not one byte of the command line goes to it.
            socket.abort();
            return HandOverResult::Refused;
        } else if (waitForByte(socket, deadline)) {
            break;
        } else if (socket.state() == QLocalSocket::ConnectedState) {
            return HandOverResult::TimedOut;
        } else {
            socket.abort();  // closed unanswered: busy with other connections
        }
        if (deadline.remainingTime() <= static_cast<qint64>(kRetryMs)) {
            return HandOverResult::TimedOut;
        }
        QThread::msleep(kRetryMs);
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
    if (!socket.waitForBytesWritten(static_cast<int>(deadline.remainingTime())) ||
        !waitForByte(socket, deadline)) {
        return HandOverResult::TimedOut;
    }
    return result;
}

}  // namespace
}  // namespace gv

extern "C" __attribute__((visibility("default"))) const gv::InstanceChannel*
glimvane_instance_channel() {
    static const gv::InstanceChannel channel{gv::kInstanceChannelVersion, &gv::listen,
                                             &gv::handOver};
    return &channel;
}
