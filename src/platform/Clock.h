#pragma once

#include <cstdint>

namespace zelmo::platform {

// The time and randomness seam: production uses SystemClock, tests a fake that
// advances by hand. Implementations are safe to call from any thread.
class Clock {
public:
    virtual ~Clock() = default;
    // Milliseconds since the Unix epoch (wall clock).
    virtual std::int64_t UnixMs() const = 0;
    // Monotonic milliseconds, for measuring durations.
    virtual std::int64_t TickMs() const = 0;
    // A uniformly drawn integer in [low, high].
    virtual int Random(int low, int high) = 0;
};

class SystemClock final : public Clock {
public:
    std::int64_t UnixMs() const override;
    std::int64_t TickMs() const override;
    int Random(int low, int high) override;
};

}  // namespace zelmo::platform
