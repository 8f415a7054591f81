#include <gtest/gtest.h>

#include <thread>

#include "platform/Background.h"

using namespace gv;

TEST(Background, OnlyTheCallingThreadIsLoweredAndOnlyOnce) {
    const int before = currentThreadNice();
    const int expected = std::min(before + kBackgroundNiceSteps, 19);
    int inside = -100;
    int again = -100;
    bool accepted = false;
    std::thread worker([&] {
        accepted = enterBackgroundPriority();
        inside = currentThreadNice();
        // A second call, as each new job on a pooled thread makes, does not lower it further.
        enterBackgroundPriority();
        again = currentThreadNice();
    });
    worker.join();
    ASSERT_TRUE(accepted);
    EXPECT_EQ(inside, expected);
    EXPECT_EQ(again, expected);
    // The thread that asked nothing keeps its priority.
    EXPECT_EQ(currentThreadNice(), before);
}
