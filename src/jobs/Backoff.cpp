#include "jobs/Backoff.h"

#include <algorithm>

namespace zelmo::jobs {

int Backoff::Failed() {
    int wait = m_first_ms;
    // Doubling stops at the cap, so the count may grow without the wait overflowing.
    for (int i = 0; i < m_failures && wait < m_max_ms; ++i) {
        wait *= 2;
    }
    ++m_failures;
    return std::min(wait, m_max_ms);
}

bool RetryUntilDone(const platform::Pause& pause, const std::function<bool()>& attempt) {
    Backoff backoff(SERVICE_RETRY_FIRST_MS, SERVICE_RETRY_MAX_MS);
    while (!attempt()) {
        if (!pause(backoff.Failed())) {
            return false;
        }
    }
    return true;
}

}  // namespace zelmo::jobs
