#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "platform/ManualResetEvent.h"

namespace zelmo::platform {
namespace {

using std::chrono::milliseconds;

TEST(ManualResetEventTest, SetWakesEveryWaiterAndStaysSet) {
    ManualResetEvent event;
    std::atomic<int> woken{0};
    std::vector<std::thread> waiters;
    waiters.reserve(8);
    for (int i = 0; i < 8; ++i) {
        waiters.emplace_back([&] {
            if (event.WaitFor(milliseconds(10000))) {
                ++woken;
            }
        });
    }
    event.Set();
    for (std::thread& waiter : waiters) {
        waiter.join();
    }
    EXPECT_EQ(woken, 8);
    // It stays signalled: later waits return at once, again and again.
    EXPECT_TRUE(event.IsSet());
    event.Wait();
    EXPECT_TRUE(event.WaitFor(milliseconds(0)));
    EXPECT_TRUE(event.WaitFor(milliseconds(0)));
}

TEST(ManualResetEventTest, ResetMakesWaitsTimeOut) {
    ManualResetEvent event(true);
    EXPECT_TRUE(event.WaitFor(milliseconds(0)));
    event.Reset();
    EXPECT_FALSE(event.IsSet());
    EXPECT_FALSE(event.WaitFor(milliseconds(5)));
}

}  // namespace
}  // namespace zelmo::platform
