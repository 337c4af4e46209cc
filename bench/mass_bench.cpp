// How long a reply waits for SendLock while a mass run sends back to back (message pause
// 0): with a plain mutex the run can take the lock again before the waiting reply wakes;
// with the robot's FairMutex the reply goes next. Each send is simulated by holding the
// lock for HOLD; the figures to read are the printed sends waited per reply (the run's
// sends that ended while the reply waited) and the time per reply.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <thread>

#include "platform/FairMutex.h"

namespace {

constexpr auto HOLD = std::chrono::microseconds(300);

template <typename Mutex>
const char* MutexName();
template <>
const char* MutexName<std::mutex>() {
    return "std::mutex";
}
template <>
const char* MutexName<zelmo::platform::FairMutex>() {
    return "FairMutex";
}

template <typename Mutex>
void BM_ReplyBehindABackToBackRun(benchmark::State& state) {
    Mutex send_lock;
    std::atomic<bool> running{true};
    std::thread run([&] {
        while (running.load()) {
            std::lock_guard lock(send_lock);
            std::this_thread::sleep_for(HOLD);
        }
    });
    double worst = 0;
    double total = 0;
    std::int64_t replies = 0;
    for (auto _ : state) {
        const auto asked = std::chrono::steady_clock::now();
        { std::lock_guard lock(send_lock); }
        const std::chrono::duration<double> waited = std::chrono::steady_clock::now() - asked;
        state.SetIterationTime(waited.count());
        const double holds = waited / std::chrono::duration<double>(HOLD);
        worst = std::max(worst, holds);
        total += holds;
        ++replies;
        // Replies come now and then, not back to back.
        std::this_thread::sleep_for(HOLD * 3);
    }
    running.store(false);
    run.join();
    // Printed as counted: the library's counter column rescales these figures.
    std::printf("%s: sends waited per reply: mean %.2f, max %lld (%lld replies)\n",
                MutexName<Mutex>(),
                replies > 0 ? static_cast<double>(total) / static_cast<double>(replies) : 0.0,
                static_cast<long long>(worst), static_cast<long long>(replies));
}

BENCHMARK(BM_ReplyBehindABackToBackRun<std::mutex>)->UseManualTime()->Iterations(300);
BENCHMARK(BM_ReplyBehindABackToBackRun<zelmo::platform::FairMutex>)
    ->UseManualTime()
    ->Iterations(300);

}  // namespace
