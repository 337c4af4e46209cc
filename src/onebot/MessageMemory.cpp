#include "onebot/MessageMemory.h"

namespace zelmo::onebot {

void MessageMemory::Remember(RememberedMessage message) {
    if (m_capacity == 0 || message.message_id.empty()) {
        return;
    }
    std::lock_guard lock(m_mutex);
    const auto [found, added] = m_messages.try_emplace(message.message_id);
    if (added) {
        m_order.push_back(message.message_id);
    }
    found->second = std::move(message);
    while (m_order.size() > m_capacity) {
        m_messages.erase(m_order.front());
        m_order.pop_front();
    }
}

std::optional<RememberedMessage> MessageMemory::Find(std::string_view message_id) const {
    std::lock_guard lock(m_mutex);
    const auto found = m_messages.find(std::string(message_id));
    if (found == m_messages.end()) {
        return std::nullopt;
    }
    return found->second;
}

}  // namespace zelmo::onebot
