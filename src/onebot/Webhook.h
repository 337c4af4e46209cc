#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

#include "platform/WebClient.h"

namespace zelmo::onebot {

inline constexpr std::size_t WEBHOOK_QUEUE = 1000;
inline constexpr int WEBHOOK_TIMEOUT_S = 5;
// After a failed post the same event is tried again after these waits.
inline constexpr int WEBHOOK_RETRY_FIRST_MS = 1000;
inline constexpr int WEBHOOK_RETRY_MAX_MS = 60000;

// What a webhook needs besides its URL.
struct WebhookParts {
    const platform::WebClient& web;
    std::string token;
    // Runs the action requests a 200 answer carried (each a JSON text), in order, on the
    // webhook's thread.
    std::function<void(std::string request)> run_action;
    std::function<void(std::string_view utf8_line)> log;
};

// Posts every event to one URL, one at a time and in order, on its own thread: 204 or 200 is
// delivered (a 200's list of actions is run), anything else is tried again after a back-off.
// A webhook that is down never holds the robot: its queue keeps at most `capacity` events and
// drops the oldest (logged). Any thread.
class Webhook {
public:
    Webhook(std::string url, WebhookParts parts, std::size_t capacity = WEBHOOK_QUEUE);
    // Stops: what is queued is dropped.
    ~Webhook();
    Webhook(const Webhook&) = delete;
    Webhook& operator=(const Webhook&) = delete;

    void Push(std::string event);
    // Unix ms of the last delivery; 0 before the first.
    std::int64_t LastDeliveredMs() const { return m_last_delivered_ms.load(); }
    const std::string& Url() const { return m_url; }

private:
    void Run();
    // One post; true when delivered.
    bool Post(const std::string& event);

    std::string m_url;
    WebhookParts m_parts;
    std::size_t m_capacity;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<std::string> m_queue;
    std::uint64_t m_front_serial = 0;  // counts pops, so a retry knows its event is still first
    std::uint64_t m_dropped = 0;
    bool m_stopping = false;
    std::atomic<std::int64_t> m_last_delivered_ms{0};
    std::thread m_thread;
};

}  // namespace zelmo::onebot
