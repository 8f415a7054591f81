#pragma once
// Glimvane's own file-operation engine: copies, moves, renames and deletes files and whole
// folders the way the desktop's file manager does, with the guarantees the user relies on:
// - a copy is written under a temporary name in the target folder and renamed into place
//   only when complete, so no half-written file ever carries the final name;
// - a move within one volume is a rename; across volumes each file is copied, verified
//   (size, and content up to kVerifyContentLimit bytes) and only then removed at its source;
// - a failure or cancel leaves every source intact and removes the copy in flight;
// - symbolic links are copied as links, never followed;
// - a folder is never moved or copied into itself.
// The engine runs synchronously on the calling thread; questions, errors and progress go to
// a FileOpObserver. Paths are handled as the bytes the file system stores.

#include <sys/stat.h>
#include <QString>
#include <QStringList>
#include <atomic>
#include <functional>
#include <mutex>
#include <string>

#include "platform/Trash.h"

namespace gv {

// The operation codes and option flags, with the values the file manager's callers use.
enum class FileOpKind { Move = 1, Copy = 2, Delete = 3, Rename = 4 };
inline constexpr unsigned kFofSilent = 0x0004;
inline constexpr unsigned kFofRenameOnCollision = 0x0008;
inline constexpr unsigned kFofNoConfirmation = 0x0010;
inline constexpr unsigned kFofAllowUndo = 0x0040;

// Files larger than this are verified by size only when moved across volumes.
inline constexpr qint64 kVerifyContentLimit = 64LL * 1024 * 1024;

struct FileOpRequest {
    FileOpKind kind = FileOpKind::Copy;
    QStringList sources;  // full paths
    // Copy and move: a folder to put the sources into, or (one source) the full target path.
    // Rename: the new full path. Delete: unused.
    QString destination;
    unsigned flags = 0;
    bool operator==(const FileOpRequest&) const = default;
};

struct FileOpOutcome {
    bool failed = false;   // an error stopped the operation
    bool aborted = false;  // the user cancelled it
    bool ok() const { return !failed && !aborted; }
};

enum class ReplaceAnswer { Yes, YesToAll, No, Cancel };

// What a running operation has done so far; written by the engine, read by any thread.
class FileOpStatus final {
public:
    std::atomic<qint64> filesDone{0}, filesTotal{0}, bytesDone{0}, bytesTotal{0};
    void setCurrent(const QString& name) {
        const std::lock_guard lock(m_mutex);
        m_current = name;
    }
    QString current() const {
        const std::lock_guard lock(m_mutex);
        return m_current;
    }

private:
    mutable std::mutex m_mutex;
    QString m_current;
};

// Answers the engine's questions and shows its messages. Called on the engine's thread.
class FileOpObserver {
public:
    virtual ~FileOpObserver() = default;
    // The target exists: replace it with the source?
    virtual ReplaceAnswer askReplace(const QString& question) = 0;
    // Before deleting permanently: True goes on.
    virtual bool confirmDelete(const QString& question, const QString& title) = 0;
    virtual void showError(const QString& text, const QString& title) = 0;
    // After each piece of work; may cancel through the engine.
    virtual void progressed(const FileOpStatus&) {}
};

// Error numbers of the engine's own, beside errno values.
inline constexpr int kErrInsideSource = -1;
inline constexpr int kErrVerifyFailed = -2;
inline constexpr int kErrBadName = -3;
inline constexpr int kErrSameFile = -4;

// The message and its title for an error of an operation on the named entry.
QString fileOpErrorText(FileOpKind kind, const QString& name, int error);
QString fileOpErrorTitle(FileOpKind kind);
// "photo.jpg" -> "photo (2).jpg": the first such name (as stored bytes) that exists() denies.
std::string collisionFreeName(const std::string& name,
                              const std::function<bool(const std::string&)>& exists);
// The question before a permanent delete of the paths, and its title.
QString deleteQuestion(const QStringList& paths, bool firstIsFolder);
QString deleteTitle(const QStringList& paths, bool firstIsFolder);

class FileOpEngine final {
public:
    FileOpEngine(FileOpRequest request, FileOpObserver& observer);
    FileOpOutcome run();
    // From any thread: stops at the next piece of work, undoing the piece in flight.
    void cancel() { m_cancel = true; }
    const FileOpStatus& status() const { return m_status; }

private:
    enum class Step { Done, Skipped, Stop };
    Step copyEntry(const std::string& src, std::string dst, const struct stat& st, bool moving,
                   bool replace = false);
    Step copyFile(const std::string& src, const std::string& dst, const struct stat& st,
                  bool moving, bool replace);
    Step copyLink(const std::string& src, const std::string& dst, bool moving, bool replace);
    Step copyFolder(const std::string& src, const std::string& dst, const struct stat& st,
                    bool moving);
    Step moveEntry(const std::string& src, std::string dst, const struct stat& st);
    Step removeEntry(const std::string& path, const struct stat& st);
    Step renameEntry(const std::string& src, const std::string& dst);
    // A target that exists: decides to replace, rename the target, skip or stop.
    Step resolveCollision(const std::string& src, std::string& dst, const struct stat& st,
                          bool& replace);
    bool sameFolderTree(const std::string& src, const std::string& dst, bool& inside);
    Step fail(int error, const std::string& subject);
    bool cancelled();
    void scan(const std::string& path, const struct stat& st, qint64& files, qint64& bytes);
    void tick(qint64 files, qint64 bytes);
    std::string uniqueTarget(const std::string& dst);

    FileOpRequest m_request;
    FileOpObserver& m_observer;
    FileOpStatus m_status;
    std::atomic<bool> m_cancel{false};
    bool m_aborted = false;
    bool m_failed = false;
    bool m_yesToAll = false;
    Trash m_trash;
};

}  // namespace gv
