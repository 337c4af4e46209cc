#include "support/FakeClock.h"

#include <algorithm>

namespace zelmo::test {

FakeClock::FakeClock(std::int64_t unix_ms, std::uint32_t seed)
    : m_unix_ms(unix_ms), m_generator(seed) {}

std::int64_t FakeClock::UnixMs() const {
    std::lock_guard lock(m_mutex);
    return m_unix_ms;
}

std::int64_t FakeClock::TickMs() const {
    std::lock_guard lock(m_mutex);
    return m_tick_ms;
}

int FakeClock::Random(int low, int high) {
    std::lock_guard lock(m_mutex);
    ++m_random_calls;
    if (high < low) {
        std::swap(low, high);
    }
    if (!m_script.empty()) {
        const int value = m_script.front();
        m_script.pop_front();
        return std::clamp(value, low, high);
    }
    return std::uniform_int_distribution<int>(low, high)(m_generator);
}

void FakeClock::Advance(std::int64_t ms) {
    std::lock_guard lock(m_mutex);
    m_unix_ms += ms;
    m_tick_ms += ms;
}

void FakeClock::SetUnixMs(std::int64_t unix_ms) {
    std::lock_guard lock(m_mutex);
    m_unix_ms = unix_ms;
}

void FakeClock::ScriptRandom(std::initializer_list<int> values) {
    std::lock_guard lock(m_mutex);
    m_script.insert(m_script.end(), values.begin(), values.end());
}

int FakeClock::RandomCalls() const {
    std::lock_guard lock(m_mutex);
    return m_random_calls;
}

}  // namespace zelmo::test
