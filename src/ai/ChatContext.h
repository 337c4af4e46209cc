#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "ai/ChatTurn.h"

namespace zelmo::ai {

// Where the earlier turns of a chat come from: the message archive, or memory until it is
// there.
class ChatContext {
public:
    virtual ~ChatContext() = default;

    // The chat's last `count` turns, oldest first, that came before the turn whose id is
    // `before_id` (the message being answered); the chat's last `count` turns when no turn
    // has that id or it is empty. Any thread.
    virtual std::vector<ChatTurn> Recent(std::string_view chat, std::size_t count,
                                         std::string_view before_id) const = 0;
};

// The last turns of the chats in memory, both directions, fed by whoever sees them pass.
// Bounded: TURNS_PER_CHAT turns a chat, texts cut at MAX_TEXT_BYTES, and the chat used
// least recently goes when more than MAX_CHATS are kept. Any thread.
class MemoryContext final : public ChatContext {
public:
    static constexpr std::size_t TURNS_PER_CHAT = 50;
    static constexpr std::size_t MAX_CHATS = 1000;
    static constexpr std::size_t MAX_TEXT_BYTES = 4000;

    // Appends a turn to the chat (a friend's or group's UserName).
    void Add(std::string_view chat, ChatTurn turn);

    std::vector<ChatTurn> Recent(std::string_view chat, std::size_t count,
                                 std::string_view before_id) const override;

private:
    struct Chat {
        std::deque<ChatTurn> turns;
        std::uint64_t last_used = 0;
    };

    mutable std::mutex m_mutex;
    std::map<std::string, Chat, std::less<>> m_chats;
    std::uint64_t m_uses = 0;
};

}  // namespace zelmo::ai
