#include "protocol/RecentMessageIds.h"

namespace zelmo::protocol {

RecentMessageIds::RecentMessageIds(std::size_t capacity)
    : m_capacity(capacity == 0 ? 1 : capacity) {
    m_known.reserve(m_capacity);
}

bool RecentMessageIds::Add(std::string_view id) {
    if (id.empty()) {
        return true;
    }
    if (m_known.contains(id)) {
        return false;
    }
    if (m_order.size() >= m_capacity) {
        m_known.erase(m_order.front());
        m_order.pop_front();
    }
    // A deque keeps its strings in place as it grows at the back and shrinks at the front,
    // so the set's views stay valid.
    m_order.emplace_back(id);
    m_known.insert(m_order.back());
    return true;
}

}  // namespace zelmo::protocol
