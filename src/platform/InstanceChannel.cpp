// The single instance's local socket, built as the module libglimvane_instance.so and loaded
// by SingleInstance.cpp when it is first needed.

#include "platform/InstanceChannel.h"

#include <QDeadlineTimer>
#include <QLocalServer>
#include <QLocalSocket>
#include <QThread>
#include <QtEndian>
#include <memory>

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
// Between two tries while the running instance is not listening yet.
constexpr unsigned long kRetryMs = 20;

void readHandOver(QLocalServer* server, QLocalSocket* socket,
                  const std::shared_ptr<const InstanceChannelHandlers>& handlers) {
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
        QMetaObject::invokeMethod(
            server, [handlers] { handlers->activate(); }, Qt::QueuedConnection);
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
        server, [handlers, bytes] { handlers->commandLine(bytes); }, Qt::QueuedConnection);
}

void greetConnections(QLocalServer* server,
                      const std::shared_ptr<const InstanceChannelHandlers>& handlers) {
    while (server->hasPendingConnections()) {
        QLocalSocket* socket = server->nextPendingConnection();
        QObject::connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        QObject::connect(socket, &QLocalSocket::readyRead, server,
                         [server, socket, handlers] { readHandOver(server, socket, handlers); });
        const char greeting =
            handlers->windowVisible && handlers->windowVisible() ? kVisible : kHidden;
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
    auto shared = std::make_shared<const InstanceChannelHandlers>(std::move(handlers));
    QLocalServer* s = server.get();
    QObject::connect(s, &QLocalServer::newConnection, s,
                     [s, shared] { greetConnections(s, shared); });
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
        if (socket.waitForConnected(static_cast<int>(deadline.remainingTime()))) {
            break;
        }
        if (!keepTrying || !keepTrying()) {
            return HandOverResult::NoInstance;
        }
        if (deadline.remainingTime() <= static_cast<qint64>(kRetryMs)) {
            return HandOverResult::TimedOut;
        }
        QThread::msleep(kRetryMs);
    }
    if (!waitForByte(socket, deadline)) {
        return HandOverResult::TimedOut;
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
