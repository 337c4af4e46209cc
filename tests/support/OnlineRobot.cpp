#include "support/OnlineRobot.h"

#include <utility>

#include "app/LoginDriver.h"
#include "platform/Files.h"

namespace zelmo::test {

OnlineRobot::OnlineRobot() : OnlineRobot(Options{}) {}

OnlineRobot::OnlineRobot(Options options)
    : m_options(std::move(options)), m_screen(std::make_unique<StubScreen>(m_options.delay_scale)) {
    sim::SimulatorOptions sim_options;
    sim_options.workdir = m_dir.Path() + "/sim";
    sim_options.scenario_json = m_options.scenario_json;
    sim_options.era = m_options.era;
    sim_options.synccheck_hold_ms = m_options.synccheck_hold_ms;
    sim_options.send_min_interval_ms = m_options.send_min_interval_ms;
    sim_options.auto_scan_ms = m_options.auto_login ? 0 : -1;
    sim_options.auto_confirm_ms = m_options.auto_login ? 0 : -1;
    sim_options.rename_at_login = m_options.rename_at_login;
    sim_options.rename_nickname_share = m_options.rename_nickname_share;
    sim_options.end_session_after_login_ms = m_options.end_session_after_login_ms;
    m_sim = std::make_unique<sim::Simulator>(sim_options);
}

OnlineRobot::~OnlineRobot() {
    if (m_robot) {
        m_screen->Cancel();
        m_robot->Shutdown();
    }
    m_robot.reset();
    m_sim->Stop();
}

std::string OnlineRobot::Start(std::chrono::milliseconds timeout) {
    const bool first = !m_sim_started;
    if (first && !(m_sim_started = m_sim->Start())) {
        return "the simulator did not start";
    }
    if (m_options.prepare && first) {
        platform::MakeDirectories(AccountDir() + "/config");
        platform::MakeDirectories(AccountDir() + "/plugin");
        m_options.prepare(AccountDir());
    }
    app::RunOptions run;
    run.data_root = DataRoot();
    run.service_file = m_sim->ProfilePath();
    run.auto_answer = app::AutoAnswer::Yes;
    run.unattended = m_options.unattended;
    platform::Clock& clock = m_options.clock != nullptr ? *m_options.clock : m_clock;
    m_robot = std::make_unique<app::Robot>(run, clock, *m_screen);
    const bool qr_shown = app::BeginLogin(*m_robot);
    if (!m_options.auto_login && qr_shown) {
        if (!m_sim->WaitForRequest("/cgi-bin/mmwebwx-bin/login", timeout)) {
            return "no login poll";
        }
        m_sim->Scan();
        m_sim->Confirm();
    }
    if (!m_screen->WaitForCall("MainWindowReady", timeout)) {
        return "the start-up did not finish";
    }
    return {};
}

std::string OnlineRobot::Restart(std::chrono::milliseconds timeout) {
    m_screen->Cancel();
    m_robot->Shutdown();
    m_robot.reset();
    m_screen = std::make_unique<StubScreen>(m_options.delay_scale);
    return Start(timeout);
}

}  // namespace zelmo::test
