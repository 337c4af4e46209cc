#include "onebot/EventBuffer.h"

#include <algorithm>

namespace zelmo::onebot {

void EventBuffer::Push(std::string event) {
    Waiter waiter;
    std::vector<std::string> events;
    {
        std::lock_guard lock(m_mutex);
        if (m_closed) {
            return;
        }
        m_events.push_back(std::move(event));
        while (m_events.size() > m_capacity) {
            m_events.pop_front();
        }
        if (m_waiters.empty()) {
            return;
        }
        waiter = std::move(m_waiters.front());
        m_waiters.pop_front();
        events = TakeLocked(waiter.limit);
    }
    waiter.done(std::move(events));
}

std::vector<std::string> EventBuffer::Take(std::size_t limit) {
    std::lock_guard lock(m_mutex);
    return TakeLocked(limit);
}

std::vector<std::string> EventBuffer::TakeLocked(std::size_t limit) {
    const std::size_t count = limit == 0 ? m_events.size() : std::min(limit, m_events.size());
    std::vector<std::string> events;
    events.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        events.push_back(std::move(m_events.front()));
        m_events.pop_front();
    }
    return events;
}

std::uint64_t EventBuffer::TakeOrWait(std::size_t limit, EventsDone done) {
    std::vector<std::string> events;
    {
        std::lock_guard lock(m_mutex);
        if (!m_events.empty() || m_closed) {
            events = TakeLocked(limit);
        } else {
            const std::uint64_t ticket = m_next_ticket++;
            m_waiters.push_back(Waiter{ticket, limit, std::move(done)});
            return ticket;
        }
    }
    done(std::move(events));
    return 0;
}

void EventBuffer::Expire(std::uint64_t ticket) {
    EventsDone done;
    {
        std::lock_guard lock(m_mutex);
        for (auto it = m_waiters.begin(); it != m_waiters.end(); ++it) {
            if (it->ticket == ticket) {
                done = std::move(it->done);
                m_waiters.erase(it);
                break;
            }
        }
    }
    if (done) {
        done({});
    }
}

void EventBuffer::Close() {
    std::deque<Waiter> waiters;
    {
        std::lock_guard lock(m_mutex);
        m_closed = true;
        waiters.swap(m_waiters);
    }
    for (Waiter& waiter : waiters) {
        waiter.done({});
    }
}

}  // namespace zelmo::onebot
