#pragma once
// One running instance per user. The lock file plays the named mutex; the local server
// plays the marked main window that a second start looks for and hands its command line to.
// Both live in a folder that only this user can enter, and each end of a connection checks
// that the other runs as this user: nobody else can block the start or read a command line.

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

// A folder checked to be this user's alone (a real directory, owned by the user, no access
// for group or others) and held open, so that renaming it or putting a symbolic link in its
// place cannot send the lock or the socket elsewhere: path() reaches it through this
// process's own handle.
class PrivateFolder final {
public:
    // `runtimeDir` when it is such a folder, else the folder "Glimvane/runtime" under
    // `cacheHome`, made private if it is not yet (empty arguments stand for unset variables).
    static PrivateFolder choose(const QByteArray& runtimeDir, const QByteArray& cacheHome);
    PrivateFolder() = default;
    PrivateFolder(PrivateFolder&& other) noexcept;
    PrivateFolder& operator=(PrivateFolder&& other) noexcept;
    ~PrivateFolder();

    bool isValid() const { return m_fd >= 0; }
    // The folder as the program's own calls name it; empty when not valid.
    QString path() const { return m_path; }
    // The folder's real place, for messages (its bytes in text form).
    QString realPath() const;
    // Why no folder could be used; empty when valid.
    QString problem() const { return m_problem; }
    // The owner of the entry `name` in the folder (not following a symbolic link), or -1 when
    // there is none; *regular says whether it is a plain file.
    long long ownerOf(const QByteArray& name, bool* regular = nullptr) const;

private:
    int m_fd = -1;
    QString m_path;
    QString m_problem;
};

// The folder of this process's lock and socket: $XDG_RUNTIME_DIR or the private cache folder,
// chosen once.
const PrivateFolder& instanceFolder();

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
    // Why the lock cannot play its part (no private folder, or a lock file of another user):
    // the program then runs without the single instance. Empty when the lock is usable.
    QString problem() const;
    // Whether another running process of this program holds the lock: an instance that is
    // still starting, which listens for later starts once its window is on the screen.
    bool heldByRunningInstance() const;

private:
    std::unique_ptr<QLockFile> m_file;
    QString m_key;
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
    // A second start sent its command line (one NUL byte for an empty one). Emitted from the
    // socket's handler: a receiver queues it and returns.
    void commandLineReceived(const QByteArray& bytes);

private:
    std::function<bool()> m_windowVisible;
    QString m_key;
    QPointer<QObject> m_listener;
};

// What a second start does: ask the running instance to come to the front, or hand it the
// command line, waiting at most timeoutMs in all. An instance that holds the lock but does not
// listen yet is waited for within the same time.
HandOverResult handOverToRunningInstance(const QByteArray& commandLine,
                                         const QString& key = QString::fromLatin1(kInstanceKey),
                                         int timeoutMs = kHandOverTimeoutMs);

}  // namespace gv
