#pragma once
// One running instance per user. The lock file plays the named mutex; the local server
// plays the marked main window that a second start looks for and hands its command line to.

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>
#include <functional>
#include <memory>

#include "platform/InstanceChannel.h"

class QLockFile;

namespace gv {

inline constexpr const char* kInstanceKey = "Glimvane5419";
inline constexpr int kHandOverTimeoutMs = 5000;

// The per-user folder that holds the lock and the server socket.
QString instanceFolder();

// The instance "mutex": held from a successful acquire until release or destruction.
// A lock left behind by a crashed instance is taken over.
class InstanceLock final {
public:
    explicit InstanceLock(const QString& key = QString::fromLatin1(kInstanceKey));
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    bool tryAcquire();
    void release();
    bool held() const { return m_held; }
    QString filePath() const;
    // Whether another running process of this program holds the lock: an instance that is
    // still starting, which listens for later starts once its window is on the screen.
    bool heldByRunningInstance() const;

private:
    std::unique_ptr<QLockFile> m_file;
    QString m_path;
    bool m_held = false;
};

// Runs in the first instance and receives what later starts send. Nothing of the local socket
// is loaded before listen().
class InstanceServer final : public QObject {
    Q_OBJECT
public:
    explicit InstanceServer(std::function<bool()> windowVisible,
                            const QString& key = QString::fromLatin1(kInstanceKey),
                            QObject* parent = nullptr);
    ~InstanceServer() override;

    bool listen();
    void close();
    bool isListening() const;

Q_SIGNALS:
    // A second start without a command line found the window visible.
    void activateRequested();
    // A second start sent its command line (one NUL byte for an empty one).
    void commandLineReceived(const QByteArray& bytes);

private:
    std::function<bool()> m_windowVisible;
    QString m_name;
    QPointer<QObject> m_listener;
};

// What a second start does: ask the running instance to come to the front, or hand it the
// command line, waiting at most timeoutMs in all. An instance that holds the lock but does not
// listen yet is waited for within the same time.
HandOverResult handOverToRunningInstance(const QByteArray& commandLine,
                                         const QString& key = QString::fromLatin1(kInstanceKey),
                                         int timeoutMs = kHandOverTimeoutMs);

}  // namespace gv
