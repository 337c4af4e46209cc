#include "messages/ReplyGuard.h"

#include <iterator>

namespace zelmo::messages {

namespace {

// A limit above this is no guard at all; it also keeps the per-chat lists short.
constexpr int MOST_REPLIES_PER_MINUTE = 100000;

}  // namespace

int RepliesPerMinute(std::string_view setting) {
    if (setting.empty()) {
        return DEFAULT_REPLIES_PER_MINUTE;
    }
    int value = 0;
    for (const char c : setting) {
        if (c < '0' || c > '9') {
            return DEFAULT_REPLIES_PER_MINUTE;
        }
        value = value * 10 + (c - '0');
        if (value > MOST_REPLIES_PER_MINUTE) {
            return MOST_REPLIES_PER_MINUTE;
        }
    }
    return value;
}

bool ReplyGuard::Admit(std::string_view chat, std::int64_t now_ms, int limit) {
    if (limit <= 0) {
        return true;
    }
    std::lock_guard lock(m_mutex);
    ForgetQuietChats(now_ms);
    auto it = m_replies.find(chat);
    if (it == m_replies.end()) {
        it = m_replies.emplace(std::string(chat), std::deque<std::int64_t>{}).first;
    }
    std::deque<std::int64_t>& times = it->second;
    while (!times.empty() && now_ms - times.front() >= REPLY_WINDOW_MS) {
        times.pop_front();
    }
    if (times.size() >= static_cast<std::size_t>(limit)) {
        return false;
    }
    times.push_back(now_ms);
    return true;
}

void ReplyGuard::ForgetQuietChats(std::int64_t now_ms) {
    if (now_ms - m_last_sweep_ms < REPLY_WINDOW_MS) {
        return;
    }
    m_last_sweep_ms = now_ms;
    for (auto it = m_replies.begin(); it != m_replies.end();) {
        const std::deque<std::int64_t>& times = it->second;
        it = times.empty() || now_ms - times.back() >= REPLY_WINDOW_MS ? m_replies.erase(it)
                                                                       : std::next(it);
    }
}

}  // namespace zelmo::messages
