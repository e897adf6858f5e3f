// The pauses between automatic attempts to reach the feed.
#include "feed/reconnect.h"

#include <gtest/gtest.h>

#include <vector>

using namespace rizuzez;

namespace {

TEST(ReconnectBackoff, OneSecondDoublingToAMinuteAndOverAfterDelivery) {
    ReconnectBackoff b;
    std::vector<int> pauses;
    for (int i = 0; i < 9; ++i) {
        pauses.push_back(b.nextPauseSeconds());
    }
    EXPECT_EQ(pauses, (std::vector<int>{1, 2, 4, 8, 16, 32, 60, 60, 60}));
    b.reset();
    EXPECT_EQ(b.nextPauseSeconds(), 1);
    EXPECT_EQ(b.nextPauseSeconds(), 2);
}

} // namespace
