#include "platform/SharedMemory.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

namespace gv {
namespace {

constexpr int kAllSeals = F_SEAL_SEAL | F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_WRITE;

// The memory reserveAhead() allocated, mapped and zeroed, until a create() takes it.
int g_reserved = -1;
uchar* g_reservedMap = nullptr;
std::size_t g_reservedSize = 0;

uchar* mapped(int fd, std::size_t size, int protection) {
    // Mapped whole at once: one call instead of a fault on every page, which costs more than
    // the copy of a raster on a virtual machine.
    void* map = ::mmap(nullptr, size, protection, MAP_SHARED | MAP_POPULATE, fd, 0);
    return map == MAP_FAILED ? nullptr : static_cast<uchar*>(map);
}

std::size_t pageRounded(std::size_t size) {
    const auto page = std::size_t(::sysconf(_SC_PAGESIZE));
    return (size + page - 1) / page * page;
}

void dropReserved() {
    if (g_reservedMap) {
        ::munmap(g_reservedMap, g_reservedSize);
        g_reservedMap = nullptr;
    }
    if (g_reserved >= 0) {
        ::close(g_reserved);
        g_reserved = -1;
    }
    g_reservedSize = 0;
}

}  // namespace

void SharedMemory::reserveAhead(std::size_t size) {
    dropReserved();
    size = pageRounded(size);
    const int fd = ::memfd_create("glimvane-raster", MFD_CLOEXEC | MFD_ALLOW_SEALING);
    if (fd < 0) {
        return;
    }
    // Writing the mapping in allocates and zeroes every page now: memory only allocated
    // (fallocate) would still be zeroed page by page when the job first writes it.
    uchar* map = ::ftruncate(fd, static_cast<off_t>(size)) == 0
                     ? mapped(fd, size, PROT_READ | PROT_WRITE)
                     : nullptr;
    if (!map) {
        ::close(fd);
        return;
    }
    g_reserved = fd;
    g_reservedMap = map;
    g_reservedSize = size;
}

std::optional<SharedMemory> SharedMemory::create(std::size_t size) {
    if (size == 0) {
        errno = EINVAL;
        return std::nullopt;
    }
    if (g_reserved >= 0 && size <= g_reservedSize) {
        // The reserved memory, cut to the size: the pages beyond it are given back, and so is
        // their part of the mapping, which would otherwise keep the memory from being sealed.
        const std::size_t kept = pageRounded(size);
        if (::ftruncate(g_reserved, static_cast<off_t>(size)) == 0) {
            if (kept < g_reservedSize) {
                ::munmap(g_reservedMap + kept, g_reservedSize - kept);
            }
            const int fd = std::exchange(g_reserved, -1);
            uchar* map = std::exchange(g_reservedMap, nullptr);
            g_reservedSize = 0;
            return SharedMemory(fd, map, size, true);
        }
    }
    dropReserved();
    const int fd = ::memfd_create("glimvane-raster", MFD_CLOEXEC | MFD_ALLOW_SEALING);
    if (fd < 0) {
        return std::nullopt;
    }
    if (::ftruncate(fd, static_cast<off_t>(size)) != 0) {
        const int saved = errno;
        ::close(fd);
        errno = saved;
        return std::nullopt;
    }
    uchar* map = mapped(fd, size, PROT_READ | PROT_WRITE);
    if (!map) {
        const int saved = errno;
        ::close(fd);
        errno = saved;
        return std::nullopt;
    }
    return SharedMemory(fd, map, size, true);
}

std::optional<SharedMemory> SharedMemory::sealedCopyOf(int fd, std::size_t size) {
    if (size == 0) {
        errno = EINVAL;
        return std::nullopt;
    }
    const int memory = ::memfd_create("glimvane-file", MFD_CLOEXEC | MFD_ALLOW_SEALING);
    if (memory < 0) {
        return std::nullopt;
    }
    auto refuse = [memory](int error) -> std::optional<SharedMemory> {
        ::close(memory);
        errno = error;
        return std::nullopt;
    };
    off_t from = 0;
    while (std::size_t(from) < size) {
        const ssize_t n = ::sendfile(memory, fd, &from, size - std::size_t(from));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return refuse(errno);
        }
        if (n == 0) {
            return refuse(ENODATA);  // shorter now than it was
        }
    }
    if (::fcntl(memory, F_ADD_SEALS, kAllSeals) != 0) {
        return refuse(errno);
    }
    uchar* map = mapped(memory, size, PROT_READ);
    if (!map) {
        return refuse(errno);
    }
    return SharedMemory(memory, map, size, false);
}

std::optional<SharedMemory> SharedMemory::adoptSealed(int fd, std::size_t minSize) {
    struct stat st {};
    const int seals = ::fcntl(fd, F_GET_SEALS);
    if (seals < 0 || (seals & kAllSeals) != kAllSeals || ::fstat(fd, &st) != 0 ||
        !S_ISREG(st.st_mode) || st.st_size <= 0 || std::size_t(st.st_size) < minSize) {
        ::close(fd);
        return std::nullopt;
    }
    const auto size = static_cast<std::size_t>(st.st_size);
    uchar* map = mapped(fd, size, PROT_READ);
    if (!map) {
        ::close(fd);
        return std::nullopt;
    }
    return SharedMemory(fd, map, size, false);
}

SharedMemory::SharedMemory(SharedMemory&& other) noexcept
    : m_fd(std::exchange(other.m_fd, -1)),
      m_map(std::exchange(other.m_map, nullptr)),
      m_size(std::exchange(other.m_size, 0)),
      m_writable(std::exchange(other.m_writable, false)) {}

SharedMemory& SharedMemory::operator=(SharedMemory&& other) noexcept {
    if (this != &other) {
        release();
        m_fd = std::exchange(other.m_fd, -1);
        m_map = std::exchange(other.m_map, nullptr);
        m_size = std::exchange(other.m_size, 0);
        m_writable = std::exchange(other.m_writable, false);
    }
    return *this;
}

SharedMemory::~SharedMemory() {
    release();
}

void SharedMemory::release() {
    if (m_map) {
        ::munmap(m_map, m_size);
        m_map = nullptr;
    }
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

bool SharedMemory::seal() {
    if (!m_writable) {
        return m_map != nullptr;
    }
    // The write seal is refused while a writable shared mapping exists, ours included.
    ::munmap(m_map, m_size);
    m_map = nullptr;
    m_writable = false;
    if (::fcntl(m_fd, F_ADD_SEALS, kAllSeals) != 0) {
        return false;
    }
    m_map = mapped(m_fd, m_size, PROT_READ);
    return m_map != nullptr;
}

bool SharedMemory::sealForHandOver() {
    if (m_map) {
        ::munmap(m_map, m_size);
        m_map = nullptr;
    }
    m_writable = false;
    return m_fd >= 0 && ::fcntl(m_fd, F_ADD_SEALS, kAllSeals) == 0;
}

QImage imageInSharedMemory(std::shared_ptr<const SharedMemory> memory, int width, int height,
                           qsizetype bytesPerLine, QImage::Format format, std::size_t offset) {
    if (!memory || !memory->constData() || width <= 0 || height <= 0 || bytesPerLine <= 0 ||
        bytesPerLine % 4 != 0 || format <= QImage::Format_Invalid ||
        format >= QImage::NImageFormats) {
        return {};
    }
    const int depth = QImage::toPixelFormat(format).bitsPerPixel();
    if (depth <= 0 || (qint64(width) * depth + 7) / 8 > bytesPerLine ||
        offset > memory->size() ||
        qint64(bytesPerLine) * height > qint64(memory->size() - offset)) {
        return {};
    }
    // The image owns one reference to the memory, given back when its last copy goes.
    auto* keep = new std::shared_ptr<const SharedMemory>(memory);
    return QImage(
        memory->constData() + offset, width, height, bytesPerLine, format,
        [](void* info) { delete static_cast<std::shared_ptr<const SharedMemory>*>(info); }, keep);
}

}  // namespace gv
