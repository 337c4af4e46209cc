#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <string_view>

#include "platform/Clock.h"
#include "platform/WebClient.h"
#include "protocol/ServiceLink.h"
#include "protocol/ServiceProfile.h"
#include "protocol/Session.h"
#include "protocol/Templates.h"
#include "sim/Simulator.h"
#include "support/TestSupport.h"

namespace zelmo::interop {

// The account every interop test logs in to: a few named contacts, one group and a few
// hundred generated friends, so that the large answers are worth compressing.
std::string_view ScenarioJson();
inline constexpr std::size_t GENERATED_FRIENDS = 300;

// The real client (WebClient, profile, login flow) logged in to a simulator in `era`, in
// the given login mode.
class SimSession {
public:
    explicit SimSession(sim::Era era, protocol::LoginMode mode = protocol::LoginMode::Desktop);
    ~SimSession();
    SimSession(const SimSession&) = delete;
    SimSession& operator=(const SimSession&) = delete;

    // QR code, scan, confirm, redirect and webwxinit with the client's own functions.
    // An empty text means logged in; otherwise what went wrong.
    std::string LogIn();

    sim::Simulator& Sim() { return *m_sim; }
    protocol::ProtocolState& State() { return m_state; }
    const platform::WebClient& Web() const { return *m_web; }
    // What the client's own requests talk through (after LogIn()).
    protocol::ServiceLink Link() { return {*m_web, m_profile, m_clock}; }

    // One synccheck as the heartbeat sends it (30 s hold), answer as received.
    std::string SyncCheck();
    // One webwxsync with the given SyncKey object text; the answer in GBK.
    std::string WebSync(std::string_view sync_key_json);
    // FillTemplate over the session's state with the rig's clock.
    std::string Fill(std::string_view text, const protocol::CallValues& call = {});
    // A "post" to the web-client host: `path` is filled as a template, `body` is UTF-8.
    // The raw answer bytes.
    std::string PostWeb(std::string_view path, std::string_view body, int timeout_s = 0);

private:
    test::TempDir m_dir;
    std::unique_ptr<sim::Simulator> m_sim;
    protocol::LoginMode m_mode;
    protocol::ServiceProfile m_profile;
    std::unique_ptr<platform::WebClient> m_web;
    platform::SystemClock m_clock;
    protocol::ProtocolState m_state;
};

// Each area's fixture: a fresh simulator per era, already logged in.
class EraTest : public ::testing::TestWithParam<sim::Era> {
protected:
    void SetUp() override {
        m_rig = std::make_unique<SimSession>(GetParam());
        const std::string failure = m_rig->LogIn();
        ASSERT_EQ(failure, "");
    }
    SimSession& Rig() { return *m_rig; }

private:
    std::unique_ptr<SimSession> m_rig;
};

std::string EraName(const ::testing::TestParamInfo<sim::Era>& info);

// The simulator's complaints, for failure messages.
std::string ViolationText(const sim::Simulator& simulator);

}  // namespace zelmo::interop
