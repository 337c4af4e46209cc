#include "ai/ChatContext.h"

#include <algorithm>

#include "platform/GbkText.h"

namespace zelmo::ai {

void MemoryContext::Add(std::string_view chat, ChatTurn turn) {
    if (chat.empty()) {
        return;
    }
    if (turn.text.size() > MAX_TEXT_BYTES) {
        turn.text = platform::TruncateGbk(turn.text, MAX_TEXT_BYTES);
    }
    std::lock_guard lock(m_mutex);
    auto found = m_chats.find(chat);
    if (found == m_chats.end()) {
        if (m_chats.size() >= MAX_CHATS) {
            // A linear look for the oldest, only when a new chat would overfill memory.
            m_chats.erase(
                std::min_element(m_chats.begin(), m_chats.end(), [](const auto& a, const auto& b) {
                    return a.second.last_used < b.second.last_used;
                }));
        }
        found = m_chats.emplace(std::string(chat), Chat{}).first;
    }
    Chat& kept = found->second;
    kept.last_used = ++m_uses;
    kept.turns.push_back(std::move(turn));
    if (kept.turns.size() > TURNS_PER_CHAT) {
        kept.turns.pop_front();
    }
}

std::vector<ChatTurn> MemoryContext::Recent(std::string_view chat, std::size_t count,
                                            std::string_view before_id) const {
    std::lock_guard lock(m_mutex);
    const auto found = m_chats.find(chat);
    if (found == m_chats.end() || count == 0) {
        return {};
    }
    const std::deque<ChatTurn>& turns = found->second.turns;
    auto end = turns.end();
    if (!before_id.empty()) {
        const auto asked = std::find_if(turns.rbegin(), turns.rend(),
                                        [&](const ChatTurn& turn) { return turn.id == before_id; });
        if (asked != turns.rend()) {
            end = std::prev(asked.base());
        }
    }
    const auto available = static_cast<std::size_t>(end - turns.begin());
    const auto begin = end - static_cast<std::ptrdiff_t>(std::min(count, available));
    return {begin, end};
}

}  // namespace zelmo::ai
