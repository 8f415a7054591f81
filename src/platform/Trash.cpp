#include "platform/Trash.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string_view>

namespace gv {
namespace {

std::string parentOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? std::string("/") : path.substr(0, slash);
}

int makeFolder(const std::string& path) {
    if (::mkdir(path.c_str(), 0700) == 0 || errno == EEXIST) {
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0) {
            return errno;
        }
        return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
    }
    return errno;
}

int makeCan(const std::string& base) {
    for (const std::string& folder : {base, base + "/files", base + "/info"}) {
        if (const int error = makeFolder(folder)) {
            return error;
        }
    }
    return 0;
}

std::string homeTrash() {
    const char* data = std::getenv("XDG_DATA_HOME");
    if (data && *data) {
        return std::string(data) + "/Trash";
    }
    const char* home = std::getenv("HOME");
    return std::string(home ? home : "") + "/.local/share/Trash";
}

// The Path= value: every byte but the unreserved ones and "/" written as %XX.
std::string percentEncoded(std::string_view path) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(path.size() + 16);
    for (const unsigned char c : path) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                           (c >= '0' && c <= '9') || c == '-' || c == '.' || c == '_' || c == '~' ||
                           c == '/';
        if (plain) {
            out += char(c);
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
    }
    return out;
}

}  // namespace

const Trash::Can& Trash::canFor(dev_t device, const std::string& path) {
    if (const auto found = m_cans.find(device); found != m_cans.end()) {
        return found->second;
    }
    Can can;
    const std::string home = homeTrash();
    struct stat st {};
    if (makeCan(home) == 0 && ::stat(home.c_str(), &st) == 0 && st.st_dev == device) {
        can.files = home + "/files";
        can.info = home + "/info";
        return m_cans[device] = can;
    }
    // Another volume: its own trash at its top folder, so that nothing is copied across.
    std::string top = parentOf(path);
    while (top != "/") {
        const std::string up = parentOf(top);
        if (::lstat(up.c_str(), &st) != 0 || st.st_dev != device) {
            break;
        }
        top = up;
    }
    const std::string uid = std::to_string(::getuid());
    std::string base;
    const std::string shared = (top == "/" ? std::string() : top) + "/.Trash";
    if (::lstat(shared.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && (st.st_mode & S_ISVTX)) {
        base = shared + "/" + uid;
    }
    if (base.empty() || makeCan(base) != 0) {
        base = shared + "-" + uid;
        can.error = makeCan(base);
    }
    if (can.error == 0 && ::lstat(base.c_str(), &st) == 0 && st.st_uid != ::getuid()) {
        can.error = EACCES;
    }
    can.files = base + "/files";
    can.info = base + "/info";
    can.top = top == "/" ? std::string() : top;
    return m_cans[device] = can;
}

int Trash::put(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) {
        return errno;
    }
    const Can& can = canFor(st.st_dev, path);
    if (can.error != 0) {
        return can.error;
    }
    std::string name = path.substr(path.find_last_of('/') + 1);
    // Room for " .NNN" and ".trashinfo" within the 255 bytes a name may have.
    if (name.size() > 230) {
        name.resize(230);
    }
    std::string stored = can.top.empty() ? path : path.substr(can.top.size() + 1);
    char date[32];
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    std::strftime(date, sizeof date, "%Y-%m-%dT%H:%M:%S", &local);
    const std::string text =
        "[Trash Info]\nPath=" + percentEncoded(stored) + "\nDeletionDate=" + date + "\n";
    // The info file is made first and exclusively: it reserves the name in files/.
    std::string unique = name;
    int fd = -1;
    for (int n = 2; n < 100000; ++n) {
        const std::string infoPath = can.info + "/" + unique + ".trashinfo";
        fd = ::open(infoPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd >= 0) {
            struct stat taken {};
            if (::lstat((can.files + "/" + unique).c_str(), &taken) != 0) {
                break;
            }
            ::close(fd);
            ::unlink(infoPath.c_str());
            fd = -1;
        } else if (errno != EEXIST) {
            return errno;
        }
        unique = name + "." + std::to_string(n);
    }
    if (fd < 0) {
        return EEXIST;
    }
    const std::string infoPath = can.info + "/" + unique + ".trashinfo";
    const bool written = ::write(fd, text.data(), text.size()) == ssize_t(text.size());
    const int writeError = errno;
    if (::close(fd) != 0 || !written) {
        ::unlink(infoPath.c_str());
        return written ? EIO : writeError;
    }
    if (::rename(path.c_str(), (can.files + "/" + unique).c_str()) != 0) {
        const int error = errno;
        ::unlink(infoPath.c_str());
        return error;
    }
    return 0;
}

}  // namespace gv
