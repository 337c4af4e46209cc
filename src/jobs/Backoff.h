#pragma once

#include <functional>

#include "platform/Pause.h"

namespace zelmo::jobs {

// The waits after consecutive failures: `first_ms`, doubling, at most `max_ms`; a success
// starts over. A plain value: one per loop that retries.
class Backoff {
public:
    constexpr Backoff(int first_ms, int max_ms) : m_first_ms(first_ms), m_max_ms(max_ms) {}

    // One more failure: the wait that should follow it.
    int Failed();
    void Succeeded() { m_failures = 0; }
    int Failures() const { return m_failures; }

private:
    int m_first_ms;
    int m_max_ms;
    int m_failures = 0;
};

// The waits of a failing service request: 1 s, doubling, at most 60 s.
inline constexpr int SERVICE_RETRY_FIRST_MS = 1000;
inline constexpr int SERVICE_RETRY_MAX_MS = 60000;

// Runs `attempt` until it returns true, pausing between failures as a service request
// backs off. False when a pause ended early (the run stops) before an attempt succeeded.
bool RetryUntilDone(const platform::Pause& pause, const std::function<bool()>& attempt);

}  // namespace zelmo::jobs
