#include "onebot/Webhook.h"

#include <array>
#include <chrono>

#include "jobs/Backoff.h"
#include "onebot/Events.h"
#include "platform/HeaderLines.h"
#include "platform/Json.h"

namespace zelmo::onebot {

namespace {

constexpr std::size_t MAX_ANSWER_BYTES = 1u << 20;
// A drop is logged the first time and then once in so many, so a long outage does not
// flood the log.
constexpr std::uint64_t DROP_LOG_EVERY = 100;

std::int64_t NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

}  // namespace

Webhook::Webhook(std::string url, WebhookParts parts, std::size_t capacity)
    : m_url(std::move(url)),
      m_parts(std::move(parts)),
      m_capacity(capacity == 0 ? 1 : capacity),
      m_thread([this] { Run(); }) {}

Webhook::~Webhook() {
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_changed.notify_all();
    m_thread.join();
}

void Webhook::Push(std::string event) {
    bool log_drop = false;
    std::uint64_t dropped = 0;
    {
        std::lock_guard lock(m_mutex);
        if (m_stopping) {
            return;
        }
        m_queue.push_back(std::move(event));
        if (m_queue.size() > m_capacity) {
            m_queue.pop_front();
            ++m_front_serial;
            dropped = ++m_dropped;
            log_drop = dropped % DROP_LOG_EVERY == 1;
        }
    }
    m_changed.notify_all();
    if (log_drop && m_parts.log) {
        m_parts.log("OneBot Webhook " + m_url + " 跟不上，丢弃了最早的事件（共丢弃 " +
                    std::to_string(dropped) + " 条）");
    }
}

void Webhook::Run() {
    jobs::Backoff backoff(WEBHOOK_RETRY_FIRST_MS, WEBHOOK_RETRY_MAX_MS);
    for (;;) {
        std::string event;
        std::uint64_t serial = 0;
        {
            std::unique_lock lock(m_mutex);
            m_changed.wait(lock, [this] { return m_stopping || !m_queue.empty(); });
            if (m_stopping) {
                return;
            }
            event = m_queue.front();
            serial = m_front_serial;
        }
        const bool delivered = Post(event);
        std::unique_lock lock(m_mutex);
        if (delivered) {
            backoff.Succeeded();
            // Unless the event was dropped meanwhile, it leaves the queue now.
            if (m_front_serial == serial && !m_queue.empty()) {
                m_queue.pop_front();
                ++m_front_serial;
            }
            continue;
        }
        const int wait_ms = backoff.Failed();
        if (backoff.Failures() == 1 && m_parts.log) {
            lock.unlock();
            m_parts.log("OneBot Webhook " + m_url + " 未接收事件，稍后重试");
            lock.lock();
        }
        m_changed.wait_for(lock, std::chrono::milliseconds(wait_ms), [this] { return m_stopping; });
        if (m_stopping) {
            return;
        }
    }
}

bool Webhook::Post(const std::string& event) {
    std::string authorization;
    std::array<std::string_view, 6> headers = {
        "Content-Type: application/json", "User-Agent: OneBot/12 (wechat) Zelmo/0.1",
        "X-OneBot-Version: 12",           "X-Impl: zelmo",
        "Accept: application/json",       ""};
    std::size_t count = 5;
    if (!m_parts.token.empty()) {
        authorization = "Authorization: Bearer " + m_parts.token;
        headers[count++] = authorization;
    }
    platform::AnswerHead head;
    platform::RequestOptions options;
    options.method = "POST";
    options.body = event;
    options.timeout_s = WEBHOOK_TIMEOUT_S;
    options.extra_headers = std::span<const std::string_view>(headers.data(), count);
    options.head = &head;
    options.max_body_bytes = MAX_ANSWER_BYTES;
    options.allow_loopback_http = true;
    options.direct = true;
    const std::string answer = m_parts.web.Request(m_url, options);
    if (!head.complete || (head.status != 200 && head.status != 204)) {
        return false;
    }
    m_last_delivered_ms.store(NowMs());
    if (head.status != 200 || answer.empty() || !m_parts.run_action) {
        return true;
    }
    const std::string type = platform::HeaderValue(head.headers, "Content-Type");
    if (type.find("json") == std::string::npos) {
        return true;
    }
    const std::optional<platform::Json> actions = platform::ParseJson(answer);
    if (!actions || !actions->IsArray()) {
        if (m_parts.log) {
            m_parts.log("OneBot Webhook " + m_url + " 的 200 回答不是动作列表，已忽略");
        }
        return true;
    }
    for (const platform::Json& action : actions->Items()) {
        m_parts.run_action(platform::WriteJson(action));
    }
    return true;
}

}  // namespace zelmo::onebot
