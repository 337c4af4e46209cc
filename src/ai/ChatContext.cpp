#include "ai/ChatContext.h"

#include <algorithm>

#include "platform/GbkText.h"

namespace zelmo::ai {

MemoryContext::Chat& MemoryContext::Kept(std::string_view chat) const {
    auto found = m_chats.find(chat);
    if (found == m_chats.end()) {
        if (m_chats.size() >= MAX_CHATS) {
            // A linear look for the oldest, only when a new chat would overfill memory.
            m_chats.erase(
                std::min_element(m_chats.begin(), m_chats.end(), [](const auto& a, const auto& b) {
                    return a.second.last_used < b.second.last_used;
                }));
        }
        Chat created;
        created.since_unix_ms = m_clock != nullptr ? m_clock->UnixMs() : 0;
        created.earlier_read = !m_earlier;
        found = m_chats.emplace(std::string(chat), std::move(created)).first;
    }
    found->second.last_used = ++m_uses;
    return found->second;
}

void MemoryContext::Add(std::string_view chat, ChatTurn turn) {
    if (chat.empty()) {
        return;
    }
    if (turn.text.size() > MAX_TEXT_BYTES) {
        turn.text = platform::TruncateGbk(turn.text, MAX_TEXT_BYTES);
    }
    std::lock_guard lock(m_mutex);
    Chat& kept = Kept(chat);
    // The model may have read the chat's past, this message in it, before the message
    // reached here: the newest turns tell.
    if (m_earlier && kept.earlier_read && !turn.id.empty()) {
        const auto newest = kept.turns.end() - static_cast<std::ptrdiff_t>(
                                                   std::min<std::size_t>(kept.turns.size(), 4));
        if (std::any_of(newest, kept.turns.end(),
                        [&](const ChatTurn& known) { return known.id == turn.id; })) {
            return;
        }
    }
    kept.turns.push_back(std::move(turn));
    if (kept.turns.size() > TURNS_PER_CHAT) {
        kept.turns.pop_front();
    }
}

void MemoryContext::ReadEarlier(std::string_view chat) const {
    std::int64_t since_ms = 0;
    {
        std::lock_guard lock(m_mutex);
        const Chat& kept = Kept(chat);
        if (kept.earlier_read) {
            return;
        }
        since_ms = kept.since_unix_ms;
    }
    // Read without the lock: the intake adds while the archive is read.
    std::vector<ChatTurn> earlier = m_earlier(chat, TURNS_PER_CHAT, since_ms);
    std::lock_guard lock(m_mutex);
    Chat& kept = Kept(chat);
    if (kept.earlier_read) {
        return;
    }
    kept.earlier_read = true;
    // A message archived in the moment its chat began here is in both.
    std::erase_if(earlier, [&](const ChatTurn& turn) {
        return !turn.id.empty() &&
               std::any_of(kept.turns.begin(), kept.turns.end(),
                           [&](const ChatTurn& known) { return known.id == turn.id; });
    });
    for (auto turn = earlier.rbegin(); turn != earlier.rend() && kept.turns.size() < TURNS_PER_CHAT;
         ++turn) {
        if (turn->text.size() > MAX_TEXT_BYTES) {
            turn->text = platform::TruncateGbk(turn->text, MAX_TEXT_BYTES);
        }
        kept.turns.push_front(std::move(*turn));
    }
}

std::vector<ChatTurn> MemoryContext::Recent(std::string_view chat, std::size_t count,
                                            std::string_view before_id) const {
    if (m_earlier && count != 0 && !chat.empty()) {
        ReadEarlier(chat);
    }
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
