#include "protocol/Connection.h"

namespace zelmo::protocol {

void Connection::Set(int state) {
    {
        std::lock_guard lock(m_mutex);
        m_state = state;
    }
    m_changed.notify_all();
}

std::uint64_t Connection::Generation() const {
    std::lock_guard lock(m_mutex);
    return m_generation;
}

void Connection::ReportSessionEnd() {
    {
        std::lock_guard lock(m_mutex);
        m_state = STATE_OFFLINE;
        ++m_generation;
    }
    m_changed.notify_all();
}

bool Connection::SetFound(std::uint64_t generation, int state) {
    {
        std::lock_guard lock(m_mutex);
        if (generation != m_generation) {
            return false;
        }
        m_state = state;
    }
    m_changed.notify_all();
    return true;
}

int Connection::State() const {
    std::lock_guard lock(m_mutex);
    return m_state;
}

bool Connection::WaitOnline() const {
    std::unique_lock lock(m_mutex);
    ++m_waiting;
    m_changed.notify_all();  // tells WaitForWaiters
    m_changed.wait(lock, [this] { return m_shut || m_state == STATE_ONLINE; });
    --m_waiting;
    return !m_shut;
}

bool Connection::WaitOnlineFor(std::chrono::milliseconds timeout) const {
    std::unique_lock lock(m_mutex);
    m_changed.wait_for(lock, timeout, [this] { return m_shut || m_state == STATE_ONLINE; });
    return !m_shut && m_state == STATE_ONLINE;
}

void Connection::Shut() {
    {
        std::lock_guard lock(m_mutex);
        m_shut = true;
    }
    m_changed.notify_all();
}

bool Connection::IsShut() const {
    std::lock_guard lock(m_mutex);
    return m_shut;
}

bool Connection::WaitForWaiters(std::size_t count, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, timeout, [&] { return m_waiting >= count; });
}

}  // namespace zelmo::protocol
