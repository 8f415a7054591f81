#pragma once
// The local socket between the running instance and later starts. Only InstanceChannel.cpp
// touches QtNetwork; it is a module of its own (libglimvane_instance.so), loaded when the first
// instance starts listening (after its window is on the screen) or when a second start hands
// over, so QtNetwork and the Kerberos and proxy libraries it pulls in cost a start nothing.

#include <QByteArray>
#include <QString>
#include <functional>

class QObject;

namespace gv {

// Refused: what listens there runs as another user, and was told nothing. TooLong: the
// command line is longer than any the running instance takes.
enum class HandOverResult { NoInstance, Activated, Sent, TimedOut, Refused, TooLong };

// The longest command line handed over (a command line is a few KB at most); a connection that
// announces more is dropped before anything is read.
inline constexpr int kMaxHandOverBytes = 64 * 1024;
// At most this many connections at once, each for at most the sender's own wait: a stuck or
// hostile sender holds neither memory nor a place for long.
inline constexpr int kMaxHandOverConnections = 16;
inline constexpr int kHandOverConnectionMs = 5000;

// What the running instance does with a later start, called from the socket's handlers: each
// only takes note and returns.
struct InstanceChannelHandlers {
    std::function<bool()> windowVisible;
    std::function<void()> activate;
    std::function<void(const QByteArray&)> commandLine;
    // A connection dropped, and why (another user's, too long, too slow, too many).
    std::function<void(const QString&)> note;
};

// What the module hands back from glimvane_instance_channel(); the version guards against a
// module left over from another build.
inline constexpr int kInstanceChannelVersion = 2;
struct InstanceChannel {
    int version;
    // Listens on the socket `name` (a dead socket file there is removed first). The listener is
    // a child of `parent`, and deleting it stops the listening; nullptr when listening fails.
    QObject* (*listen)(const QString& name, InstanceChannelHandlers handlers, QObject* parent);
    // A second start's hand-over to the listener on `name`, within timeoutMs in all. While
    // nobody listens yet, the connection is tried again for as long as `keepTrying` says the
    // running instance is still on its way to listening, or while the listener is too busy
    // to take it. Nothing is sent to a listener of another user.
    HandOverResult (*handOver)(const QString& name, const QByteArray& commandLine, int timeoutMs,
                               const std::function<bool()>& keepTrying);
};

}  // namespace gv
