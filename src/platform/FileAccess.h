#pragma once
// Questions about files and opening them, by the bytes of their names. Paths arrive in the
// lossless text form of FileNameBytes.h; these are the functions to use wherever a path may
// name a user's file (Qt's QFileInfo, QFile and QDir would re-encode a name that is not UTF-8
// and find its look-alike).

#include <sys/stat.h>
#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <optional>

class QFile;

namespace gv {

// stat() of the path (lstat() when followLinks is false); nothing when it cannot be reached.
std::optional<struct stat> statPath(const QString& path, bool followLinks = true);
// A regular file, or a link to one.
bool isRegularFile(const QString& path);
// A folder, or a link to one.
bool isFolder(const QString& path);
// Anything at all by that name, a dangling link included.
bool pathExists(const QString& path);

// The path a file dialog of the desktop gives back stands for a path whose names need not be
// UTF-8: such dialogs show (and return) each odd byte as U+FFFD. Finds the entries those names
// stand for, by their bytes: a name with U+FFFD is looked up among its folder's entries by the
// way they show. A name found nowhere is kept as given (a new file's name); nothing is returned
// when a name stands for two entries or more ("b\xff.jpg" beside a real "b\uFFFD.jpg").
std::optional<QString> resolveShownPath(const QString& shown);

// Opens the file for reading into file (which then owns the descriptor). errno tells why not.
bool openForReading(QFile& file, const QString& path);
// The same as a raw descriptor (-1 on failure), close-on-exec.
int openForReadingFd(const QString& path);

// Writes a file the way a careful program does: into a new temporary file beside it, flushed
// to the disk, then renamed over the name, so that the old file stays whole until the new one
// is complete and a failure leaves nothing behind. The new file gets the mode of the one it
// replaces (0666 less the umask when there was none). Returns 0 or the errno value it failed
// with (ENOSPC for a full disk).
int writeFileAtomically(const QString& path, const QByteArray& bytes);

// Writes all of `bytes` to `fd`, again after an interrupted or partial write. False with errno
// set when it cannot (ENOSPC when the system takes no more).
bool writeAll(int fd, QByteArrayView bytes);

}  // namespace gv
