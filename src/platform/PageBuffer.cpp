#include "platform/PageBuffer.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <utility>

#include <sys/mman.h>

namespace gv {

namespace {

// The kernel's big page: the buffer opens its memory in steps of this size, aligned to it.
constexpr std::size_t kBigPage = std::size_t(2) << 20;
// Address space only, so generous: a quarter of a gigabyte holds the names and keys of two
// million files before the buffer has to move.
constexpr std::size_t kFirstReservation = std::size_t(256) << 20;

constexpr std::size_t roundUp(std::size_t value, std::size_t step) {
    return (value + step - 1) / step * step;
}

// Inaccessible address space aligned to a big page, so that the kernel can back it with them.
char* reserveSpace(std::size_t bytes) {
    const std::size_t span = bytes + kBigPage;
    void* raw =
        ::mmap(nullptr, span, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (raw == MAP_FAILED) {
        throw std::bad_alloc();
    }
    const auto start = reinterpret_cast<std::uintptr_t>(raw);
    const std::uintptr_t aligned = roundUp(start, kBigPage);
    if (aligned > start) {
        ::munmap(raw, aligned - start);
    }
    const std::uintptr_t end = start + span;
    if (end > aligned + bytes) {
        ::munmap(reinterpret_cast<void*>(aligned + bytes), end - (aligned + bytes));
    }
    char* base = reinterpret_cast<char*>(aligned);
#ifdef MADV_HUGEPAGE
    // Only advice: without big pages the buffer still works, page by page. The first big page
    // stays in small pages, so that the table of a small folder costs kilobytes, not 2 MB.
    if (bytes > kBigPage) {
        ::madvise(base + kBigPage, bytes - kBigPage, MADV_HUGEPAGE);
    }
#endif
    return base;
}

}  // namespace

PageBuffer::~PageBuffer() {
    release();
}

PageBuffer::PageBuffer(PageBuffer&& other) noexcept
    : m_base(std::exchange(other.m_base, nullptr)),
      m_usable(std::exchange(other.m_usable, 0)),
      m_reserved(std::exchange(other.m_reserved, 0)) {}

PageBuffer& PageBuffer::operator=(PageBuffer&& other) noexcept {
    if (this != &other) {
        release();
        m_base = std::exchange(other.m_base, nullptr);
        m_usable = std::exchange(other.m_usable, 0);
        m_reserved = std::exchange(other.m_reserved, 0);
    }
    return *this;
}

void PageBuffer::grow(std::size_t bytes) {
    const std::size_t usable = roundUp(bytes, kBigPage);
    if (usable < bytes) {
        throw std::bad_alloc();  // wrapped around
    }
    if (usable > m_reserved) {
        // Beyond the reservation: a larger one, and the contents copied over once.
        const std::size_t reserved = std::max({kFirstReservation, usable * 2, m_reserved * 2});
        char* base = reserveSpace(reserved);
        if (::mprotect(base, usable, PROT_READ | PROT_WRITE) != 0) {
            ::munmap(base, reserved);
            throw std::bad_alloc();
        }
        if (m_usable > 0) {
            std::memcpy(base, m_base, m_usable);
        }
        release();
        m_base = base;
        m_reserved = reserved;
        m_usable = usable;
        return;
    }
    // Opening more of the reservation commits it; a strict overcommit policy may refuse.
    if (::mprotect(m_base + m_usable, usable - m_usable, PROT_READ | PROT_WRITE) != 0) {
        throw std::bad_alloc();
    }
    m_usable = usable;
}

void PageBuffer::release() {
    if (m_base != nullptr) {
        ::munmap(m_base, m_reserved);
    }
    m_base = nullptr;
    m_usable = 0;
    m_reserved = 0;
}

}  // namespace gv
