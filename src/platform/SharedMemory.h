#pragma once
// Memory that two processes share without copying it: a sealed memfd. The decoding helper
// writes a raster into one and seals it; the program maps it read-only and shows those pixels
// in place. The seals make the contents immutable and the size fixed, so a helper that goes
// wrong afterwards can neither change the pixels under the program nor shrink the memory away
// (which would make the program fault on reading it).

#include <QImage>
#include <cstddef>
#include <memory>
#include <optional>

namespace gv {

class SharedMemory final {
public:
    // Writable memory of `size` bytes (more than zero); nullopt, errno set, when refused.
    static std::optional<SharedMemory> create(std::size_t size);
    // Allocates `size` bytes ahead, zeroed, for the next create() of at most that size in this
    // process, which then finds its pages there instead of faulting every one in. For a
    // process that waits before its work (the decoding helper's job processes).
    static void reserveAhead(std::size_t size);
    // A sealed copy of `size` bytes of the open file, copied by the kernel (never through our
    // own pages); nullopt, errno set, when refused or when the file holds fewer bytes by now.
    static std::optional<SharedMemory> sealedCopyOf(int fd, std::size_t size);
    // A read-only view of memory another process sealed; takes the descriptor, and closes it
    // when it refuses: unless the memory is sealed against every change and holds at least
    // minSize bytes.
    static std::optional<SharedMemory> adoptSealed(int fd, std::size_t minSize);

    SharedMemory(SharedMemory&& other) noexcept;
    SharedMemory& operator=(SharedMemory&& other) noexcept;
    SharedMemory(const SharedMemory&) = delete;
    SharedMemory& operator=(const SharedMemory&) = delete;
    ~SharedMemory();

    // Ends writing: the memory becomes read-only here too, and sealed. False when that failed.
    bool seal();
    // Seals memory that goes to another process and is not read here again: this process's
    // view ends, sparing the mapping of every page once more. False when sealing failed.
    bool sealForHandOver();

    // nullptr once sealed.
    uchar* data() { return m_writable ? m_map : nullptr; }
    const uchar* constData() const { return m_map; }
    std::size_t size() const { return m_size; }
    int fd() const { return m_fd; }

private:
    SharedMemory(int fd, uchar* map, std::size_t size, bool writable)
        : m_fd(fd), m_map(map), m_size(size), m_writable(writable) {}
    void release();

    int m_fd = -1;
    uchar* m_map = nullptr;
    std::size_t m_size = 0;
    bool m_writable = false;
};

// An image over sealed memory, from `offset` bytes in, which it keeps alive; the pixels are used
// in place and copied only by whoever changes them. Null when the layout does not fit the
// memory.
QImage imageInSharedMemory(std::shared_ptr<const SharedMemory> memory, int width, int height,
                           qsizetype bytesPerLine, QImage::Format format, std::size_t offset = 0);

}  // namespace gv
