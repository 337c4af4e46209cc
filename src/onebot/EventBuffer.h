#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace zelmo::onebot {

// Takes the events of a long poll, once.
using EventsDone = std::function<void(std::vector<std::string> events)>;

// The events kept for get_latest_events (JSON texts), oldest first; beyond the capacity the
// oldest go. Every event taken is gone for every poller. Any thread; `done` runs outside the
// lock, on the thread that hands the events over.
class EventBuffer {
public:
    explicit EventBuffer(std::size_t capacity) : m_capacity(capacity == 0 ? 1 : capacity) {}

    void Push(std::string event);
    // At most `limit` events (0: all), oldest first.
    std::vector<std::string> Take(std::size_t limit);
    // Runs `done` now with the events waiting, if any; otherwise with the first event(s)
    // that come, or with none when Expire(ticket) comes first. The ticket; 0 when `done`
    // already ran.
    std::uint64_t TakeOrWait(std::size_t limit, EventsDone done);
    void Expire(std::uint64_t ticket);
    // Every waiting poll gets none; later ones too.
    void Close();

private:
    struct Waiter {
        std::uint64_t ticket = 0;
        std::size_t limit = 0;
        EventsDone done;
    };

    std::vector<std::string> TakeLocked(std::size_t limit);

    std::size_t m_capacity;
    std::mutex m_mutex;
    std::deque<std::string> m_events;
    std::deque<Waiter> m_waiters;
    std::uint64_t m_next_ticket = 1;
    bool m_closed = false;
};

}  // namespace zelmo::onebot
