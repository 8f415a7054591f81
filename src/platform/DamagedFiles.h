#pragma once
// Files of the user's that the program cannot use as they are (a settings file or a menu
// data file that is damaged, far too large, unreadable or not a file at all) are never
// deleted and never read past a sane size: they are read once through one descriptor, and
// what cannot be used is kept beside itself as `<name>.damaged` (`.damaged-2`, ... when that
// name is taken; nothing is ever replaced).

#include <sys/stat.h>
#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <optional>

namespace gv {

// A file opened once (following a link, as the user's own links are meant), never blocking
// on a pipe, and its status taken from that same descriptor.
class BoundedFile final {
public:
    enum class State { Missing, NotAFile, Unreadable, TooLarge, Readable };

    // limit: the most bytes the file may hold to be read at all.
    BoundedFile(const QString& path, qint64 limit);
    ~BoundedFile();
    BoundedFile(const BoundedFile&) = delete;
    BoundedFile& operator=(const BoundedFile&) = delete;

    State state() const { return m_state; }
    // The system's error of an unreadable file (errno).
    int error() const { return m_error; }
    // The status of what was opened (valid unless Missing or Unreadable).
    const struct stat& info() const { return m_info; }
    // Reads the whole file, at most limit + 1 bytes: a file that grew past the limit since
    // it was opened turns TooLarge, one that fails to read Unreadable, and nothing returns.
    std::optional<QByteArray> readAll();

private:
    int m_fd = -1;
    qint64 m_limit;
    State m_state = State::Missing;
    int m_error = 0;
    struct stat m_info {};
};

// Whether two statuses name the same file with the same size and time of change.
bool sameFileVersion(const struct stat& a, const struct stat& b);

// Moves whatever is at path aside to the first free `.damaged` name in its own folder. When
// expected is given and the thing moved turns out not to be that file (another process put
// a new one in its place meanwhile), it goes back, and nothing is moved. Returns where it
// now lies, or an empty string.
QString moveAside(const QString& path, const struct stat* expected = nullptr);

// Writes bytes (the file as it was read) to a new file named after `name` with the first free
// `.damaged` ending in folder, readable by the user alone, written through to the disk.
// Returns its path, or an empty string when no copy could be made.
QString keepCopyAside(const QString& folder, const QString& name, QByteArrayView bytes);

// The system's own words for an error number ("Permission denied").
QString systemErrorText(int error);

}  // namespace gv
