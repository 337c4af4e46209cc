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

    // The service's 19-digit ids are told apart exactly, neighbours included, and so are
    // ids that are no numbers or too long for one.
    RecentMessageIds many(100);
    const std::string base = "3000000000000000";
    for (int i = 0; i < 10000; ++i) {
        ASSERT_TRUE(many.Add(base + std::to_string(100 + i % 900) + std::to_string(i / 900)));
    }
    EXPECT_FALSE(many.Add(base + std::to_string(100 + 9999 % 900) + std::to_string(9999 / 900)));
    EXPECT_TRUE(many.Add("18446744073709551615"));  // 2^64 - 1
    EXPECT_TRUE(many.Add("18446744073709551616"));  // one more: hashed, still apart
    EXPECT_FALSE(many.Add("18446744073709551616"));
    EXPECT_TRUE(many.Add("abc"));
    EXPECT_FALSE(many.Add("abc"));
}

}  // namespace
}  // namespace zelmo::protocol
