#pragma once
// Growable memory for large, short-lived tables (the names of a big folder and their sort
// keys), taken straight from the kernel. A vector that doubles copies everything it holds at
// each step and touches fresh memory one small page at a time; in a virtual machine those page
// faults cost more than reading the folder itself. This buffer reserves address space up front,
// opens it in big steps the kernel may back with 2 MB pages, and never copies on growth unless
// the reservation runs out (the contents then move as page tables, still without copying).
// The contents keep their offsets, not their addresses: data() may change when the buffer grows.

#include <cstddef>
#include <cstring>
#include <new>
#include <type_traits>

namespace gv {

class PageBuffer final {
public:
    PageBuffer() = default;
    ~PageBuffer();
    PageBuffer(PageBuffer&& other) noexcept;
    PageBuffer& operator=(PageBuffer&& other) noexcept;
    PageBuffer(const PageBuffer&) = delete;
    PageBuffer& operator=(const PageBuffer&) = delete;

    // Makes at least `bytes` usable from data(); the bytes already there stay. Throws
    // std::bad_alloc when the memory cannot be had.
    void ensure(std::size_t bytes) {
        if (bytes > m_usable) {
            grow(bytes);
        }
    }

    char* data() { return m_base; }
    const char* data() const { return m_base; }
    // The bytes usable now (ensure() makes more).
    std::size_t usable() const { return m_usable; }
    // The address space held for growth without moving.
    std::size_t reserved() const { return m_reserved; }

private:
    void grow(std::size_t bytes);
    void release();

    char* m_base = nullptr;
    std::size_t m_usable = 0;
    std::size_t m_reserved = 0;
};

// A table of plain records in a PageBuffer: push_back and indexing, as a vector of them.
template <typename T>
class PageArray final {
    static_assert(std::is_trivially_copyable_v<T> && std::is_trivially_destructible_v<T>);

public:
    void push_back(const T& value) {
        m_buffer.ensure((m_size + 1) * sizeof(T));
        new (m_buffer.data() + m_size * sizeof(T)) T(value);
        ++m_size;
    }
    // Makes the table `count` records long; new records are left as the memory holds them.
    void resize(std::size_t count) {
        m_buffer.ensure(count * sizeof(T));
        m_size = count;
    }
    T* begin() { return reinterpret_cast<T*>(m_buffer.data()); }
    T* end() { return begin() + m_size; }
    const T* begin() const { return reinterpret_cast<const T*>(m_buffer.data()); }
    const T* end() const { return begin() + m_size; }
    T& operator[](std::size_t i) { return begin()[i]; }
    const T& operator[](std::size_t i) const { return begin()[i]; }
    std::size_t size() const { return m_size; }
    bool empty() const { return m_size == 0; }

private:
    PageBuffer m_buffer;
    std::size_t m_size = 0;
};

// Bytes appended one piece after another, as a string would hold them.
class PageBytes final {
public:
    void append(const char* bytes, std::size_t count) {
        std::memcpy(prepare(count), bytes, count);
        commit(count);
    }
    // Room for `count` more bytes at the end; commit() says how many of them were written.
    char* prepare(std::size_t count) {
        m_buffer.ensure(m_size + count);
        return m_buffer.data() + m_size;
    }
    void commit(std::size_t count) { m_size += count; }
    const char* data() const { return m_buffer.data(); }
    std::size_t size() const { return m_size; }

private:
    PageBuffer m_buffer;
    std::size_t m_size = 0;
};

}  // namespace gv
