#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "config/SettingsStore.h"
#include "contacts/ContactKeys.h"
#include "contacts/ContactStore.h"
#include "media/FileDigests.h"
#include "media/MediaKind.h"
#include "media/Upload.h"
#include "messages/MessageEvents.h"
#include "messages/MessageLog.h"
#include "messages/SendIds.h"
#include "platform/Pause.h"
#include "protocol/Connection.h"
#include "protocol/SendAnswer.h"
#include "protocol/ServiceLink.h"
#include "protocol/SessionStore.h"

namespace zelmo::messages {

// The pause after every send: no two sends of the program start closer than this.
inline constexpr int SEND_PAUSE_MS = 500;
// A send the service refuses as too frequent (Ret 1205) waits this long before it is tried
// again, doubling each time up to the maximum, and is tried at most so many times.
inline constexpr int REFUSED_FIRST_WAIT_MS = 2000;
inline constexpr int REFUSED_MAX_WAIT_MS = 60000;
inline constexpr int MAX_SEND_TRIES = 6;
// A send answered with the end of the session (Ret 1100 or 1101) waits until the robot is
// online again (a re-login) and is tried again, at most so many times in all.
inline constexpr int MAX_SESSION_END_TRIES = 3;
// Texts waiting to be sent; beyond it the oldest waiting one is dropped (and logged).
inline constexpr std::size_t MAX_WAITING_SENDS = 2000;

// A reply is dropped when it waited longer than the settings' 回复过期秒数 (0: never),
// whenever that shows, before any try; any other text (the chat window's, a mass run's)
// waits as long as it takes.
enum class SendKind { Reply, Text };

// Who handed a text in, for the observers (a reply written by a language model names it).
struct SendTag {
    SendOrigin origin = SendOrigin::Reply;
    std::string model;
    // Monotonic ms a reply's age counts from (a model's answer: when its message came);
    // -1: from its hand-in.
    std::int64_t since_ms = -1;
};

// What became of a text that was waited for: the answer's Ret (empty when the request
// failed, or the text was not sent at all), and for a sent text the MsgID the service gave
// it, the LocalID it went with and the UserName it went to (a re-login may have renamed it).
struct SendReceipt {
    std::string ret;
    std::string msg_id;
    std::string local_id;
    std::string to;
};

// Told that the sender backs off before its next try: how long it waits, in ms.
using BackoffNotice = std::function<void(int wait_ms)>;

// A picture, video or file to send: where it is (file-system bytes), how it goes out, and
// the name the service and the chat see (UTF-8; empty: the path's own name).
struct OutgoingFile {
    std::string path;
    media::SendAs send_as = media::SendAs::File;
    std::string name;
};

// A text waiting for the sender, as it will go out.
struct WaitingText {
    std::string to;
    std::string text;  // expanded; for a file "[图片=NAME]" and the like (GBK)
    SendKind kind = SendKind::Text;
    std::string file;  // a file's path; empty for a text
};

// What the sender works with: the sessions it sends on (always the current one), the settings
// (robot name, reply expiry), the wait after each send (ending early when the run stops), the
// connection it waits on while offline, the message log with the names for the texts it cannot
// send, and the contacts' keys, through which a text queued before a re-login reaches the
// same contact under its new UserName.
struct SenderParts {
    protocol::ServiceLink link;
    const protocol::SessionStore& sessions;
    const config::SettingsStore& settings;
    platform::Pause pause;
    const protocol::Connection& connection;
    MessageLog& log;
    const contacts::ContactStore& contacts;
    const contacts::ContactKeys& keys;
};

// What the sender learns about the session a text went out on (its generation), told on
// the sender thread: the service ended it (Ret 1100 or 1101), or took a text on it.
struct SessionNotices {
    std::function<void(std::uint64_t generation)> ended;
    std::function<void(std::uint64_t generation)> took_text;
};

// Every text the robot sends leaves through here: one sender thread takes them first in,
// first out and sends one at a time, SEND_PAUSE_MS apart, and only while online. The
// threads that hand texts in never wait for the pace. A text refused as too frequent is
// tried again before any later one, with the same ids; any other failure is logged and
// not retried, so nothing goes out twice. Before every try the text is addressed anew
// (a re-login may have renamed its contact); one whose contact the current login does not
// have is dropped, as is a reply that became too old, each with a log row. Files take the
// same road: uploaded once, on their first try, and every try after sends that upload.
class Sender {
public:
    explicit Sender(SenderParts parts);

    // Queues a text (expanded now) for the sender thread. Never blocks. Any thread.
    void Post(std::string_view to, std::string_view text, SendKind kind, SendTag tag = {});

    // SendText: queues the text and blocks until the sender thread has sent it. The
    // answer's "Ret" text; empty when the request failed, and when the text was not sent
    // because the sender closed. `notice` is told of every back-off while the text waits.
    // Any thread but the UI thread and the sender's.
    std::string SendText(std::string_view to, std::string_view text, BackoffNotice notice = {},
                         SendTag tag = {SendOrigin::Chat, {}});
    // The same, with all the service said about it.
    SendReceipt Send(std::string_view to, std::string_view text, SendTag tag,
                     BackoffNotice notice = {});

    // Queues a file as Post queues a text. A file that may not go out (missing, unreadable,
    // too large) or whose upload fails is a log row, never retried. Never blocks. Any thread.
    void PostFile(std::string_view to, OutgoingFile file, SendKind kind, SendTag tag = {});
    // Queues a file and blocks until it was sent or given up, as Send does.
    SendReceipt SendFile(std::string_view to, OutgoingFile file, SendTag tag,
                         BackoffNotice notice = {});

    // The sender thread's body: sends until Close().
    void Run();
    // Ends Run() after its current request and fails every text still waiting (SendText
    // returns empty); later texts fail at once. Any thread; idempotent.
    void Close();

    // The texts waiting now, oldest first (the one being sent is not among them).
    std::vector<WaitingText> Waiting() const;

    // Told what sends found out about their sessions; `ended` before the sender waits to
    // be online again. Set before Run().
    void SetSessionNotices(SessionNotices notices);
    // Told of every text's end: sent, refused or dropped. Set before Run(); outlives it.
    void SetObservers(const MessageObservers& observers);

private:
    struct Outgoing {
        WaitingText text;
        SendTag tag;
        std::int64_t queued_ms = 0;  // monotonic
        std::shared_ptr<std::promise<SendReceipt>> done;
        BackoffNotice notice;
        media::SendAs send_as = media::SendAs::File;  // a file's
        std::string file_name;                        // a file's shown name; empty: the path's
        std::optional<media::UploadedMedia> uploaded;
    };

    static Outgoing FileOutgoing(std::string_view to, OutgoingFile file, SendKind kind,
                                 SendTag tag);
    // One try: a text's send request, or a file's upload (the first time) and send. The
    // answer; `failure` says why a file's upload gave none.
    protocol::SendAnswer Try(Outgoing& outgoing, const protocol::ProtocolState& state,
                             std::string_view client_id, std::string& failure);

    void Enqueue(Outgoing outgoing);
    bool Expired(const Outgoing& outgoing) const;
    // Logs and drops a text that may not go out now (too old, its contact gone); false
    // when it may.
    bool DropBeforeTry(Outgoing& outgoing);
    // Sends one text with its retries; false when the run stops meanwhile.
    bool Deliver(Outgoing& outgoing);
    void TellBackoff(const Outgoing& current, int wait_ms) const;
    void Report(const Outgoing& outgoing, std::string_view reason) const;
    void TellSent(const Outgoing& outgoing, const SendReceipt& receipt) const;

    SenderParts m_parts;
    SendIds m_ids;
    media::UploadCounter m_uploads;
    media::FileDigests m_digests;
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<Outgoing> m_waiting;
    bool m_closed = false;
    SessionNotices m_notices;
    const MessageObservers* m_observers = nullptr;
};

// True when a reply handed in at `since_ms` (monotonic) has waited longer than 回复过期秒数
// by `now_ms` (0: never).
bool ReplyTooOld(const config::Settings& settings, std::int64_t since_ms, std::int64_t now_ms);

// Every "[mkname]" becomes the robot's name, then every "[enter]" CR LF, letter case
// ignored in both; nothing else is expanded.
std::string ExpandOutgoing(std::string_view text, std::string_view robot_name);

// The webwxsendmsg request alone, without lock or pause: the text (GBK) goes out
// JSON-escaped as the message content, `client_id` as its ClientMsgId and LocalID. The
// answer's Ret and MsgID; empty when the request failed or the answer holds none.
protocol::SendAnswer PostSendMsg(const protocol::ServiceLink& link,
                                 const protocol::ProtocolState& state, std::string_view to,
                                 std::string_view text, std::string_view client_id);

}  // namespace zelmo::messages
