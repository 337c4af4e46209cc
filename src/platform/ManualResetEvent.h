#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace zelmo::platform {

// An event that stays signalled until Reset(), waking every waiter.
class ManualResetEvent {
public:
    explicit ManualResetEvent(bool signalled = false) : m_signalled(signalled) {}

    void Set();
    void Reset();
    bool IsSet() const;
    void Wait() const;
    // True when signalled before the time-out ran out.
    bool WaitFor(std::chrono::milliseconds timeout) const;

private:
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    bool m_signalled;
};

}  // namespace zelmo::platform
