#include "support/OnlineRobot.h"

#include <utility>

#include "app/LoginDriver.h"
#include "platform/Files.h"

namespace zelmo::test {

OnlineRobot::OnlineRobot() : OnlineRobot(Options{}) {}

OnlineRobot::OnlineRobot(Options options)
    : m_options(std::move(options)), m_screen(m_options.delay_scale) {
    sim::SimulatorOptions sim_options;
    sim_options.workdir = m_dir.Path() + "/sim";
    sim_options.scenario_json = m_options.scenario_json;
    sim_options.era = m_options.era;
    sim_options.synccheck_hold_ms = m_options.synccheck_hold_ms;
    sim_options.send_min_interval_ms = m_options.send_min_interval_ms;
    sim_options.auto_scan_ms = 0;
    sim_options.auto_confirm_ms = 0;
    m_sim = std::make_unique<sim::Simulator>(sim_options);
}

OnlineRobot::~OnlineRobot() {
    if (m_robot) {
        m_screen.Cancel();
        m_robot->Shutdown();
    }
    m_robot.reset();
    m_sim->Stop();
}

std::string OnlineRobot::Start(std::chrono::milliseconds timeout) {
    if (!m_sim->Start()) {
        return "the simulator did not start";
    }
    if (m_options.prepare) {
        platform::MakeDirectories(AccountDir() + "/config");
        platform::MakeDirectories(AccountDir() + "/plugin");
        m_options.prepare(AccountDir());
    }
    app::RunOptions run;
    run.data_root = DataRoot();
    run.service_file = m_sim->ProfilePath();
    run.auto_answer = app::AutoAnswer::Yes;
    m_robot = std::make_unique<app::Robot>(run, m_clock, m_screen);
    if (!app::StartLogin(*m_robot)) {
        return "no QR code";
    }
    if (!m_screen.WaitForCall("MainWindowReady", timeout)) {
        return "the start-up did not finish";
    }
    return {};
}

}  // namespace zelmo::test
