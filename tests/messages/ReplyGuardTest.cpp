#include <gtest/gtest.h>

#include "messages/ReplyGuard.h"
#include "support/FakeClock.h"

namespace zelmo::messages {
namespace {

TEST(ReplyGuardTest, AtMostTheLimitInAnySixtySecondsPerChat) {
    test::FakeClock clock;
    ReplyGuard guard;
    const auto admit = [&](std::string_view chat) { return guard.Admit(chat, clock.TickMs(), 3); };
    EXPECT_TRUE(admit("@a"));  // t = 0
    clock.Advance(20'000);
    EXPECT_TRUE(admit("@a"));  // t = 20 s
    EXPECT_TRUE(admit("@a"));
    EXPECT_FALSE(admit("@a"));
    EXPECT_TRUE(admit("@@group"));  // every chat counts on its own
    // The window slides: at 59.999 s the first reply still counts, at 60 s it has left.
    clock.Advance(39'999);
    EXPECT_FALSE(admit("@a"));
    clock.Advance(1);
    EXPECT_TRUE(admit("@a"));
    EXPECT_FALSE(admit("@a"));
    // A dropped reply is not counted: the two of t = 20 s leave together.
    clock.Advance(20'000);
    EXPECT_TRUE(admit("@a"));
    EXPECT_TRUE(admit("@a"));
    EXPECT_FALSE(admit("@a"));
    // After a quiet hour the chat starts afresh.
    clock.Advance(3'600'000);
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(admit("@a")) << i;
    }
    // No limit admits everything.
    for (int i = 0; i < 100; ++i) {
        EXPECT_TRUE(guard.Admit("@a", clock.TickMs(), 0));
    }
}

TEST(ReplyGuardTest, TheSettingIsADecimalNumberOrTheDefault) {
    EXPECT_EQ(RepliesPerMinute("20"), 20);
    EXPECT_EQ(RepliesPerMinute("0"), 0);
    EXPECT_EQ(RepliesPerMinute("007"), 7);
    // A typing slip must not switch the guard off.
    for (const char* slip : {"", "-1", " 5", "5 ", "abc", "1e3", "２０"}) {
        EXPECT_EQ(RepliesPerMinute(slip), DEFAULT_REPLIES_PER_MINUTE) << slip;
    }
    EXPECT_EQ(RepliesPerMinute("99999999999999999999"), 100000);
}

}  // namespace
}  // namespace zelmo::messages
