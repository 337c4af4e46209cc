#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

#include "config/SettingsStore.h"
#include "messages/Sending.h"
#include "platform/Clock.h"
#include "protocol/Connection.h"

namespace zelmo::onebot {

// How a text or file handed to the robot's sender ended.
struct SendOutcome {
    int retcode = 0;       // a Retcode: OK when the service took it
    std::string message;   // why not (UTF-8); empty when sent
    std::string ret;       // the service's Ret; empty when there was no answer
    std::string msg_id;    // the service's MsgID of what was sent; empty when unknown
    std::string local_id;  // its ClientMsgId (LocalID); empty when unknown
    std::string to;        // the UserName it went to (a re-login may have renamed the chat)
    std::int64_t sent_unix_ms = 0;
};
using SendDone = std::function<void(SendOutcome outcome)>;

// How long a text waits for a logged-out robot to be back before it fails unsent.
inline constexpr int OFFLINE_WAIT_MS = 60000;
// Texts waiting at most; a framework that sends faster than the pace gets OUTBOX_FULL.
inline constexpr std::size_t OUTBOX_CAPACITY = 2000;

// The frameworks' texts and files on their way to the robot's paced sender (the pace, its
// back-off and ids apply as to every text): one at a time, in the order they came, each
// answered once with its outcome. Nothing leaves while the robot is logged out: it waits up
// to offline_wait_ms and then fails, and what waited longer than 回复过期秒数 fails too.
// Any thread.
class Outbox {
public:
    Outbox(messages::Sender& sender, const protocol::Connection& connection,
           const config::SettingsStore& settings, platform::Clock& clock,
           std::size_t capacity = OUTBOX_CAPACITY, int offline_wait_ms = OFFLINE_WAIT_MS);
    // Closes, then waits for the text in the sender's hands: stop the robot's sender first
    // when the robot stops too.
    ~Outbox();
    Outbox(const Outbox&) = delete;
    Outbox& operator=(const Outbox&) = delete;

    // Queues a text (GBK) for `to`; false, and `done` never called, when full or closed.
    bool Post(std::string to, std::string text, SendDone done);
    // Queues a file for `to` as Post queues a text.
    bool PostFile(std::string to, messages::OutgoingFile file, SendDone done);
    // Fails every waiting text (OFFLINE); later posts fail. Idempotent.
    void Close();

private:
    struct Waiting {
        std::string to;
        std::string text;
        std::optional<messages::OutgoingFile> file;  // set for a file, then text is unused
        SendDone done;
        std::int64_t queued_ms = 0;  // monotonic
    };

    bool Queue(Waiting waiting);
    void Run();
    void Deliver(Waiting& waiting);
    // Waits for the robot to be online until `deadline_ms` (monotonic); false when it did
    // not come back in time or the outbox closes.
    bool WaitOnline(std::int64_t deadline_ms);

    messages::Sender& m_sender;
    const protocol::Connection& m_connection;
    const config::SettingsStore& m_settings;
    platform::Clock& m_clock;
    std::size_t m_capacity;
    int m_offline_wait_ms;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<Waiting> m_waiting;
    bool m_closed = false;
    std::thread m_thread;
};

// The outcome a Ret of the sender means (the ids and time left for the caller).
SendOutcome OutcomeOfRet(std::string_view ret);

}  // namespace zelmo::onebot
