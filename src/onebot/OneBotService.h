#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "config/OneBotSettings.h"
#include "messages/MessageEvents.h"
#include "onebot/ActionHandler.h"
#include "onebot/ActionWorkers.h"
#include "onebot/ContactIds.h"
#include "onebot/EventBuffer.h"
#include "onebot/Events.h"
#include "onebot/FileStore.h"
#include "onebot/MessageMemory.h"
#include "onebot/OneBotParts.h"
#include "onebot/Outbox.h"
#include "onebot/ReceivedFiles.h"
#include "onebot/Webhook.h"
#include "platform/Json.h"
#include "platform/WebClient.h"
#include "platform/WireService.h"

namespace zelmo::onebot {

// One listener the settings name, once Start() tried it.
struct ListenerReport {
    std::string what;     // "HTTP", "WebSocket" or "HTTP+WebSocket"
    std::string address;  // host:port as it listens (the port it got for port 0)
    int port = 0;         // 0 when it could not listen
    std::string error;    // why not (UTF-8)
};

// The robot as a OneBot 12 implementation: the HTTP and WebSocket listeners, the reverse
// WebSocket connections, the webhooks, the heartbeat, and the one action handler they share.
// Events come in from the robot's threads (the messages its intake handled, as one of its
// observers, and the On... calls) and go out on every transport. Any thread.
class OneBotService final : public messages::MessageObserver, private platform::WireHandler {
public:
    // Takes the settings as they are (CheckOneBotSettings / WithoutRefused before).
    OneBotService(OneBotParts parts, config::OneBotSettings settings);
    // Stops.
    ~OneBotService() override;
    OneBotService(const OneBotService&) = delete;
    OneBotService& operator=(const OneBotService&) = delete;

    // Opens the listeners, the reverse connections, the webhooks and the heartbeat the
    // settings name (nothing when they are off). What each listener did, in the order HTTP,
    // WebSocket; the owner is told of each through the parts' log too.
    std::vector<ListenerReport> Start();
    // Ends every connection and thread. Texts still waiting for the sender fail, and the one
    // in the sender's hands is waited for: stop the robot's sender first when both stop.
    // Idempotent.
    void Stop();

    // A received AddMsgList item, its bytes as the service sent them: its events go out.
    void OnMessageItem(std::string_view item);
    // A received message's file was saved at `path` (file-system bytes): get_file serves it
    // under the id its event gave, in this run and later ones. Must not block long.
    void OnMediaSaved(std::string_view msg_id, std::string_view path);
    // The robot is online (logged in and polling) or not: status updates.
    void OnOnlineChanged(bool online);
    // The service reported a contact added or deleted: an event when it is a person, and
    // one for each person added however often it is reported.
    void OnFriendChanged(std::string_view user_name, bool added);

    // MessageObserver: what the intake handled goes out as events (the own account's
    // messages from other devices do not).
    void OnReceived(const messages::ReceivedEvent& event) override;
    void OnSent(const messages::SentEvent& event) override;
    // Sends an event on every transport (WebSocket connections, the HTTP buffer, webhooks).
    void Publish(const platform::Json& event);

    // True when 接管回复 is on and a framework is connected (a WebSocket open, or a webhook
    // or HTTP poll that worked in the last minute): the robot's own chain stays quiet.
    bool TakesOverReplies() const;

    // Runs one request as a transport would; `done` gets the response text.
    void HandleRequest(std::string_view text, Transport transport,
                       std::function<void(std::string response)> done);

    // WebSocket connections open now, both directions.
    std::size_t OpenConnections() const;
    // What Start() reported of each listener; empty before it.
    std::vector<ListenerReport> Listeners() const;

private:
    // WireHandler: called on the I/O thread.
    int Admit(const platform::WireRequestHead& head) override;
    void OnHttp(platform::WireHttpRequest request, platform::WireReplier reply) override;
    std::string OnOpen(platform::WireConnectionId id, bool outgoing) override;
    void OnFrame(platform::WireConnectionId id, std::string text, bool binary) override;
    void OnClose(platform::WireConnectionId id, std::string_view reason) override;

    void Log(std::string_view utf8_line) const;
    double NowSeconds() const;
    void ScheduleHeartbeat(int interval_ms);
    bool TransportsGood() const;

    OneBotParts m_parts;
    const config::OneBotSettings m_settings;
    const std::int64_t m_start_unix_ms;
    ContactIds m_ids;
    EventMaker m_maker;
    MessageMemory m_memory;
    FileStore m_files;
    ReceivedFiles m_received;
    platform::WebClient m_web;
    // Declared before what answers through it, so it outlives every answer still on its way
    // (the text in the sender's hands is answered while the outbox ends).
    std::unique_ptr<platform::WireService> m_wire;
    std::unique_ptr<EventBuffer> m_events;
    std::unique_ptr<Outbox> m_outbox;
    std::unique_ptr<ActionHandler> m_handler;
    std::unique_ptr<ActionWorkers> m_workers;
    std::vector<std::unique_ptr<Webhook>> m_webhooks;

    // Guards m_wire's setting and m_webhooks against Publish on other threads.
    mutable std::mutex m_publish_mutex;
    mutable std::mutex m_mutex;
    std::optional<bool> m_reported_online;
    std::set<std::string> m_friends_added;  // UserNames told of as added
    bool m_listeners_good = true;
    std::vector<ListenerReport> m_listeners;
    bool m_stopped = false;
    std::atomic<std::int64_t> m_last_http_ms{0};
};

}  // namespace zelmo::onebot
