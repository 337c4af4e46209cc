#include "ai/DailyCount.h"

#include <ctime>

namespace zelmo::ai {

bool DailyCount::Take(std::int64_t unix_ms, int limit) {
    const int day = LocalDay(unix_ms);
    if (day != m_day) {
        m_day = day;
        m_count = 0;
    }
    if (limit > 0 && m_count >= limit) {
        return false;
    }
    ++m_count;
    return true;
}

int LocalDay(std::int64_t unix_ms) {
    // Floor division: a time before 1970 still falls on its own day.
    const std::int64_t seconds = unix_ms >= 0 ? unix_ms / 1000 : (unix_ms - 999) / 1000;
    const auto when = static_cast<std::time_t>(seconds);
    std::tm local{};
    if (localtime_r(&when, &local) == nullptr) {
        return 0;
    }
    return (local.tm_year + 1900) * 10000 + (local.tm_mon + 1) * 100 + local.tm_mday;
}

}  // namespace zelmo::ai
