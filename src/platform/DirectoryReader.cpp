#include "platform/DirectoryReader.h"

#include <QByteArray>
#include <QFile>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <memory>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace gv {

namespace {

struct FdCloser {
    int fd;
    ~FdCloser() { ::close(fd); }
};

// A directory entry as getdents64 writes it.
struct DirectoryEntry {
    std::uint64_t d_ino;
    std::int64_t d_off;
    unsigned short d_reclen;
    unsigned char d_type;
    char d_name[1];  // the start of the NUL-terminated name, as long as the record allows
};

}  // namespace

bool forEachFolderFile(const QString& folder, const std::function<bool(std::string_view)>& wanted,
                       const std::function<void(std::string_view)>& take) {
    const QByteArray path = QFile::encodeName(folder);
    // An embedded NUL would silently open a different folder (the path cut short there).
    if (path.isEmpty() || path.contains('\0')) {
        return false;
    }
    const int fd = ::open(path.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    const FdCloser closer{fd};
    // The entries come in blocks straight from the kernel: readdir would hand them out one
    // call at a time from a smaller buffer.
    constexpr std::size_t kBlockBytes = 64 * 1024;
    const std::unique_ptr<char[]> block(new char[kBlockBytes]);
    for (;;) {
        const long filled = ::syscall(SYS_getdents64, fd, block.get(), kBlockBytes);
        if (filled == 0) {
            return true;
        }
        if (filled < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        for (long offset = 0; offset < filled;) {
            const char* record = block.get() + offset;
            const auto* entry = reinterpret_cast<const DirectoryEntry*>(record);
            if (entry->d_reclen == 0) {
                return false;  // a damaged block: stop rather than go round for ever
            }
            offset += entry->d_reclen;
            bool needsStat = false;
            switch (entry->d_type) {
                case DT_REG:
                    break;
                case DT_LNK:
                case DT_UNKNOWN:
                    needsStat = true;
                    break;
                default:
                    continue;
            }
            const char* nameBytes = record + offsetof(DirectoryEntry, d_name);
            const std::string_view name(nameBytes);
            if (!wanted(name)) {
                continue;
            }
            if (needsStat) {
                // Follows the link: a link counts as what it points at.
                struct stat status {};
                if (::fstatat(fd, nameBytes, &status, 0) != 0 || !S_ISREG(status.st_mode)) {
                    continue;
                }
            }
            take(name);
        }
    }
}

FolderFiles readFolderFiles(const QString& folder) {
    FolderFiles files;
    files.ok = forEachFolderFile(
        folder, [](std::string_view) { return true; },
        [&files](std::string_view name) { files.names.append(decodeFileName(name)); });
    return files;
}

QString decodeFileName(std::string_view name) {
    return QFile::decodeName(QByteArray::fromRawData(name.data(), qsizetype(name.size())));
}

}  // namespace gv
