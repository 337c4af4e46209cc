#pragma once

#include <httplib.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "config/OneBotSettings.h"
#include "config/SettingsStore.h"
#include "contacts/ContactKeys.h"
#include "contacts/ContactStore.h"
#include "messages/MessageLog.h"
#include "messages/ReplyGuard.h"
#include "messages/Sending.h"
#include "onebot/OneBotService.h"
#include "platform/Clock.h"
#include "platform/Encoding.h"
#include "platform/WebClient.h"
#include "protocol/Connection.h"
#include "protocol/ServiceProfile.h"
#include "protocol/SessionStore.h"
#include "support/StubScreen.h"
#include "support/TestSupport.h"

namespace zelmo::test {

inline constexpr const char* TOKEN = "s3cret";
inline constexpr auto WAIT = std::chrono::seconds(15);

// The OneBot settings of a rig: both listeners on loopback ports of the system's choice.
inline config::OneBotSettings RigSettings() {
    config::OneBotSettings settings;
    settings.启用 = true;
    settings.HTTP地址 = "127.0.0.1:0";
    settings.WS地址 = "127.0.0.1:0";
    settings.访问令牌 = TOKEN;
    settings.心跳间隔 = "0";
    settings.HTTP事件 = true;
    return settings;
}

// The OneBot service over parts of a robot that is logged in but never sends (its sender
// does not run): what the transports and the read-only actions need.
class OneBotRig {
public:
    // Logged in as `state` (by default a made-up account with one friend).
    explicit OneBotRig(config::OneBotSettings settings = RigSettings(),
                       std::optional<protocol::ProtocolState> state = std::nullopt) {
        if (!state) {
            state.emplace();
            state->own.UserName = "@self";
            state->own.NickName = platform::Utf8ToGbk("机器人");
            contacts.AppendIfNew(Contact("@alice", "Alice", "女"));
        }
        sessions.Publish(*state);
        service = std::make_unique<onebot::OneBotService>(
            onebot::OneBotParts{{web, profile, clock},
                                sessions,
                                contacts,
                                keys,
                                connection,
                                sender,
                                guard,
                                settings_store,
                                dir.Path() + "/files",
                                "9.9",
                                [this](std::string_view line) { AddLine(line); }},
            std::move(settings));
        reports = service->Start();
    }

    // The service goes first: it still logs while it stops.
    ~OneBotRig() { service.reset(); }
    OneBotRig(const OneBotRig&) = delete;
    OneBotRig& operator=(const OneBotRig&) = delete;

    int PortOf(std::string_view what) const {
        for (const onebot::ListenerReport& report : reports) {
            if (report.what == what) {
                return report.port;
            }
        }
        return 0;
    }

    // Waits for a log line holding `part` (UTF-8).
    bool WaitForLine(std::string_view part) {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, WAIT, [&] {
            for (const std::string& line : m_lines) {
                if (line.find(part) != std::string::npos) {
                    return true;
                }
            }
            return false;
        });
    }

    TempDir dir;
    platform::SystemClock clock;
    protocol::ServiceProfile profile;
    platform::WebClient web;
    protocol::SessionStore sessions;
    contacts::ContactStore contacts;
    contacts::ContactKeys keys{clock};
    protocol::Connection connection;
    config::SettingsStore settings_store;
    StubScreen screen;
    messages::MessageLog log{screen, clock};
    messages::Sender sender{{{web, profile, clock},
                             sessions,
                             settings_store,
                             [](int) { return true; },
                             connection,
                             log,
                             contacts,
                             keys}};
    messages::ReplyGuard guard;
    std::unique_ptr<onebot::OneBotService> service;
    std::vector<onebot::ListenerReport> reports;

private:
    void AddLine(std::string_view gbk) {
        {
            std::lock_guard lock(m_mutex);
            m_lines.push_back(platform::GbkToUtf8(gbk));
        }
        m_changed.notify_all();
    }

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<std::string> m_lines;
};

}  // namespace zelmo::test
