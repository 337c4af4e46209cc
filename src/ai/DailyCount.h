#pragma once

#include <cstdint>

namespace zelmo::ai {

// The requests of one local day, for 每日上限. A plain value; its owner guards it.
class DailyCount {
public:
    // Counts one request at `unix_ms` unless `limit` requests were counted on that local day
    // already (false then); a limit of 0 or less counts without a bound. A new day starts at
    // 0, and so does a clock set back to an earlier day.
    bool Take(std::int64_t unix_ms, int limit);
    int Count() const { return m_count; }

private:
    int m_day = -1;  // the local day of m_count, as year * 10000 + month * 100 + day
    int m_count = 0;
};

// The local calendar day of a Unix time, as year * 10000 + month * 100 + day.
int LocalDay(std::int64_t unix_ms);

}  // namespace zelmo::ai
