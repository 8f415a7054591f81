#include "files/ReadBack.h"

#include <unistd.h>
#include <algorithm>
#include <cerrno>

namespace gv {
namespace {

constexpr size_t kBuffer = 1024 * 1024;

}  // namespace

ReadBack::ReadBack(int fd, const std::atomic<bool>& cancel)
    : m_fd(fd), m_cancel(cancel), m_buffer(kBuffer), m_thread([this] { run(); }) {}

ReadBack::~ReadBack() {
    if (m_thread.joinable()) {
        m_stop = true;
        {
            const std::lock_guard lock(m_mutex);
            m_closing = true;
        }
        m_wake.notify_one();
        m_thread.join();
    }
}

void ReadBack::allow(qint64 end) {
    {
        const std::lock_guard lock(m_mutex);
        m_allowed = std::max(m_allowed, end);
    }
    m_wake.notify_one();
}

bool ReadBack::finish(qint64 size, uint64_t& sum) {
    allow(size);
    {
        const std::lock_guard lock(m_mutex);
        m_closing = true;
    }
    m_wake.notify_one();
    m_thread.join();
    char extra = 0;
    if (m_failed || m_cancel || m_read != size || ::pread(m_fd, &extra, 1, size) != 0) {
        return false;
    }
    sum = m_sum.value();
    return true;
}

void ReadBack::run() {
    std::unique_lock lock(m_mutex);
    while (true) {
        m_wake.wait(lock, [this] { return m_stop || m_closing || m_allowed > m_read; });
        const qint64 end = m_allowed;
        if (m_stop || m_read >= end) {
            return;  // stopped, or closing with everything read
        }
        lock.unlock();
        while (m_read < end) {
            if (m_stop || m_cancel) {
                return;
            }
            const size_t want = size_t(std::min<qint64>(qint64(m_buffer.size()), end - m_read));
            const ssize_t n = ::pread(m_fd, m_buffer.data(), want, m_read);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                m_failed = true;
                return;
            }
            m_sum.add(m_buffer.data(), size_t(n));
            m_read += n;
        }
        lock.lock();
    }
}

}  // namespace gv
