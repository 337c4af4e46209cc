#include "platform/FairMutex.h"

namespace zelmo::platform {

void FairMutex::lock() {
    std::unique_lock lock(m_mutex);
    const std::uint64_t ticket = m_next_ticket++;
    m_turn.wait(lock, [this, ticket] { return m_serving == ticket; });
    m_held = true;
}

bool FairMutex::try_lock() {
    std::lock_guard lock(m_mutex);
    if (m_serving != m_next_ticket) {
        return false;
    }
    ++m_next_ticket;
    m_held = true;
    return true;
}

void FairMutex::unlock() {
    {
        std::lock_guard lock(m_mutex);
        ++m_serving;
        m_held = false;
    }
    // Every waiter checks its ticket; only the next one goes on.
    m_turn.notify_all();
}

std::uint64_t FairMutex::Waiting() {
    std::lock_guard lock(m_mutex);
    return m_next_ticket - m_serving - (m_held ? 1 : 0);
}

}  // namespace zelmo::platform
