#include <gtest/gtest.h>

#include "platform/Clock.h"
#include "support/FakeClock.h"

namespace zelmo::platform {
namespace {

TEST(ClockTest, SystemRandomStaysInRangeEvenWhenReversed) {
    SystemClock clock;
    for (int i = 0; i < 1000; ++i) {
        const int value = clock.Random(0, 999);
        ASSERT_GE(value, 0);
        ASSERT_LE(value, 999);
        const int reversed = clock.Random(10, 1);
        ASSERT_GE(reversed, 1);
        ASSERT_LE(reversed, 10);
    }
    EXPECT_EQ(clock.Random(5, 5), 5);
}

TEST(ClockTest, FakeClockMovesOnlyByHandAndScriptsRandomness) {
    test::FakeClock clock(1000);
    EXPECT_EQ(clock.UnixMs(), 1000);
    clock.Advance(500);
    EXPECT_EQ(clock.UnixMs(), 1500);
    EXPECT_EQ(clock.TickMs(), 500);
    clock.SetUnixMs(0);
    EXPECT_EQ(clock.TickMs(), 500);

    clock.ScriptRandom({7, 250, -3});
    EXPECT_EQ(clock.Random(1, 100), 7);
    EXPECT_EQ(clock.Random(1, 100), 100);  // clamped into the range asked for
    EXPECT_EQ(clock.Random(1, 100), 1);
    test::FakeClock same_seed(0, 5);
    test::FakeClock other(0, 5);
    EXPECT_EQ(same_seed.Random(0, 1000000), other.Random(0, 1000000));
    EXPECT_EQ(clock.RandomCalls(), 3);
}

}  // namespace
}  // namespace zelmo::platform
