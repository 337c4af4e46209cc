#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace zelmo::onebot {

// A message a framework may name later: to quote it in a reply, or to recall it.
struct RememberedMessage {
    std::string message_id;
    std::string chat;         // the friend's or the group's id (its key)
    std::string sender_name;  // who wrote it, as people read the name (UTF-8)
    std::string text;         // its plain text (UTF-8)
    std::int64_t unix_ms = 0;
    bool own = false;  // a message this robot sent
    // For a message this robot sent: the service's ids a recall needs, one pair for each
    // send it took (a text, each file); an id empty when unknown.
    struct SentPart {
        std::string svr_msg_id;
        std::string client_msg_id;
    };
    std::vector<SentPart> parts;
};

// The latest messages received and sent, by message_id; the oldest go beyond the capacity.
// Any thread.
class MessageMemory {
public:
    static constexpr std::size_t DEFAULT_CAPACITY = 5000;

    explicit MessageMemory(std::size_t capacity = DEFAULT_CAPACITY) : m_capacity(capacity) {}

    // A message with the id of one already kept replaces it.
    void Remember(RememberedMessage message);
    std::optional<RememberedMessage> Find(std::string_view message_id) const;

private:
    std::size_t m_capacity;
    mutable std::mutex m_mutex;
    std::deque<std::string> m_order;  // ids, oldest first
    std::unordered_map<std::string, RememberedMessage> m_messages;
};

}  // namespace zelmo::onebot
