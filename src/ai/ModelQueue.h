#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>

#include "ai/ChatContext.h"
#include "ai/ChatTurn.h"
#include "ai/DailyCount.h"
#include "ai/ModelAnswer.h"
#include "config/SettingsStore.h"
#include "jobs/Backoff.h"
#include "jobs/ThreadStarter.h"
#include "platform/Clock.h"
#include "platform/WebClient.h"

namespace zelmo::ai {

// A message the model is to answer.
struct Question {
    std::string chat;           // the friend's or group's UserName: where the answer goes
    ChatTurn turn;              // its id, its speaker in groups, and the text QuestionFor gave
    std::int64_t asked_ms = 0;  // monotonic: when the message came, for the reply's age
};

enum class ModelOutcome {
    Answered,    // text holds the answer
    Superseded,  // a newer message of the chat came first: it alone is answered
    Failed,      // reason says why; the reply falls back as without the model
    OverLimit,   // 每日上限 reached for today; falls back too
    Stopped,     // the queue stopped before an answer came
};

// What became of a question (GBK texts).
struct ModelResult {
    ModelOutcome outcome = ModelOutcome::Failed;
    std::string chat;
    std::string message_id;  // the question's turn id
    std::string text;        // the answer, plain, cut to 最长回复, line breaks as "\n"
    std::string model;       // the model that answered, as the endpoint named it, else 模型
    std::string reason;      // for the log row when there is no answer
    // The "错误提示" text when a setting is wrong (密钥, 接口地址, 模型), the first time only
    // until an answer comes or the settings change; empty otherwise.
    std::string box;
    int total_tokens = -1;      // as the endpoint counted them; -1 when it did not say
    std::int64_t asked_ms = 0;  // the question's
};

using ModelResultCallback = std::function<void(const ModelResult& result)>;

// What the queue works with: the robot's WebClient config (its trusted CAs and time-out
// scale; the service's connect_to is never used for the model), the settings (the [AI回复]
// section and the robot's name), the earlier turns of chats, the run's threads, the clock (the
// local day of 每日上限, the back-off), and where results go.
struct ModelQueueParts {
    platform::WebClientConfig web;
    const config::SettingsStore& settings;
    const ChatContext& context;
    jobs::ThreadStarter start_thread;
    const platform::Clock& clock;
    ModelResultCallback on_result;
};

// The model's own bounded queue, beside the job queue so that a slow endpoint never holds up
// the intake or another chat: at most MAX_IN_FLIGHT requests at once and one per chat. A newer
// question of a chat replaces its waiting one (which ends Superseded) and, while the chat's
// request runs, waits for it, so it is asked with the newer context. After a failure the
// endpoint rests (doubling back-off; a 429's Retry-After) and questions fail at once meanwhile,
// so chats get the fallback reply instead of a late one. Every question gets exactly one
// result through on_result: on a worker, or on the caller's thread when it ends at once.
class ModelQueue {
public:
    static constexpr int MAX_IN_FLIGHT = 4;
    static constexpr std::size_t MAX_WAITING = 100;  // chats with a question waiting
    static constexpr int BACKOFF_FIRST_MS = 2000;
    static constexpr int BACKOFF_MAX_MS = 300000;

    explicit ModelQueue(ModelQueueParts parts);
    ~ModelQueue();  // Stop()
    ModelQueue(const ModelQueue&) = delete;
    ModelQueue& operator=(const ModelQueue&) = delete;

    // Starts the workers on the run's threads; false when the run refused them all.
    bool Start();

    // Queues the question; never blocks. Failed at once when MAX_WAITING other chats wait,
    // Stopped after Stop(). Any thread.
    void Ask(Question question);

    // Aborts the requests in flight, ends every waiting question as Stopped and returns when
    // no worker runs any more. Any thread but a worker's (so not from on_result). Idempotent.
    void Stop();

private:
    void Work();
    ModelResult Answer(const Question& question);
    // Under the lock: what keeps the request from going out now, or nothing (the request
    // is then counted for the day).
    std::optional<ModelResult> RefusalLocked(const Question& question,
                                             const config::AiSettings& ai);
    // Under the lock: the answer into the result, the back-off and the boxes.
    void SettleLocked(const ModelAnswer& answer, const config::AiSettings& ai,
                      std::int64_t elapsed_ms, ModelResult& result);
    // True the first time a setting's fault is found with these settings (address, key,
    // model) since the last answer: its box is shown once.
    bool FirstTellingLocked(ModelFault fault, const config::AiSettings& ai);
    void Deliver(const ModelResult& result) const;

    ModelQueueParts m_parts;
    platform::WebClient m_web;

    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<std::string> m_order;            // chats with a waiting question, first come first
    std::map<std::string, Question> m_waiting;  // the newest waiting question of each
    std::set<std::string, std::less<>> m_running;  // chats whose request is in flight
    int m_workers = 0;                             // started and not yet ended
    bool m_started = false;
    bool m_stopping = false;
    DailyCount m_daily;
    jobs::Backoff m_backoff{BACKOFF_FIRST_MS, BACKOFF_MAX_MS};
    std::int64_t m_rest_until_ms = 0;  // monotonic; no request before it
    // The settings (address, key, model) the boxes were shown for, and which were shown.
    std::string m_told_for;
    std::set<ModelFault> m_told;
};

}  // namespace zelmo::ai
