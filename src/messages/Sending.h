#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "config/SettingsStore.h"
#include "platform/FairMutex.h"
#include "platform/Pause.h"
#include "protocol/ServiceLink.h"
#include "protocol/SessionStore.h"

namespace zelmo::messages {

// The pause after every send, inside SendLock.
inline constexpr int SEND_PAUSE_MS = 500;

// Every text the robot sends leaves through here, one at a time: each send request and the
// pause after it hold SendLock, which is handed to waiters in arrival order, so a mass run
// that sends back to back never shuts replies out. Any thread but the UI thread.
class Sender {
public:
    // `pause` is the wait after each send; it ends early when the run stops.
    Sender(protocol::ServiceLink link, const protocol::SessionStore& sessions,
           const config::SettingsStore& settings, platform::Pause pause);

    // SendText: expands the text (the robot's name from the settings), posts it and pauses
    // 500 ms, all under SendLock. The answer's "Ret" text (empty on failure).
    std::string SendText(std::string_view to, std::string_view text);

    // Told (on the sending thread) when the service answers a send with the end of the
    // session (Ret 1100 or 1101). Set before any send.
    void SetSessionEndListener(std::function<void()> listener);

    platform::FairMutex& SendLock() { return m_send_lock; }

private:
    protocol::ServiceLink m_link;
    const protocol::SessionStore& m_sessions;
    const config::SettingsStore& m_settings;
    platform::Pause m_pause;
    platform::FairMutex m_send_lock;
    std::function<void()> m_session_ended;
};

// Every "[mkname]" becomes the robot's name, then every "[enter]" CR LF, letter case
// ignored in both; nothing else is expanded.
std::string ExpandOutgoing(std::string_view text, std::string_view robot_name);

// The webwxsendmsg request alone, without lock or pause: the text (GBK) goes out
// JSON-escaped as the message content. The answer's "Ret" text; empty when the request
// failed or the answer holds none.
std::string PostSendMsg(const protocol::ServiceLink& link, const protocol::ProtocolState& state,
                        std::string_view to, std::string_view text);

}  // namespace zelmo::messages
