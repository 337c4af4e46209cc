#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "messages/SendIds.h"
#include "support/FakeClock.h"

namespace zelmo::messages {
namespace {

TEST(SendIdsTest, MillisecondsThenAFourDigitCounterEachAboveTheLastWhateverTheClock) {
    test::FakeClock clock(1'700'000'000'123);
    SendIds ids(clock);
    const std::string first = ids.Next();
    EXPECT_EQ(first, "17000000001230000");
    // The same millisecond: the counter tells them apart.
    EXPECT_EQ(ids.Next(), "17000000001230001");
    clock.Advance(5);
    EXPECT_EQ(ids.Next(), "17000000001280002");

    // A clock that steps back, and ten thousand ids in one millisecond, still give ids that
    // grow: none may repeat one the service has seen.
    clock.SetUnixMs(1'600'000'000'000);
    std::string last = ids.Next();
    EXPECT_GT(last, "17000000001280002");
    for (int i = 0; i < 10001; ++i) {
        const std::string next = ids.Next();
        ASSERT_EQ(next.size(), 17u);
        ASSERT_GT(next, last);
        last = next;
    }
}

}  // namespace
}  // namespace zelmo::messages
