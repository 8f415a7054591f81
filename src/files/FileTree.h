#pragma once
// Folder trees walked and changed through file descriptors. Another process may rename,
// replace or re-link any entry at any moment, so an entry is always named relative to the
// descriptor of the folder it was found in, opened without following a link, and checked to
// be the object that was seen; a path string is resolved once, where the user named it.

#include <sys/stat.h>
#include <string>
#include <utility>
#include <vector>

#include "platform/Fd.h"

namespace gv {

inline bool sameObject(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// A folder the user named by its path (for the *at calls only). Sets errno when it fails.
Fd openFolderPath(const std::string& path);
// The entry of a folder, never following a link: 0 or the errno.
int statAt(int folder, const std::string& name, struct stat& st);
// The folder entry, opened for listing, never through a link. Sets errno when it fails.
Fd openFolderAt(int folder, const std::string& name);
// The names in an open folder, "." and ".." left out.
std::vector<std::string> entriesOf(int folder, int& error);
// Whether the open folder is `ancestor` or lies below it, found by walking up through "..",
// so that a bind mount or a link that shows the same folder under another path counts too.
bool isWithin(int folder, const struct stat& ancestor);
// Whether the open file lives in memory only (tmpfs, ramfs): no disk holds it.
bool isInMemory(int fd);
// Puts the entry `from` in the place of `to` (both in `folder`); without replace an existing
// `to` is never overwritten. 0 or the errno.
int commitAt(int folder, const std::string& from, const std::string& to, bool replace);

// A copy in flight: a hidden file in the target folder, locked (flock) for as long as its
// writer lives, so that a later operation can tell it from one left by a killed process. It
// is removed unless committed under its final name.
class PartFile final {
public:
    PartFile() = default;
    PartFile(const PartFile&) = delete;
    PartFile& operator=(const PartFile&) = delete;
    ~PartFile();
    int create(int folder);  // 0 or the errno
    int fd() const { return m_file.get(); }
    // Closes the writing descriptor (the lock stays): 0, or the errno of a late write error.
    int finishWriting();
    int commit(const std::string& name, bool replace);  // 0 or the errno
    int lockedFd() const { return m_lock.get(); }

private:
    int m_folder = -1;
    std::string m_name;
    Fd m_file, m_lock;
};

// Whether the name is one a copy in flight or a link in flight has.
bool isPartName(const std::string& name);
// The temporary name of a link in flight: it carries the process id, since a link cannot be
// locked.
std::string linkPartName(int attempt);
// Removes what copies killed in the middle left in the folder: files of our naming whose lock
// is free and links of our naming whose process has ended, owned by this user. A file another
// running operation is writing is locked and stays.
void removeStaleParts(int folder);

}  // namespace gv
