#include <gtest/gtest.h>

#include <string>

#include "protocol/RecentMessageIds.h"

namespace zelmo::protocol {
namespace {

TEST(RecentMessageIdsTest, SkipsTheLastIdsSeenAndForgetsTheOldestBeyondItsCapacity) {
    RecentMessageIds ids(3);
    EXPECT_TRUE(ids.Add("1"));
    EXPECT_TRUE(ids.Add("2"));
    EXPECT_FALSE(ids.Add("1"));
    EXPECT_TRUE(ids.Add("3"));
    EXPECT_TRUE(ids.Add("4"));  // "1" is forgotten
    EXPECT_EQ(ids.Size(), 3u);
    EXPECT_FALSE(ids.Add("2"));
    EXPECT_TRUE(ids.Add("1"));
    // An item without an id is never taken for another.
    EXPECT_TRUE(ids.Add(""));
    EXPECT_TRUE(ids.Add(""));

    // Long ids (no small-string buffer) survive the churn: the set's views stay valid.
    RecentMessageIds many(100);
    for (int i = 0; i < 10000; ++i) {
        ASSERT_TRUE(many.Add(std::string(40, 'x') + std::to_string(i)));
    }
    for (int i = 9900; i < 10000; ++i) {
        EXPECT_FALSE(many.Add(std::string(40, 'x') + std::to_string(i)));
    }
    EXPECT_TRUE(many.Add(std::string(40, 'x') + "9899"));
}

}  // namespace
}  // namespace zelmo::protocol
