#include "platform/Fd.h"

#include <unistd.h>

#include <cerrno>

namespace gv {

Fd& Fd::operator=(Fd&& other) noexcept {
    if (this != &other) {
        close();
        m_fd = std::exchange(other.m_fd, -1);
    }
    return *this;
}

int Fd::close() {
    const int rc = m_fd >= 0 ? ::close(m_fd) : 0;
    m_fd = -1;
    return rc == 0 || errno == EINTR ? 0 : errno;
}

}  // namespace gv
