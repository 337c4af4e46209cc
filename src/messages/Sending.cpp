#include "messages/Sending.h"

#include <optional>
#include <utility>

#include "jobs/Backoff.h"
#include "media/MediaSend.h"
#include "media/ReplyMedia.h"
#include "platform/Encoding.h"
#include "platform/GbkLiteral.h"
#include "platform/GbkText.h"
#include "protocol/JsonText.h"
#include "protocol/TextHelpers.h"
#include "protocol/WebRequest.h"

namespace zelmo::messages {

namespace {

constexpr std::string_view SEND_PATH =
    "/cgi-bin/mmwebwx-bin/webwxsendmsg?sid={sid}&skey=%40{skey}&r={time}&skey=%40{skey}"
    "&pass_ticket={pass_ticket}";
// The ids go in between the two halves: digits only, so the one-pass fill leaves them be.
constexpr std::string_view SEND_BODY_HEAD =
    R"({"BaseRequest":{"Uin":{uin},"Sid":"{sid}","Skey":"@{skey}","DeviceID":"{deviceid}"},)"
    R"("Msg":{"FromUserName":"{from}","ToUserName":"{to}","Type":1,"Content":"{message}",)"
    R"("ClientMsgId":)";
constexpr std::string_view SEND_BODY_MIDDLE = R"(,"LocalID":)";
constexpr std::string_view SEND_BODY_TAIL = "}}";

constexpr std::string_view RET_SENT = "0";
constexpr std::string_view RET_TOO_FREQUENT = "1205";
constexpr std::int64_t MS_PER_SECOND = 1000;

}  // namespace

std::string ExpandOutgoing(std::string_view text, std::string_view robot_name) {
    const std::string named = platform::ReplaceAllGbk(text, "[mkname]", robot_name, true);
    return platform::ReplaceAllGbk(named, "[enter]", "\r\n", true);
}

protocol::SendAnswer PostSendMsg(const protocol::ServiceLink& link,
                                 const protocol::ProtocolState& state, std::string_view to,
                                 std::string_view text, std::string_view client_id) {
    // The template is filled in one pass, so words in the message that look like
    // placeholders are never expanded; escaping keeps the message one JSON string.
    const std::string message = protocol::JsonEscape(text);
    protocol::CallValues call;
    call.from = state.own.UserName;
    call.to = to;
    call.message = message;
    std::string body(SEND_BODY_HEAD);
    body.append(client_id).append(SEND_BODY_MIDDLE).append(client_id).append(SEND_BODY_TAIL);
    return protocol::ReadSendAnswer(protocol::PostToWebHost(link, state, SEND_PATH, body, call));
}

Sender::Sender(SenderParts parts) : m_parts(std::move(parts)), m_ids(m_parts.link.clock) {}

void Sender::Post(std::string_view to, std::string_view text, SendKind kind, SendTag tag) {
    Outgoing outgoing;
    outgoing.text = {std::string(to), ExpandOutgoing(text, m_parts.settings.Get()->机器人姓名),
                     kind};
    outgoing.tag = std::move(tag);
    Enqueue(std::move(outgoing));
}

std::string Sender::SendText(std::string_view to, std::string_view text, BackoffNotice notice,
                             SendTag tag) {
    return Send(to, text, std::move(tag), std::move(notice)).ret;
}

SendReceipt Sender::Send(std::string_view to, std::string_view text, SendTag tag,
                         BackoffNotice notice) {
    Outgoing outgoing;
    outgoing.text = {std::string(to), ExpandOutgoing(text, m_parts.settings.Get()->机器人姓名),
                     SendKind::Text};
    outgoing.tag = std::move(tag);
    outgoing.done = std::make_shared<std::promise<SendReceipt>>();
    outgoing.notice = std::move(notice);
    std::future<SendReceipt> receipt = outgoing.done->get_future();
    Enqueue(std::move(outgoing));
    return receipt.get();
}

Sender::Outgoing Sender::FileOutgoing(std::string_view to, OutgoingFile file, SendKind kind,
                                      SendTag tag) {
    Outgoing outgoing;
    const std::string_view name = file.name.empty()
                                      ? std::string_view(file.path).substr(file.path.rfind('/') + 1)
                                      : std::string_view(file.name);
    outgoing.text = {
        std::string(to),
        media::ReplyMediaText(media::ReplyKindOf(file.send_as), platform::Utf8ToGbk(name)), kind,
        std::move(file.path)};
    outgoing.tag = std::move(tag);
    outgoing.send_as = file.send_as;
    outgoing.file_name = std::move(file.name);
    return outgoing;
}

void Sender::PostFile(std::string_view to, OutgoingFile file, SendKind kind, SendTag tag) {
    Enqueue(FileOutgoing(to, std::move(file), kind, std::move(tag)));
}

SendReceipt Sender::SendFile(std::string_view to, OutgoingFile file, SendTag tag,
                             BackoffNotice notice) {
    Outgoing outgoing = FileOutgoing(to, std::move(file), SendKind::Text, std::move(tag));
    outgoing.done = std::make_shared<std::promise<SendReceipt>>();
    outgoing.notice = std::move(notice);
    std::future<SendReceipt> receipt = outgoing.done->get_future();
    Enqueue(std::move(outgoing));
    return receipt.get();
}

void Sender::Enqueue(Outgoing outgoing) {
    outgoing.queued_ms =
        outgoing.tag.since_ms >= 0 ? outgoing.tag.since_ms : m_parts.link.clock.TickMs();
    std::optional<Outgoing> dropped;
    bool closed = false;
    {
        std::lock_guard lock(m_mutex);
        closed = m_closed;
        if (closed) {
            dropped = std::move(outgoing);
        } else {
            if (m_waiting.size() >= MAX_WAITING_SENDS) {
                dropped = std::move(m_waiting.front());
                m_waiting.pop_front();
            }
            m_waiting.push_back(std::move(outgoing));
        }
    }
    m_changed.notify_all();
    if (!dropped) {
        return;
    }
    if (!closed) {
        Report(*dropped, platform::Gbk("待发送过多，未发送"));
    }
    if (dropped->done) {
        dropped->done->set_value({});
    }
}

void Sender::Run() {
    for (;;) {
        Outgoing outgoing;
        {
            std::unique_lock lock(m_mutex);
            m_changed.wait(lock, [this] { return m_closed || !m_waiting.empty(); });
            if (m_closed) {
                return;
            }
            outgoing = std::move(m_waiting.front());
            m_waiting.pop_front();
        }
        if (!Deliver(outgoing)) {
            if (outgoing.done) {
                outgoing.done->set_value({});
            }
            return;
        }
    }
}

bool Sender::DropBeforeTry(Outgoing& outgoing) {
    if (Expired(outgoing)) {
        const std::string waited =
            std::to_string((m_parts.link.clock.TickMs() - outgoing.queued_ms) / MS_PER_SECOND);
        Report(outgoing, platform::Gbk("回复等待") + waited + platform::Gbk("秒已过期，未发送"));
        return true;
    }
    // Never to a stale name, and never to whoever has it now.
    std::optional<std::string> to = m_parts.keys.AddressNow(outgoing.text.to);
    if (!to) {
        Report(outgoing, platform::Gbk("重新登录后找不到这个联系人，未发送"));
        return true;
    }
    outgoing.text.to = std::move(*to);
    return false;
}

protocol::SendAnswer Sender::Try(Outgoing& outgoing, const protocol::ProtocolState& state,
                                 std::string_view client_id, std::string& failure) {
    if (outgoing.text.file.empty()) {
        return PostSendMsg(m_parts.link, state, outgoing.text.to, outgoing.text.text, client_id);
    }
    // Uploaded once: a send that may have arrived is sent again with the same upload.
    if (!outgoing.uploaded) {
        media::UploadResult upload =
            media::UploadMedia(m_parts.link, state, outgoing.text.file, outgoing.text.to,
                               outgoing.send_as, m_uploads, &m_digests, outgoing.file_name);
        if (!upload.media) {
            failure = std::move(upload.error);
            return {};
        }
        outgoing.uploaded = std::move(upload.media);
    }
    return media::SendUploadedMedia(m_parts.link, state, outgoing.text.to, *outgoing.uploaded,
                                    client_id);
}

bool Sender::Deliver(Outgoing& outgoing) {
    // One pair of ids per text: a retry after a refusal is the same message again.
    std::string client_id;
    jobs::Backoff backoff(REFUSED_FIRST_WAIT_MS, REFUSED_MAX_WAIT_MS);
    std::string ret;
    std::string msg_id;
    std::string failure;
    bool stopping = false;
    bool dropped = false;
    int session_ends = 0;
    for (int tries = 1;; ++tries) {
        // A text that waits for the robot to come online holds no worker: only this thread.
        if (!m_parts.connection.WaitOnline()) {
            stopping = true;
            break;
        }
        // A wait for a new session or a back-off may have made it too old, or renamed its
        // contact: checked before every try, not only the first.
        if (DropBeforeTry(outgoing)) {
            dropped = true;
            break;
        }
        if (client_id.empty()) {
            client_id = m_ids.Next();
        }
        const std::shared_ptr<const protocol::ProtocolState> state = m_parts.sessions.Snapshot();
        protocol::SendAnswer answer = Try(outgoing, *state, client_id, failure);
        ret = std::move(answer.ret);
        msg_id = std::move(answer.msg_id);
        if (ret == RET_SENT && m_notices.took_text) {
            m_notices.took_text(state->generation);
        }
        if (!m_parts.pause(SEND_PAUSE_MS)) {
            stopping = true;
            break;
        }
        // A file that could not be uploaded was never sent: nothing to try again.
        if (!failure.empty()) {
            break;
        }
        if (ret == "1100" || ret == "1101") {
            if (m_notices.ended) {
                m_notices.ended(state->generation);
            }
            // The text goes out on the next session, not on the one that ended.
            if (++session_ends < MAX_SESSION_END_TRIES) {
                continue;
            }
        }
        if (ret != RET_TOO_FREQUENT || tries >= MAX_SEND_TRIES) {
            break;
        }
        const int wait_ms = backoff.Failed();
        TellBackoff(outgoing, wait_ms);
        if (!m_parts.pause(wait_ms)) {
            stopping = true;
            break;
        }
    }
    // A stopping robot reports nothing: a request cut short by the stop is no failure.
    if (ret != RET_SENT && !stopping && !dropped) {
        if (!failure.empty()) {
            Report(outgoing, failure);
        } else if (ret == RET_TOO_FREQUENT) {
            Report(outgoing, platform::Gbk("发送过于频繁(Ret 1205)，") +
                                 std::to_string(MAX_SEND_TRIES) +
                                 platform::Gbk("次均被拒，未发送"));
        } else if (ret.empty()) {
            // It may have reached the service: sending it again could deliver it twice.
            Report(outgoing, platform::Gbk("发送无应答，不再重发"));
        } else {
            Report(outgoing, platform::Gbk("发送失败(Ret ") + ret + platform::Gbk(")，未发送"));
        }
    }
    SendReceipt receipt;
    if (!dropped) {
        receipt = {ret, ret == RET_SENT ? msg_id : std::string(), client_id, outgoing.text.to};
    }
    if (ret == RET_SENT) {
        TellSent(outgoing, receipt);
    }
    if (outgoing.done) {
        outgoing.done->set_value(std::move(receipt));
        outgoing.done.reset();
    }
    std::lock_guard lock(m_mutex);
    return !m_closed;
}

bool Sender::Expired(const Outgoing& outgoing) const {
    if (outgoing.text.kind != SendKind::Reply) {
        return false;
    }
    return ReplyTooOld(*m_parts.settings.Get(), outgoing.queued_ms, m_parts.link.clock.TickMs());
}

bool ReplyTooOld(const config::Settings& settings, std::int64_t since_ms, std::int64_t now_ms) {
    const long long limit_s = protocol::IntegerValue(settings.回复过期秒数);
    return limit_s > 0 && now_ms - since_ms > limit_s * MS_PER_SECOND;
}

void Sender::TellBackoff(const Outgoing& current, int wait_ms) const {
    // Every text behind it waits as long, a mass run's among them.
    std::vector<BackoffNotice> notices;
    if (current.notice) {
        notices.push_back(current.notice);
    }
    {
        std::lock_guard lock(m_mutex);
        for (const Outgoing& waiting : m_waiting) {
            if (waiting.notice) {
                notices.push_back(waiting.notice);
            }
        }
    }
    for (const BackoffNotice& notice : notices) {
        notice(wait_ms);
    }
}

void Sender::SetSessionNotices(SessionNotices notices) {
    m_notices = std::move(notices);
}

void Sender::SetObservers(const MessageObservers& observers) {
    m_observers = &observers;
}

void Sender::Report(const Outgoing& outgoing, std::string_view reason) const {
    const std::shared_ptr<const protocol::ProtocolState> state = m_parts.sessions.Snapshot();
    m_parts.log.AddRow(platform::Gbk("[↑]未发送"), state->own.NickName,
                       m_parts.contacts.FindNickName(outgoing.text.to),
                       std::string(reason) + platform::Gbk("：") + outgoing.text.text);
    if (m_observers != nullptr) {
        m_observers->Sent({.to = outgoing.text.to,
                           .text = outgoing.text.text,
                           .origin = outgoing.tag.origin,
                           .model = outgoing.tag.model,
                           .sent = false,
                           .reason = reason,
                           .file = outgoing.text.file});
    }
}

void Sender::TellSent(const Outgoing& outgoing, const SendReceipt& receipt) const {
    if (m_observers != nullptr) {
        m_observers->Sent({.to = receipt.to,
                           .text = outgoing.text.text,
                           .origin = outgoing.tag.origin,
                           .model = outgoing.tag.model,
                           .sent = true,
                           .msg_id = receipt.msg_id,
                           .local_id = receipt.local_id,
                           .file = outgoing.text.file});
    }
}

void Sender::Close() {
    std::deque<Outgoing> left;
    {
        std::lock_guard lock(m_mutex);
        m_closed = true;
        left.swap(m_waiting);
    }
    m_changed.notify_all();
    for (Outgoing& outgoing : left) {
        if (outgoing.done) {
            outgoing.done->set_value({});
        }
    }
}

std::vector<WaitingText> Sender::Waiting() const {
    std::lock_guard lock(m_mutex);
    std::vector<WaitingText> texts;
    texts.reserve(m_waiting.size());
    for (const Outgoing& outgoing : m_waiting) {
        texts.push_back(outgoing.text);
    }
    return texts;
}

}  // namespace zelmo::messages
