#include "files/FileTree.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/magic.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/vfs.h>
#include <unistd.h>
#include <cerrno>
#include <charconv>
#include <cstring>

namespace gv {
namespace {

constexpr char kPartPrefix[] = ".gvpart-";
constexpr size_t kPartPrefixSize = sizeof kPartPrefix - 1;
constexpr size_t kPartRandomSize = 6;

std::string randomPartName() {
    static const char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    unsigned char bytes[kPartRandomSize] = {};
    if (::getrandom(bytes, sizeof bytes, 0) != ssize_t(sizeof bytes)) {
        for (unsigned char& b : bytes) {
            b = static_cast<unsigned char>(::random());
        }
    }
    std::string name = kPartPrefix;
    for (const unsigned char b : bytes) {
        name += kLetters[b % (sizeof kLetters - 1)];
    }
    return name;
}

// The process id in a link's temporary name ".gvpart-<pid>-<n>", or 0.
pid_t linkPartOwner(const std::string& name) {
    const char* p = name.data() + kPartPrefixSize;
    const char* end = name.data() + name.size();
    pid_t pid = 0;
    const auto [afterPid, error] = std::from_chars(p, end, pid);
    if (error != std::errc() || afterPid == p || afterPid == end || *afterPid != '-') {
        return 0;
    }
    unsigned attempt = 0;
    const auto [afterAttempt, error2] = std::from_chars(afterPid + 1, end, attempt);
    return error2 == std::errc() && afterAttempt == end && afterAttempt != afterPid + 1 ? pid : 0;
}

bool isFilePartName(const std::string& name) {
    if (name.size() != kPartPrefixSize + kPartRandomSize || !name.starts_with(kPartPrefix)) {
        return false;
    }
    for (size_t i = kPartPrefixSize; i < name.size(); ++i) {
        const char c = name[i];
        if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'))) {
            return false;
        }
    }
    return true;
}

// The entry is still the object open as fd.
bool entryIs(int folder, const std::string& name, int fd) {
    struct stat open {
    }, entry{};
    return ::fstat(fd, &open) == 0 && statAt(folder, name, entry) == 0 && sameObject(open, entry);
}

}  // namespace

Fd openFolderPath(const std::string& path) {
    return Fd(::open(path.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
}

int statAt(int folder, const std::string& name, struct stat& st) {
    return ::fstatat(folder, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 ? 0 : errno;
}

Fd openFolderAt(int folder, const std::string& name) {
    return Fd(::openat(folder, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
}

std::vector<std::string> entriesOf(int folder, int& error) {
    std::vector<std::string> names;
    // The listing gets a descriptor of its own (closedir() closes it), readable even when the
    // folder's is for the *at calls only.
    const int fd = ::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR* dir = fd >= 0 ? ::fdopendir(fd) : nullptr;
    if (!dir) {
        error = errno;
        if (fd >= 0) {
            ::close(fd);
        }
        return names;
    }
    errno = 0;
    while (const dirent* e = ::readdir(dir)) {
        if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) {
            names.emplace_back(e->d_name);
        }
    }
    error = errno;
    ::closedir(dir);
    return names;
}

bool isWithin(int folder, const struct stat& ancestor) {
    Fd here(::fcntl(folder, F_DUPFD_CLOEXEC, 0));
    struct stat st {};
    if (!here.valid() || ::fstat(here.get(), &st) != 0) {
        return false;
    }
    // No folder tree is deeper than a path can be long.
    for (int depth = 0; depth < PATH_MAX; ++depth) {
        if (sameObject(st, ancestor)) {
            return true;
        }
        Fd up(::openat(here.get(), "..", O_PATH | O_DIRECTORY | O_CLOEXEC));
        struct stat upSt {};
        if (!up.valid() || ::fstat(up.get(), &upSt) != 0 || sameObject(upSt, st)) {
            return false;  // the root (of the file system, or of this process's view)
        }
        here = std::move(up);
        st = upSt;
    }
    return false;
}

bool isInMemory(int fd) {
    struct statfs fs {};
    return ::fstatfs(fd, &fs) == 0 && (fs.f_type == TMPFS_MAGIC || fs.f_type == RAMFS_MAGIC);
}

int commitAt(int folder, const std::string& from, const std::string& to, bool replace) {
    if (replace) {
        return ::renameat(folder, from.c_str(), folder, to.c_str()) == 0 ? 0 : errno;
    }
    if (::renameat2(folder, from.c_str(), folder, to.c_str(), RENAME_NOREPLACE) == 0) {
        return 0;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        return errno;
    }
    // A file system without the no-replace rename: a hard link fails on an existing name too.
    if (::linkat(folder, from.c_str(), folder, to.c_str(), 0) != 0) {
        return errno;
    }
    ::unlinkat(folder, from.c_str(), 0);
    return 0;
}

PartFile::~PartFile() {
    // Only our own file goes, even if another process put something else under its name.
    if (!m_name.empty() && m_lock.valid() && entryIs(m_folder, m_name, m_lock.get())) {
        ::unlinkat(m_folder, m_name.c_str(), 0);
    }
}

int PartFile::create(int folder) {
    m_folder = folder;
    for (int attempt = 0; attempt < 1000; ++attempt) {
        std::string name = randomPartName();
        // Owner-only while written, so no one else reads a half copy; the owner can open it to
        // lock it.
        Fd file(::openat(folder, name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
        if (!file.valid()) {
            if (errno == EEXIST) {
                continue;
            }
            return errno;
        }
        // Another run that found the file before it was locked may have removed it meanwhile
        // (it looked like a leftover): then the file is gone, and a new name is taken.
        if (::flock(file.get(), LOCK_EX | LOCK_NB) != 0 || !entryIs(folder, name, file.get())) {
            continue;
        }
        m_lock = Fd(::fcntl(file.get(), F_DUPFD_CLOEXEC, 0));
        if (!m_lock.valid()) {
            const int error = errno;
            ::unlinkat(folder, name.c_str(), 0);
            return error;
        }
        m_file = std::move(file);
        m_name = std::move(name);
        return 0;
    }
    return EEXIST;
}

int PartFile::finishWriting() {
    return m_file.close();
}

int PartFile::commit(const std::string& name, bool replace) {
    if (const int error = commitAt(m_folder, m_name, name, replace)) {
        return error;
    }
    m_name.clear();
    return 0;
}

bool isPartName(const std::string& name) {
    return name.starts_with(kPartPrefix);
}

std::string linkPartName(int attempt) {
    return kPartPrefix + std::to_string(::getpid()) + "-" + std::to_string(attempt);
}

void removeStaleParts(int folder) {
    int error = 0;
    for (const std::string& name : entriesOf(folder, error)) {
        struct stat st {};
        if (!isPartName(name) || statAt(folder, name, st) != 0 || st.st_uid != ::geteuid()) {
            continue;
        }
        if (S_ISREG(st.st_mode) && isFilePartName(name)) {
            const Fd file(
                ::openat(folder, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
            // Holding the lock, the file is known to be nobody's: it goes before the lock does.
            if (file.valid() && ::flock(file.get(), LOCK_EX | LOCK_NB) == 0 &&
                entryIs(folder, name, file.get())) {
                ::unlinkat(folder, name.c_str(), 0);
            }
        } else if (S_ISLNK(st.st_mode)) {
            const pid_t owner = linkPartOwner(name);
            if (owner > 0 && owner != ::getpid() && ::kill(owner, 0) != 0 && errno == ESRCH) {
                ::unlinkat(folder, name.c_str(), 0);
            }
        }
    }
}

}  // namespace gv
