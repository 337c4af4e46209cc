#include "platform/Clock.h"

#include <chrono>
#include <random>
#include <utility>

namespace zelmo::platform {

std::int64_t SystemClock::UnixMs() const {
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

std::int64_t SystemClock::TickMs() const {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

int SystemClock::Random(int low, int high) {
    // One generator per thread: seeded once, no lock on the hot path.
    thread_local std::mt19937 generator{std::random_device{}()};
    if (high < low) {
        std::swap(low, high);  // a reversed range is undefined for the distribution
    }
    return std::uniform_int_distribution<int>(low, high)(generator);
}

}  // namespace zelmo::platform
