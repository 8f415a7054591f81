#include "platform/DirectoryReader.h"

#include <QByteArray>
#include <QFile>
#include <cerrno>
#include <memory>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace gv {

namespace {

struct DirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
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
    std::unique_ptr<DIR, DirCloser> dir(::fdopendir(fd));
    if (!dir) {
        ::close(fd);
        return false;
    }
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(dir.get());
        if (entry == nullptr) {
            return errno == 0;
        }
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
        const std::string_view name(entry->d_name);
        if (!wanted(name)) {
            continue;
        }
        if (needsStat) {
            // Follows the link: a link counts as what it points at.
            struct stat status {};
            if (::fstatat(fd, entry->d_name, &status, 0) != 0 || !S_ISREG(status.st_mode)) {
                continue;
            }
        }
        take(name);
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
