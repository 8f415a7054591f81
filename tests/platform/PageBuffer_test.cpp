#include "platform/PageBuffer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace {

using gv::PageArray;
using gv::PageBuffer;
using gv::PageBytes;

// A byte that differs from offset to offset, so that a shifted or lost block shows.
char patternAt(std::size_t offset) {
    return static_cast<char>((offset * 131u + offset / 4096u) & 0xFF);
}

bool holdsPattern(const char* data, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        if (data[i] != patternAt(i)) {
            return false;
        }
    }
    return true;
}

TEST(PageBuffer, GrowingKeepsTheContentsWithinAndBeyondTheReservation) {
    PageBuffer buffer;
    EXPECT_EQ(buffer.usable(), 0u);
    buffer.ensure(100);
    ASSERT_GE(buffer.usable(), 100u);
    for (std::size_t i = 0; i < 100; ++i) {
        buffer.data()[i] = patternAt(i);
    }
    // Several megabytes: the same place, the first bytes untouched, the rest writable.
    const char* before = buffer.data();
    buffer.ensure(5u << 20);
    EXPECT_EQ(buffer.data(), before);
    EXPECT_TRUE(holdsPattern(buffer.data(), 100));
    for (std::size_t i = 100; i < (5u << 20); ++i) {
        buffer.data()[i] = patternAt(i);
    }
    // More than the reservation holds: the buffer moves and takes everything with it.
    const std::size_t reserved = buffer.reserved();
    buffer.ensure(reserved + 1);
    EXPECT_GE(buffer.usable(), reserved + 1);
    EXPECT_GT(buffer.reserved(), reserved);
    EXPECT_TRUE(holdsPattern(buffer.data(), 5u << 20));
    buffer.data()[reserved] = 'z';
    EXPECT_EQ(buffer.data()[reserved], 'z');
    // Asking for less changes nothing.
    const std::size_t usable = buffer.usable();
    buffer.ensure(10);
    EXPECT_EQ(buffer.usable(), usable);
}

TEST(PageBuffer, MovingHandsTheMemoryOver) {
    PageBuffer a;
    a.ensure(10);
    a.data()[0] = 'q';
    PageBuffer b(std::move(a));
    EXPECT_EQ(a.data(), nullptr);
    EXPECT_EQ(a.usable(), 0u);
    EXPECT_EQ(b.data()[0], 'q');
    PageBuffer c;
    c.ensure(1);
    c = std::move(b);
    EXPECT_EQ(c.data()[0], 'q');
    // An emptied buffer can be used again.
    a.ensure(3);
    a.data()[2] = 'x';
    EXPECT_EQ(a.data()[2], 'x');
}

TEST(PageBuffer, ArraysAndByteStringsGrowPastBigPageBoundaries) {
    struct Record {
        std::uint64_t key;
        std::uint32_t index;
    };
    PageArray<Record> records;
    constexpr std::uint32_t kCount = 300'000;  // several megabytes of records
    for (std::uint32_t i = 0; i < kCount; ++i) {
        records.push_back({std::uint64_t(i) * 7, i});
    }
    ASSERT_EQ(records.size(), kCount);
    std::uint32_t wrong = 0;
    for (std::uint32_t i = 0; i < kCount; ++i) {
        wrong += records[i].key != std::uint64_t(i) * 7 || records[i].index != i;
    }
    EXPECT_EQ(wrong, 0u);
    EXPECT_EQ(records.end() - records.begin(), std::ptrdiff_t(kCount));

    PageBytes bytes;
    std::string expected;
    for (int i = 0; i < 200'000; ++i) {
        const std::string piece = "name" + std::to_string(i) + ".jpg";
        bytes.append(piece.data(), piece.size());
        expected += piece;
    }
    // Room asked for and only partly used: the unused part is not counted.
    char* room = bytes.prepare(1000);
    room[0] = '!';
    bytes.commit(1);
    expected += '!';
    ASSERT_EQ(bytes.size(), expected.size());
    EXPECT_EQ(std::string(bytes.data(), bytes.size()), expected);
}

}  // namespace
