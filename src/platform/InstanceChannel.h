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

enum class HandOverResult { NoInstance, Activated, Sent, TimedOut };

// What the running instance does with a later start, called from its event loop.
struct InstanceChannelHandlers {
    std::function<bool()> windowVisible;
    std::function<void()> activate;
    std::function<void(const QByteArray&)> commandLine;
};

// What the module hands back from glimvane_instance_channel(); the version guards against a
// module left over from another build.
inline constexpr int kInstanceChannelVersion = 1;
struct InstanceChannel {
    int version;
    // Listens on the socket `name` (a dead socket file there is removed first). The listener is
    // a child of `parent`, and deleting it stops the listening; nullptr when listening fails.
    QObject* (*listen)(const QString& name, InstanceChannelHandlers handlers, QObject* parent);
    // A second start's hand-over to the listener on `name`, within timeoutMs in all. While
    // nobody listens yet, the connection is tried again for as long as `keepTrying` says the
    // running instance is still on its way to listening.
    HandOverResult (*handOver)(const QString& name, const QByteArray& commandLine, int timeoutMs,
                               const std::function<bool()>& keepTrying);
};

}  // namespace gv
