#pragma once
// A file descriptor that is closed when its holder goes: one owner, moved, never copied.

#include <utility>

namespace gv {

class Fd final {
public:
    Fd() = default;
    explicit Fd(int fd) : m_fd(fd) {}
    Fd(Fd&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}
    Fd& operator=(Fd&& other) noexcept;
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd() { close(); }
    int get() const { return m_fd; }
    bool valid() const { return m_fd >= 0; }
    int close();  // 0, or the errno of a write the system reports only now

private:
    int m_fd = -1;
};

}  // namespace gv
