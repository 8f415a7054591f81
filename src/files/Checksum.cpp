#include "files/Checksum.h"

#include <bit>
#include <cstring>

namespace gv {
namespace {

constexpr uint64_t kPrime1 = 0x9E3779B185EBCA87ULL;
constexpr uint64_t kPrime2 = 0xC2B2AE3D27D4EB4FULL;
constexpr uint64_t kPrime3 = 0x165667B19E3779F9ULL;
constexpr uint64_t kPrime4 = 0x85EBCA77C2B2AE63ULL;
constexpr uint64_t kPrime5 = 0x27D4EB2F165667C5ULL;

// The function is defined on little-endian words.
uint64_t read64(const unsigned char* p) {
    uint64_t v;
    std::memcpy(&v, p, 8);
    return std::endian::native == std::endian::little ? v : __builtin_bswap64(v);
}

uint32_t read32(const unsigned char* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return std::endian::native == std::endian::little ? v : __builtin_bswap32(v);
}

uint64_t round(uint64_t lane, uint64_t input) {
    return std::rotl(lane + input * kPrime2, 31) * kPrime1;
}

uint64_t merge(uint64_t hash, uint64_t lane) {
    return (hash ^ round(0, lane)) * kPrime1 + kPrime4;
}

}  // namespace

Checksum::Checksum(uint64_t seed)
    : m_lanes{seed + kPrime1 + kPrime2, seed + kPrime2, seed, seed - kPrime1}, m_seed(seed) {}

void Checksum::add(const void* data, size_t size) {
    auto p = static_cast<const unsigned char*>(data);
    m_total += size;
    if (m_pendingSize + size < 32) {
        std::memcpy(m_pending + m_pendingSize, p, size);
        m_pendingSize += size;
        return;
    }
    if (m_pendingSize > 0) {
        const size_t fill = 32 - m_pendingSize;
        std::memcpy(m_pending + m_pendingSize, p, fill);
        for (int i = 0; i < 4; ++i) {
            m_lanes[i] = round(m_lanes[i], read64(m_pending + 8 * i));
        }
        p += fill;
        size -= fill;
        m_pendingSize = 0;
    }
    // Four independent lanes, so the processor works on them side by side.
    uint64_t a = m_lanes[0], b = m_lanes[1], c = m_lanes[2], d = m_lanes[3];
    for (; size >= 32; p += 32, size -= 32) {
        a = round(a, read64(p));
        b = round(b, read64(p + 8));
        c = round(c, read64(p + 16));
        d = round(d, read64(p + 24));
    }
    m_lanes[0] = a, m_lanes[1] = b, m_lanes[2] = c, m_lanes[3] = d;
    std::memcpy(m_pending, p, size);
    m_pendingSize = size;
}

uint64_t Checksum::value() const {
    uint64_t h;
    if (m_total >= 32) {
        h = std::rotl(m_lanes[0], 1) + std::rotl(m_lanes[1], 7) + std::rotl(m_lanes[2], 12) +
            std::rotl(m_lanes[3], 18);
        for (const uint64_t lane : m_lanes) {
            h = merge(h, lane);
        }
    } else {
        h = m_seed + kPrime5;
    }
    h += m_total;
    const unsigned char* p = m_pending;
    size_t left = m_pendingSize;
    for (; left >= 8; p += 8, left -= 8) {
        h = std::rotl(h ^ round(0, read64(p)), 27) * kPrime1 + kPrime4;
    }
    if (left >= 4) {
        h = std::rotl(h ^ (uint64_t(read32(p)) * kPrime1), 23) * kPrime2 + kPrime3;
        p += 4;
        left -= 4;
    }
    for (; left > 0; ++p, --left) {
        h = std::rotl(h ^ (*p * kPrime5), 11) * kPrime1;
    }
    h ^= h >> 33;
    h *= kPrime2;
    h ^= h >> 29;
    h *= kPrime3;
    h ^= h >> 32;
    return h;
}

}  // namespace gv
