#include "support/SimSession.h"

#include "platform/Encoding.h"
#include "protocol/LoginFlow.h"
#include "protocol/Templates.h"
#include "protocol/TextHelpers.h"

namespace zelmo::interop {

namespace {

constexpr int SYNC_CHECK_TIMEOUT_S = 30;
// Long enough that a message delivered after the poll arrived always wakes it.
constexpr int SYNC_CHECK_HOLD_MS = 8000;

constexpr std::string_view SYNC_PATH =
    "/cgi-bin/mmwebwx-bin/webwxsync?sid={sid}&skey=%40{skey}&r={time}&skey=%40{skey}"
    "&pass_ticket={pass_ticket}";

}  // namespace

std::string_view ScenarioJson() {
    return R"({
      "fun": "5",
      "account": {"Uin": 2100000077, "NickName": "小泽 😹 Bot", "Sex": 2, "Signature": "签名"},
      "friends": [{"id": "alice", "NickName": "Alice", "Sex": 2},
                  {"id": "bob", "NickName": "Bob", "Sex": 1}],
      "groups": [{"id": "team", "NickName": "Team", "members": ["alice", "bob"]}],
      "generate_friends": 300
    })";
}

SimSession::SimSession(sim::Era era, protocol::LoginMode mode) : m_mode(mode) {
    sim::SimulatorOptions options;
    options.workdir = m_dir.Path();
    options.scenario_json = std::string(ScenarioJson());
    options.era = era;
    options.login_poll_hold_ms = 3000;
    options.synccheck_hold_ms = SYNC_CHECK_HOLD_MS;
    m_sim = std::make_unique<sim::Simulator>(std::move(options));
}

SimSession::~SimSession() {
    m_web.reset();
    m_sim->Stop();
}

std::string SimSession::LogIn() {
    if (!m_sim->Start()) {
        return "the simulator did not start";
    }
    m_profile = protocol::LoadServiceProfile(m_sim->ProfilePath());
    m_profile.login_mode = m_mode;
    m_web = std::make_unique<platform::WebClient>(protocol::ClientConfig(m_profile));
    const protocol::ServiceLink link{*m_web, m_profile, m_clock};
    protocol::Session& session = m_state.session;

    protocol::FetchQrCode(link, session);
    if (session.qr_image.empty() || session.uuid != m_sim->CurrentUuid()) {
        return "no QR code for uuid " + session.uuid;
    }
    m_sim->Scan();
    const protocol::PollAnswer scanned = protocol::PollLogin(link, session);
    if (scanned.code != "201") {
        return "scan poll answered " + scanned.answer;
    }
    m_sim->Confirm();
    const protocol::PollAnswer confirmed = protocol::PollLogin(link, session);
    if (confirmed.code != "200") {
        return "confirm poll answered " + confirmed.answer;
    }
    if (!protocol::CompleteLogin(link, confirmed.answer, session)) {
        return "the redirect failed; " + ViolationText(*m_sim);
    }
    if (!protocol::InitSession(link, m_state)) {
        return "webwxinit failed: " + m_state.init_answer.substr(0, 200) + "; " +
               ViolationText(*m_sim);
    }
    return {};
}

std::string SimSession::SyncCheck() {
    // The two time stamps are taken one after the other, as the heartbeat does.
    std::string path = protocol::FillTemplate(
        "/cgi-bin/mmwebwx-bin/synccheck?skey=%40{skey}&callback=&r=", m_state, m_clock);
    path += protocol::TimeStamp(m_clock);
    path += protocol::FillTemplate("&sid={sid}&uin={uin}&deviceid={deviceid}&synckey=", m_state,
                                   m_clock);
    path += m_state.sync_key.text + "&_=" + protocol::TimeStamp(m_clock);
    platform::RequestOptions options;
    options.cookie_header = m_state.session.cookies;
    options.timeout_s = SYNC_CHECK_TIMEOUT_S;
    return m_web->Request(protocol::PushUrl(m_profile, m_state.session.fun) + path, options);
}

std::string SimSession::WebSync(std::string_view sync_key_json) {
    const std::string body =
        protocol::FillTemplate(protocol::SYNC_BODY, m_state.session, sync_key_json, m_clock);
    return platform::Utf8ToGbk(PostWeb(SYNC_PATH, body, 10));
}

std::string SimSession::Fill(std::string_view text, const protocol::CallValues& call) {
    return protocol::FillTemplate(text, m_state, m_clock, call);
}

std::string SimSession::PostWeb(std::string_view path, std::string_view body, int timeout_s) {
    platform::RequestOptions options;
    options.method = "post";
    options.body = body;
    options.cookie_header = m_state.session.cookies;
    options.timeout_s = timeout_s;
    const std::string url = protocol::WebUrl(m_profile, m_state.session.fun) +
                            protocol::FillTemplate(path, m_state, m_clock);
    return m_web->Request(url, options);
}

std::string EraName(const ::testing::TestParamInfo<sim::Era>& info) {
    return info.param == sim::Era::Early2016 ? "Early2016" : "Late2018";
}

std::string ViolationText(const sim::Simulator& simulator) {
    std::string text = "violations:";
    for (const std::string& violation : simulator.Violations()) {
        text += " [" + violation + "]";
    }
    return text;
}

}  // namespace zelmo::interop
