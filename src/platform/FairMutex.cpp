#include "platform/FairMutex.h"

namespace zelmo::platform {

void FairMutex::lock() {
    std::unique_lock lock(m_mutex);
    const std::uint64_t ticket = m_next_ticket++;
    m_turn.wait(lock, [this, ticket] { return m_serving == ticket; });
}

bool FairMutex::try_lock() {
    std::lock_guard lock(m_mutex);
    if (m_serving != m_next_ticket) {
        return false;
    }
    ++m_next_ticket;
    return true;
}

void FairMutex::unlock() {
    {
        std::lock_guard lock(m_mutex);
        ++m_serving;
    }
    // Every waiter checks its ticket; only the next one goes on.
    m_turn.notify_all();
}

}  // namespace zelmo::platform
