#include "messages/SendIds.h"

namespace zelmo::messages {

namespace {

constexpr std::int64_t COUNTER_SPAN = 10000;

}  // namespace

std::string SendIds::Next() {
    const std::int64_t now_ms = m_clock.UnixMs();
    std::lock_guard lock(m_mutex);
    std::int64_t id = now_ms * COUNTER_SPAN + m_counter % COUNTER_SPAN;
    ++m_counter;
    if (id <= m_last) {
        id = m_last + 1;
    }
    m_last = id;
    return std::to_string(id);
}

}  // namespace zelmo::messages
