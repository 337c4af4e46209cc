#include "ai/ModelQueue.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <vector>

#include "ai/AnswerCleanup.h"
#include "ai/ChatRequest.h"
#include "ai/ModelClient.h"
#include "platform/Encoding.h"
#include "platform/GbkLiteral.h"
#include "platform/GbkText.h"

namespace zelmo::ai {

namespace {

constexpr std::size_t DETAIL_BYTES = 200;
// An exchange that ended this close to its time-out ran into it.
constexpr std::int64_t TIMEOUT_MARGIN_MS = 100;

ModelResult ResultFor(const Question& question, ModelOutcome outcome, std::string reason = {}) {
    ModelResult result;
    result.outcome = outcome;
    result.chat = question.chat;
    result.message_id = question.turn.id;
    result.asked_ms = question.asked_ms;
    result.reason = std::move(reason);
    return result;
}

std::string Status(long status) {
    return std::to_string(status);
}

// Why an answer is none, in GBK, with the endpoint's own words where it gave some.
std::string FaultReason(const ModelAnswer& answer, bool timed_out, int timeout_s) {
    using platform::Gbk;
    std::string reason;
    switch (answer.fault) {
        case ModelFault::None:
            break;
        case ModelFault::Key:
            reason = answer.status == 403
                         ? Gbk("模型接口不许这个密钥使用（HTTP 403）")
                         : Gbk("模型接口拒绝了密钥（HTTP ") + Status(answer.status) + Gbk("）");
            break;
        case ModelFault::Address:
            reason = Gbk("模型接口地址不对（HTTP 404）");
            break;
        case ModelFault::Model:
            reason = Gbk("模型接口没有这个模型（HTTP 404）");
            break;
        case ModelFault::RateLimited:
            reason = Gbk("模型接口限流（HTTP 429）");
            if (answer.retry_after_s >= 0) {
                reason += Gbk("，") + std::to_string(answer.retry_after_s) + Gbk(" 秒后再试");
            }
            break;
        case ModelFault::Server:
            reason = Gbk("模型接口出错（HTTP ") + Status(answer.status) + Gbk("）");
            break;
        case ModelFault::NoAnswer:
            reason = timed_out ? std::to_string(timeout_s) + Gbk(" 秒内模型接口没有回答")
                               : Gbk("连不上模型接口，或它的回答太大");
            break;
        case ModelFault::BadAnswer:
            reason = Gbk("模型接口的回答不是聊天回答的格式");
            break;
        case ModelFault::Refused:
            reason = Gbk("模型拒绝回答");
            break;
    }
    if (!answer.detail.empty()) {
        reason += Gbk("：") +
                  platform::TruncateGbk(platform::Utf8ToGbkDropping(answer.detail), DETAIL_BYTES);
    }
    return reason;
}

// The setting a fault points at, in GBK; empty for faults no setting mends.
std::string SettingOf(ModelFault fault) {
    switch (fault) {
        case ModelFault::Key:
            return platform::Gbk("密钥");
        case ModelFault::Address:
            return platform::Gbk("接口地址");
        case ModelFault::Model:
            return platform::Gbk("模型");
        default:
            return {};
    }
}

double TimeoutScale(const platform::WebClientConfig& web) {
    return std::isfinite(web.timeout_scale) && web.timeout_scale > 0 ? web.timeout_scale : 1.0;
}

}  // namespace

ModelQueue::ModelQueue(ModelQueueParts parts) : m_parts(std::move(parts)), m_web(m_parts.web) {}

ModelQueue::~ModelQueue() {
    Stop();
}

bool ModelQueue::Start() {
    int started = 0;
    for (int i = 0; i < MAX_IN_FLIGHT; ++i) {
        {
            std::lock_guard lock(m_mutex);
            if (m_stopping || m_started) {
                return started > 0;
            }
            ++m_workers;
        }
        if (m_parts.start_thread([this] { Work(); })) {
            ++started;
            continue;
        }
        std::lock_guard lock(m_mutex);
        --m_workers;
        m_changed.notify_all();
    }
    std::lock_guard lock(m_mutex);
    m_started = true;
    return started > 0;
}

void ModelQueue::Ask(Question question) {
    std::optional<ModelResult> ended;
    {
        std::lock_guard lock(m_mutex);
        const auto waiting = m_waiting.find(question.chat);
        if (m_stopping) {
            ended = ResultFor(question, ModelOutcome::Stopped);
        } else if (waiting != m_waiting.end()) {
            // Its place in the line stays; only the newest message is answered.
            ended = ResultFor(waiting->second, ModelOutcome::Superseded);
            waiting->second = std::move(question);
        } else if (m_waiting.size() >= MAX_WAITING) {
            ended =
                ResultFor(question, ModelOutcome::Failed, platform::Gbk("等待模型回答的聊天太多"));
        } else {
            m_order.push_back(question.chat);
            std::string chat = question.chat;
            m_waiting.emplace(std::move(chat), std::move(question));
            m_changed.notify_all();
        }
    }
    if (ended) {
        Deliver(*ended);
    }
}

void ModelQueue::Stop() {
    std::vector<Question> dropped;
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
        for (auto& [chat, question] : m_waiting) {
            dropped.push_back(std::move(question));
        }
        m_waiting.clear();
        m_order.clear();
    }
    m_web.Stop();
    m_changed.notify_all();
    for (const Question& question : dropped) {
        Deliver(ResultFor(question, ModelOutcome::Stopped));
    }
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] { return m_workers == 0; });
}

void ModelQueue::Work() {
    std::unique_lock lock(m_mutex);
    for (;;) {
        auto ready = m_order.end();
        m_changed.wait(lock, [&] {
            ready = std::find_if(m_order.begin(), m_order.end(), [&](const std::string& chat) {
                return !m_running.contains(chat);
            });
            return m_stopping || ready != m_order.end();
        });
        if (m_stopping) {
            break;
        }
        const std::string chat = *ready;
        m_order.erase(ready);
        Question question = std::move(m_waiting.extract(chat).mapped());
        m_running.insert(chat);
        lock.unlock();
        ModelResult result;
        try {
            result = Answer(question);
        } catch (...) {
            result = ResultFor(question, ModelOutcome::Failed, platform::Gbk("内存不足"));
        }
        // Delivered before the chat's next question may start: one chat's results keep
        // their order.
        Deliver(result);
        lock.lock();
        m_running.erase(chat);
        m_changed.notify_all();
    }
    --m_workers;
    m_changed.notify_all();
}

ModelResult ModelQueue::Answer(const Question& question) {
    const std::shared_ptr<const config::Settings> settings = m_parts.settings.Get();
    const config::AiSettings& ai = settings->ai;
    const config::AiNumbers numbers = config::ReadAiNumbers(ai);
    {
        std::lock_guard lock(m_mutex);
        if (std::optional<ModelResult> refusal = RefusalLocked(question, ai)) {
            return std::move(*refusal);
        }
    }
    ChatRequest request;
    request.model = ai.模型;
    request.system_prompt = SystemPrompt(ai.系统提示, settings->机器人姓名);
    request.context = m_parts.context.Recent(
        question.chat, static_cast<std::size_t>(numbers.context_turns), question.turn.id);
    request.question = question.turn;
    request.max_tokens = MaxTokensFor(numbers.max_reply_chars);

    const auto started = std::chrono::steady_clock::now();
    const ModelAnswer answer = AskModel(
        m_web, ModelEndpoint{ai.接口地址, ai.密钥, numbers.timeout_s}, ChatRequestBody(request));
    const auto elapsed_ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                                std::chrono::steady_clock::now() - started)
                                .count();

    std::lock_guard lock(m_mutex);
    if (m_stopping) {
        return ResultFor(question, ModelOutcome::Stopped);
    }
    ModelResult result = ResultFor(question, ModelOutcome::Failed);
    SettleLocked(answer, ai, elapsed_ms, result);
    return result;
}

std::optional<ModelResult> ModelQueue::RefusalLocked(const Question& question,
                                                     const config::AiSettings& ai) {
    if (m_stopping) {
        return ResultFor(question, ModelOutcome::Stopped);
    }
    if (!ai.启用) {
        return ResultFor(question, ModelOutcome::Failed, platform::Gbk("AI回复没有启用"));
    }
    if (const std::string fault = config::CheckAiSettings(ai); !fault.empty()) {
        ModelResult result = ResultFor(question, ModelOutcome::Failed, fault);
        const ModelFault setting =
            config::CheckAiAddress(ai.接口地址).empty() ? ModelFault::Model : ModelFault::Address;
        if (FirstTellingLocked(setting, ai)) {
            result.box = fault;
        }
        return result;
    }
    const std::int64_t now = m_parts.clock.TickMs();
    if (now < m_rest_until_ms) {
        const std::int64_t seconds = (m_rest_until_ms - now + 999) / 1000;
        return ResultFor(question, ModelOutcome::Failed,
                         platform::Gbk("模型接口出错后暂停中，约 ") + std::to_string(seconds) +
                             platform::Gbk(" 秒后再试"));
    }
    const int limit = config::ReadAiNumbers(ai).daily_limit;
    if (!m_daily.Take(m_parts.clock.UnixMs(), limit)) {
        return ResultFor(question, ModelOutcome::OverLimit,
                         platform::Gbk("今天已问过模型 ") + std::to_string(m_daily.Count()) +
                             platform::Gbk(" 次，到了每日上限"));
    }
    return std::nullopt;
}

void ModelQueue::SettleLocked(const ModelAnswer& answer, const config::AiSettings& ai,
                              std::int64_t elapsed_ms, ModelResult& result) {
    const config::AiNumbers numbers = config::ReadAiNumbers(ai);
    result.total_tokens = answer.total_tokens;
    if (answer.fault == ModelFault::None) {
        result.text =
            ChatAnswerText(answer.content, static_cast<std::size_t>(numbers.max_reply_chars));
        if (result.text.empty()) {
            result.reason = platform::Gbk("模型的回答里没有能发送的文字");
            return;
        }
        result.outcome = ModelOutcome::Answered;
        result.model = answer.model.empty() ? ai.模型 : platform::Utf8ToGbkDropping(answer.model);
        m_backoff.Succeeded();
        m_rest_until_ms = 0;
        m_told.clear();
        return;
    }
    const auto timeout_ms = static_cast<std::int64_t>(
        std::llround(numbers.timeout_s * 1000.0 * TimeoutScale(m_parts.web)));
    result.reason =
        FaultReason(answer, elapsed_ms + TIMEOUT_MARGIN_MS >= timeout_ms, numbers.timeout_s);
    // A refusal is the model's answer to this message, not the endpoint's trouble.
    if (answer.fault == ModelFault::Refused) {
        return;
    }
    const bool told_when = answer.fault == ModelFault::RateLimited && answer.retry_after_s >= 0;
    const std::int64_t rest_ms =
        told_when ? std::int64_t{answer.retry_after_s} * 1000 : m_backoff.Failed();
    m_rest_until_ms = std::max(m_rest_until_ms, m_parts.clock.TickMs() + rest_ms);
    const std::string setting = SettingOf(answer.fault);
    if (!setting.empty() && FirstTellingLocked(answer.fault, ai)) {
        result.box = platform::Gbk("AI回复：") + result.reason +
                     platform::Gbk("。请检查设置 [AI回复] 里的") + setting + platform::Gbk("。");
    }
}

bool ModelQueue::FirstTellingLocked(ModelFault fault, const config::AiSettings& ai) {
    const std::string settings_id = ai.接口地址 + '\n' + ai.密钥 + '\n' + ai.模型;
    if (settings_id != m_told_for) {
        m_told_for = settings_id;
        m_told.clear();
    }
    return m_told.insert(fault).second;
}

void ModelQueue::Deliver(const ModelResult& result) const {
    if (!m_parts.on_result) {
        return;
    }
    try {
        m_parts.on_result(result);
    } catch (...) {
        // A result nobody could take is lost; the queue goes on.
    }
}

}  // namespace zelmo::ai
