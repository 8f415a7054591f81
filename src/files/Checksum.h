#pragma once
// A fast 64-bit checksum of a byte stream (the published XXH64 function), fed in pieces of any
// size. A moved file's bytes are summed as they are copied and its copy is summed again as read
// back from the disk: the two sums must match before the original goes. Not for secrets.

#include <cstddef>
#include <cstdint>

namespace gv {

class Checksum final {
public:
    explicit Checksum(uint64_t seed = 0);
    void add(const void* data, size_t size);
    uint64_t value() const;

private:
    uint64_t m_lanes[4];
    uint64_t m_total = 0;
    unsigned char m_pending[32];  // the bytes of a block not yet whole
    size_t m_pendingSize = 0;
    uint64_t m_seed;
};

}  // namespace gv
