#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace zelmo::platform {

// A mutex that goes to its waiters in the order they asked for it, so a thread that
// unlocks and at once locks again queues behind those already waiting. Lockable: works
// with std::lock_guard and std::unique_lock. Any thread; not recursive.
class FairMutex {
public:
    // The standard library's Lockable names.
    void lock();      // NOLINT(readability-identifier-naming)
    bool try_lock();  // NOLINT(readability-identifier-naming)
    void unlock();    // NOLINT(readability-identifier-naming)
    // Threads queued for the mutex now, not counting its holder.
    std::uint64_t Waiting();

private:
    std::mutex m_mutex;
    std::condition_variable m_turn;
    std::uint64_t m_next_ticket = 0;
    std::uint64_t m_serving = 0;
    bool m_held = false;
};

}  // namespace zelmo::platform
