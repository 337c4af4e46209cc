#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/FairMutex.h"
#include "platform/ManualResetEvent.h"

namespace zelmo::platform {
namespace {

TEST(FairMutexTest, AThreadThatLocksAgainQueuesBehindTheWaiters) {
    FairMutex mutex;
    std::mutex order_mutex;
    std::vector<std::string> order;
    auto note = [&](const char* who) {
        std::lock_guard lock(order_mutex);
        order.emplace_back(who);
    };
    mutex.lock();
    ManualResetEvent release;
    std::thread waiter([&] {
        std::lock_guard lock(mutex);
        note("waiter");
        release.Wait();
    });
    while (mutex.Waiting() == 0) {
        std::this_thread::yield();
    }
    mutex.unlock();
    // Free or not, it is the waiter's now.
    EXPECT_FALSE(mutex.try_lock());
    release.Set();
    mutex.lock();
    note("again");
    mutex.unlock();
    waiter.join();
    EXPECT_EQ(order, (std::vector<std::string>{"waiter", "again"}));
}

TEST(FairMutexTest, ManyThreadsExcludeEachOther) {
    FairMutex mutex;
    int counter = 0;
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 2000; ++i) {
                std::lock_guard lock(mutex);
                ++counter;
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(counter, 16000);
    EXPECT_TRUE(mutex.try_lock());
    EXPECT_FALSE(mutex.try_lock());
    mutex.unlock();
}

}  // namespace
}  // namespace zelmo::platform
