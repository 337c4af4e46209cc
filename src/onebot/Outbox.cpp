#include "onebot/Outbox.h"

#include <algorithm>
#include <chrono>

#include "onebot/Retcodes.h"
#include "protocol/TextHelpers.h"

namespace zelmo::onebot {

namespace {

constexpr std::int64_t MS_PER_SECOND = 1000;
// The slice of a wait for the robot to come back, so that a closing outbox is not held.
constexpr std::int64_t WAIT_SLICE_MS = 250;

}  // namespace

SendOutcome OutcomeOfRet(std::string_view ret) {
    SendOutcome outcome;
    outcome.ret = std::string(ret);
    if (ret == "0") {
        return outcome;
    }
    if (ret.empty()) {
        outcome.retcode = NOT_SENT;
        outcome.message = "no answer from the service; not sent again, as it may have arrived";
    } else if (ret == "1205") {
        outcome.retcode = TOO_FREQUENT;
        outcome.message = "the service refused the text as too frequent (Ret 1205) on every try";
    } else if (ret == "1100" || ret == "1101") {
        outcome.retcode = OFFLINE;
        outcome.message =
            "the session ended (Ret " + std::string(ret) + ") and the text was not sent";
    } else {
        outcome.retcode = NOT_SENT;
        outcome.message = "the service refused the text (Ret " + std::string(ret) + ")";
    }
    return outcome;
}

Outbox::Outbox(messages::Sender& sender, const protocol::Connection& connection,
               const config::SettingsStore& settings, platform::Clock& clock, std::size_t capacity,
               int offline_wait_ms)
    : m_sender(sender),
      m_connection(connection),
      m_settings(settings),
      m_clock(clock),
      m_capacity(capacity),
      m_offline_wait_ms(offline_wait_ms),
      m_thread([this] { Run(); }) {}

Outbox::~Outbox() {
    Close();
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

bool Outbox::Post(std::string to, std::string text, SendDone done) {
    return Queue(Waiting{std::move(to), std::move(text), std::nullopt, std::move(done), 0});
}

bool Outbox::PostFile(std::string to, messages::OutgoingFile file, SendDone done) {
    return Queue(Waiting{std::move(to), {}, std::move(file), std::move(done), 0});
}

bool Outbox::Queue(Waiting waiting) {
    waiting.queued_ms = m_clock.TickMs();
    {
        std::lock_guard lock(m_mutex);
        if (m_closed || m_waiting.size() >= m_capacity) {
            return false;
        }
        m_waiting.push_back(std::move(waiting));
    }
    m_changed.notify_all();
    return true;
}

void Outbox::Close() {
    std::deque<Waiting> left;
    {
        std::lock_guard lock(m_mutex);
        m_closed = true;
        left.swap(m_waiting);
    }
    m_changed.notify_all();
    for (Waiting& waiting : left) {
        SendOutcome outcome;
        outcome.retcode = OFFLINE;
        outcome.message = "the robot stopped before the text was sent";
        waiting.done(std::move(outcome));
    }
}

void Outbox::Run() {
    for (;;) {
        Waiting waiting;
        {
            std::unique_lock lock(m_mutex);
            m_changed.wait(lock, [this] { return m_closed || !m_waiting.empty(); });
            if (m_waiting.empty()) {
                return;
            }
            waiting = std::move(m_waiting.front());
            m_waiting.pop_front();
        }
        try {
            Deliver(waiting);
        } catch (...) {
            SendOutcome outcome;
            outcome.retcode = NOT_SENT;
            outcome.message = "the text could not be handed to the sender";
            waiting.done(std::move(outcome));
        }
    }
}

void Outbox::Deliver(Waiting& waiting) {
    SendOutcome outcome;
    if (!WaitOnline(waiting.queued_ms + m_offline_wait_ms)) {
        outcome.retcode = OFFLINE;
        outcome.message = "the robot is not logged in: not sent";
        waiting.done(std::move(outcome));
        return;
    }
    const long long limit_s = protocol::IntegerValue(m_settings.Get()->回复过期秒数);
    const std::int64_t waited_ms = m_clock.TickMs() - waiting.queued_ms;
    if (limit_s > 0 && waited_ms > limit_s * MS_PER_SECOND) {
        outcome.retcode = EXPIRED;
        outcome.message = "waited " + std::to_string(waited_ms / MS_PER_SECOND) +
                          " s for the sender, longer than the robot allows: not sent";
        waiting.done(std::move(outcome));
        return;
    }
    const messages::SendTag tag{messages::SendOrigin::OneBot, {}};
    messages::SendReceipt receipt =
        waiting.file ? m_sender.SendFile(waiting.to, std::move(*waiting.file), tag)
                     : m_sender.Send(waiting.to, waiting.text, tag);
    outcome = OutcomeOfRet(receipt.ret);
    outcome.msg_id = std::move(receipt.msg_id);
    outcome.local_id = std::move(receipt.local_id);
    outcome.to = receipt.to.empty() ? waiting.to : std::move(receipt.to);
    outcome.sent_unix_ms = m_clock.UnixMs();
    waiting.done(std::move(outcome));
}

bool Outbox::WaitOnline(std::int64_t deadline_ms) {
    for (;;) {
        {
            std::lock_guard lock(m_mutex);
            if (m_closed) {
                return false;
            }
        }
        if (m_connection.Online()) {
            return true;
        }
        if (m_connection.IsShut()) {
            return false;
        }
        const std::int64_t left = deadline_ms - m_clock.TickMs();
        if (left <= 0) {
            return false;
        }
        if (m_connection.WaitOnlineFor(std::chrono::milliseconds(std::min(left, WAIT_SLICE_MS)))) {
            return true;
        }
    }
}

}  // namespace zelmo::onebot
