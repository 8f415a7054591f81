#pragma once
// Glimvane's own file-operation engine: copies, moves, renames and deletes files and whole
// folders the way the desktop's file manager does, with the guarantees the user relies on:
// - a copy is written under a temporary name in the target folder and renamed into place
//   only when complete, so no half-written file ever carries the final name; what a killed
//   copy leaves is removed by the next operation into that folder;
// - a move within one volume is a rename; across volumes each file is copied, read back from
//   the disk and compared by checksum with what was read from its source, and the source is
//   removed only when it is still the file that was copied, unchanged;
// - a failure or cancel leaves every source intact and removes the copy in flight;
// - symbolic links are copied as links, never followed; trees are walked through file
//   descriptors, so a folder swapped for a link meanwhile never leads the work elsewhere;
// - a folder is never moved or copied into itself, under whatever path it is seen.
// The engine runs synchronously on the calling thread; questions, errors and progress go to
// a FileOpObserver. Paths are handled as the bytes the file system stores.

#include <sys/stat.h>
#include <QString>
#include <QStringList>
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/Trash.h"

namespace gv {

class Checksum;
class ReadBack;

// The operation codes and option flags, with the values the file manager's callers use.
enum class FileOpKind { Move = 1, Copy = 2, Delete = 3, Rename = 4 };
inline constexpr unsigned kFofSilent = 0x0004;
inline constexpr unsigned kFofRenameOnCollision = 0x0008;
inline constexpr unsigned kFofNoConfirmation = 0x0010;
inline constexpr unsigned kFofAllowUndo = 0x0040;

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
inline constexpr int kErrChanged = -5;  // another process changed the entry meanwhile

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
    // An entry is its name in a folder open as a descriptor; st is what was seen there.
    Step copyEntry(int from, const std::string& name, const struct stat& st, int to,
                   std::string target, bool moving, bool replace = false);
    Step copyFile(int from, const std::string& name, const struct stat& st, int to,
                  const std::string& target, bool moving, bool replace);
    Step copyLink(int from, const std::string& name, const struct stat& st, int to,
                  const std::string& target, bool moving, bool replace);
    Step copyFolder(int from, const std::string& name, const struct stat& st, int to,
                    const std::string& target, bool moving);
    Step moveEntry(int from, const std::string& name, const struct stat& st, int to,
                   std::string target);
    Step removeEntry(int folder, const std::string& name, const struct stat& st);
    Step renameEntry(const std::string& src, const std::string& dst);
    // Removes the source entry of a move if it is still the object that was moved.
    Step removeMoved(int folder, const std::string& name, const struct stat& st, int flags);
    // Copies the open file's bytes; with a checksum, through memory so each byte is summed,
    // and onto the disk as it goes, where back may read it again.
    int transfer(int in, int out, qint64& copied, Checksum* sum, ReadBack* back);
    // A moved file's copy read back from the disk (by back, if it is given), and its source
    // checked to be unchanged.
    int verifyMoved(int in, const struct stat& opened, const struct timespec& openedAt, int out,
                    qint64 copied, uint64_t sum, ReadBack* back);
    // A target that exists: decides to replace, rename the target, skip or stop.
    Step resolveCollision(const std::string& name, const struct stat& st, int to,
                          std::string& target, bool& replace);
    Step fail(int error, const std::string& name);
    bool cancelled();
    void scan(int folder, const std::string& name, const struct stat& st, qint64& files,
              qint64& bytes);
    void tick(qint64 files, qint64 bytes);
    std::string uniqueName(int folder, const std::string& name);
    // Once per operation and folder: what killed copies left there goes.
    void sweep(int folder);

    FileOpRequest m_request;
    FileOpObserver& m_observer;
    FileOpStatus m_status;
    std::atomic<bool> m_cancel{false};
    bool m_aborted = false;
    bool m_failed = false;
    bool m_yesToAll = false;
    Trash m_trash;
    std::set<std::pair<dev_t, ino_t>> m_swept;  // folders already cleaned, or made by us
    std::set<std::pair<dev_t, ino_t>> m_made;   // folders this operation made
    std::vector<char> m_buffer;
};

}  // namespace gv
