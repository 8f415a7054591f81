#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "platform/SharedMemory.h"

namespace {

ino_t inodeOf(int fd) {
    struct stat st {};
    return ::fstat(fd, &st) == 0 ? st.st_ino : 0;
}

TEST(SharedMemory, MemoryReservedAheadServesOneAllocationOfItsSizeOrLessZeroedAndSealable) {
    constexpr std::size_t kMiB = 1 << 20;
    struct Case {
        std::size_t reserved;
        std::size_t wanted;
    };
    for (const Case& c : {Case{kMiB, 4096}, Case{kMiB, 5000}, Case{kMiB, kMiB}, Case{kMiB, 3 * kMiB}}) {
        SCOPED_TRACE(c.wanted);
        gv::SharedMemory::reserveAhead(c.reserved);
        std::optional<gv::SharedMemory> memory = gv::SharedMemory::create(c.wanted);
        ASSERT_TRUE(memory);
        struct stat st {};
        ASSERT_EQ(::fstat(memory->fd(), &st), 0);
        EXPECT_EQ(std::size_t(st.st_size), c.wanted);
        EXPECT_TRUE(
            std::all_of(memory->data(), memory->data() + c.wanted, [](uchar b) { return b == 0; }));
        std::memset(memory->data(), 0xAB, c.wanted);
        const ino_t first = inodeOf(memory->fd());
        ASSERT_TRUE(memory->sealForHandOver());
        std::optional<gv::SharedMemory> seen =
            gv::SharedMemory::adoptSealed(::dup(memory->fd()), 0);
        ASSERT_TRUE(seen);
        EXPECT_EQ(seen->size(), c.wanted);
        EXPECT_EQ(seen->constData()[c.wanted - 1], 0xAB);
        // The reserve serves once: the next allocation is memory of its own.
        std::optional<gv::SharedMemory> next = gv::SharedMemory::create(4096);
        ASSERT_TRUE(next);
        EXPECT_NE(inodeOf(next->fd()), first);
        EXPECT_EQ(next->data()[0], 0);
    }
}

}  // namespace
