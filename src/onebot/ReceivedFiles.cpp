#include "onebot/ReceivedFiles.h"

namespace zelmo::onebot {

void ReceivedFiles::Remember(std::string file_id, std::string item) {
    if (m_capacity == 0 || file_id.empty()) {
        return;
    }
    std::lock_guard lock(m_mutex);
    const auto [found, added] = m_items.try_emplace(file_id);
    if (added) {
        m_order.push_back(std::move(file_id));
    }
    found->second = std::move(item);
    while (m_order.size() > m_capacity) {
        m_items.erase(m_order.front());
        m_order.pop_front();
    }
}

std::optional<std::string> ReceivedFiles::Find(std::string_view file_id) const {
    std::lock_guard lock(m_mutex);
    const auto found = m_items.find(std::string(file_id));
    if (found == m_items.end()) {
        return std::nullopt;
    }
    return found->second;
}

}  // namespace zelmo::onebot
