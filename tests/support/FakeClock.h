#pragma once

#include <cstdint>
#include <deque>
#include <initializer_list>
#include <mutex>
#include <random>

#include "platform/Clock.h"

namespace zelmo::test {

// A clock that moves only when told. Random() first hands out scripted values in order
// (each clamped into the asked range), then draws from a generator with a fixed seed, so
// every run sees the same numbers. Safe to call from any thread.
class FakeClock final : public platform::Clock {
public:
    // 2024-01-01 00:00:00 UTC: a fixed, ordinary wall-clock start.
    static constexpr std::int64_t DEFAULT_START_MS = 1704067200000;

    explicit FakeClock(std::int64_t unix_ms = DEFAULT_START_MS, std::uint32_t seed = 1);

    std::int64_t UnixMs() const override;
    std::int64_t TickMs() const override;
    int Random(int low, int high) override;

    // Moves both the wall clock and the monotonic clock forward.
    void Advance(std::int64_t ms);
    // Sets the wall clock only (the monotonic clock never goes back).
    void SetUnixMs(std::int64_t unix_ms);
    // Queues values that the next Random() calls return, in order.
    void ScriptRandom(std::initializer_list<int> values);
    // How many times Random() was called.
    int RandomCalls() const;

private:
    mutable std::mutex m_mutex;
    std::int64_t m_unix_ms;
    std::int64_t m_tick_ms = 0;
    std::deque<int> m_script;
    std::mt19937 m_generator;
    int m_random_calls = 0;
};

}  // namespace zelmo::test
