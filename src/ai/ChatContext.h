#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "ai/ChatTurn.h"
#include "platform/Clock.h"

namespace zelmo::ai {

// Where the earlier turns of a chat come from.
class ChatContext {
public:
    virtual ~ChatContext() = default;

    // The chat's last `count` turns, oldest first, that came before the turn whose id is
    // `before_id` (the message being answered); the chat's last `count` turns when no turn
    // has that id or it is empty. Any thread.
    virtual std::vector<ChatTurn> Recent(std::string_view chat, std::size_t count,
                                         std::string_view before_id) const = 0;
};

// A chat's turns kept elsewhere (the archive of earlier runs) up to `until_unix_ms`: at most
// `count`, oldest first.
using EarlierTurns = std::function<std::vector<ChatTurn>(std::string_view chat, std::size_t count,
                                                         std::int64_t until_unix_ms)>;

// The last turns of the chats in memory, both directions, fed by whoever sees them pass.
// Bounded: TURNS_PER_CHAT turns a chat, texts cut at MAX_TEXT_BYTES, and the chat used
// least recently goes when more than MAX_CHATS are kept. Any thread.
class MemoryContext final : public ChatContext {
public:
    static constexpr std::size_t TURNS_PER_CHAT = 50;
    static constexpr std::size_t MAX_CHATS = 1000;
    static constexpr std::size_t MAX_TEXT_BYTES = 4000;

    MemoryContext() = default;
    // The first time a chat is asked for, `earlier` gives what came before memory began to
    // keep it (a restart starts with the chat's past, not empty): the turns up to the moment
    // its first turn was added, less those memory has (by id). It runs on the asking thread,
    // never on the one that adds.
    MemoryContext(EarlierTurns earlier, const platform::Clock& clock)
        : m_earlier(std::move(earlier)), m_clock(&clock) {}

    // Appends a turn to the chat (a friend's or group's UserName).
    void Add(std::string_view chat, ChatTurn turn);

    std::vector<ChatTurn> Recent(std::string_view chat, std::size_t count,
                                 std::string_view before_id) const override;

private:
    struct Chat {
        std::deque<ChatTurn> turns;
        std::uint64_t last_used = 0;
        std::int64_t since_unix_ms = 0;  // when memory began to keep it
        bool earlier_read = false;
    };

    // The chat's record, made when there is none (the lock held).
    Chat& Kept(std::string_view chat) const;
    // Puts the chat's earlier turns in front of its turns once.
    void ReadEarlier(std::string_view chat) const;

    EarlierTurns m_earlier;
    const platform::Clock* m_clock = nullptr;
    mutable std::mutex m_mutex;
    // Mutable: an ask may fill a chat's past in.
    mutable std::map<std::string, Chat, std::less<>> m_chats;
    mutable std::uint64_t m_uses = 0;
};

}  // namespace zelmo::ai
