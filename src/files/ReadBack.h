#pragma once
// A moved file's copy read back from the disk on a thread of its own while the copy is still
// being written: each piece is read once the writer has put it on the disk and dropped it from
// the cache, and summed, so the check costs the move little time where a second core is free.

#include <QtGlobal>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

#include "files/Checksum.h"

namespace gv {

class ReadBack final {
public:
    // Reads the open file; stops early when cancel is set.
    ReadBack(int fd, const std::atomic<bool>& cancel);
    ReadBack(const ReadBack&) = delete;
    ReadBack& operator=(const ReadBack&) = delete;
    ~ReadBack();
    // The bytes before end are on the disk and may be read back.
    void allow(qint64 end);
    // Reads the rest up to size and waits for it: false when the file could not be read whole,
    // is longer than size, or the work was cancelled.
    bool finish(qint64 size, uint64_t& sum);

private:
    void run();

    const int m_fd;
    const std::atomic<bool>& m_cancel;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    qint64 m_allowed = 0;    // guarded by m_mutex
    bool m_closing = false;  // guarded by m_mutex: nothing more will be allowed
    std::atomic<bool> m_stop{false};
    // The thread's own until it is joined:
    qint64 m_read = 0;
    bool m_failed = false;
    Checksum m_sum;
    std::vector<char> m_buffer;
    std::thread m_thread;
};

}  // namespace gv
