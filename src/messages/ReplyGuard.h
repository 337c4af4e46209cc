#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <string_view>

namespace zelmo::messages {

// The window the reply limit counts in.
inline constexpr std::int64_t REPLY_WINDOW_MS = 60'000;
// The limit when the setting is missing or not a number.
inline constexpr int DEFAULT_REPLIES_PER_MINUTE = 20;

// The setting 每分钟回复上限 as a limit: a decimal number of replies per chat and minute,
// 0 for none; DEFAULT_REPLIES_PER_MINUTE for anything else.
int RepliesPerMinute(std::string_view setting);

// Keeps two robots (or a robot and an echoing service) from answering each other for
// ever: at most `limit` replies per chat in any REPLY_WINDOW_MS. Any thread.
class ReplyGuard {
public:
    // True, and the reply counted, when `chat` got fewer than `limit` replies in the
    // window ending at now_ms; false when the reply is to be dropped. A limit of 0 or
    // less admits everything.
    bool Admit(std::string_view chat, std::int64_t now_ms, int limit);

private:
    // Drops chats whose every reply has left the window, so the map holds only chats
    // that were answered in the last minute.
    void ForgetQuietChats(std::int64_t now_ms);

    std::mutex m_mutex;
    std::map<std::string, std::deque<std::int64_t>, std::less<>> m_replies;
    std::int64_t m_last_sweep_ms = 0;
};

}  // namespace zelmo::messages
