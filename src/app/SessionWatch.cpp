#include "app/SessionWatch.h"

namespace zelmo::app {

void SessionWatch::LoggedIn(std::uint64_t generation, std::int64_t tick_ms) {
    std::lock_guard lock(m_mutex);
    m_generation = generation;
    m_login_tick_ms = tick_ms;
    m_active = false;
    m_proved_told = false;
}

void SessionWatch::Active(std::uint64_t generation) {
    std::lock_guard lock(m_mutex);
    if (generation == m_generation) {
        m_active = true;
    }
}

bool SessionWatch::EndedRightAfterLogin(std::uint64_t generation, std::int64_t tick_ms) const {
    std::lock_guard lock(m_mutex);
    return generation == m_generation && !m_active &&
           tick_ms - m_login_tick_ms <= RIGHT_AFTER_LOGIN_MS;
}

bool SessionWatch::TakeProved(std::uint64_t generation, std::int64_t tick_ms) {
    std::lock_guard lock(m_mutex);
    if (generation != m_generation || m_proved_told ||
        (!m_active && tick_ms - m_login_tick_ms <= RIGHT_AFTER_LOGIN_MS)) {
        return false;
    }
    m_proved_told = true;
    return true;
}

}  // namespace zelmo::app
