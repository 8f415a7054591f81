#pragma once
// A folder's file names read straight from its directory entries. The entry type the kernel
// reports decides what is a file, so a folder of 100 000 pictures costs no system call per
// file; only symbolic links and entries of unknown type are looked at with a stat. Paths and
// names are in the lossless text form of FileNameBytes.h.

#include <QString>
#include <QStringList>
#include <atomic>
#include <functional>
#include <string_view>

namespace gv {

struct FolderFiles {
    QStringList names;  // in their lossless text form (FileNameBytes.h), in directory order
    bool ok = false;    // false: the folder is missing, not a folder, or unreadable
};

// The regular files of a folder, symbolic links to regular files included and hidden files too;
// folders, devices, sockets, pipes and dangling links are left out.
FolderFiles readFolderFiles(const QString& folder);

using FolderFileFilter = std::function<bool(std::string_view)>;
using FolderFileSink = std::function<void(std::string_view)>;

// The same walk on names as the file system stores them. wanted() sees every name that may be a
// regular file before any system call is spent on it; take() gets the wanted names that are
// regular files, in directory order, always on the calling thread. In a big folder the reading
// goes on in a thread of its own, and wanted() is called there while take() works on the names
// read before: the two must not share anything that changes. Returns false when the folder
// cannot be opened or its reading fails part way (the names taken until then stand).
bool forEachFolderFile(const QString& folder, const FolderFileFilter& wanted,
                       const FolderFileSink& take);

struct Subfolders {
    QStringList names;  // in their lossless text form, in directory order
    bool ok = false;    // false: the folder is missing, not a folder, unreadable, or stopped
};

// The folders in a folder, hidden ones and symbolic links to folders included ("." and ".."
// left out). A set `stop` ends the reading between two blocks of entries, for a reader
// nobody waits for any more.
Subfolders readSubfolders(const QString& folder, const std::atomic<bool>* stop = nullptr);

// A stored name in its lossless text form (fileNameFromBytes).
QString decodeFileName(std::string_view name);

}  // namespace gv
