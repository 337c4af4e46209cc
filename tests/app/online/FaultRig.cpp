#include "FaultRig.h"

#include <chrono>
#include <sstream>

#include "app/LoginDriver.h"
#include "platform/IniFile.h"

namespace zelmo::faults {

FaultRig::FaultRig(Options options) : m_screen(options.delay_scale) {
    sim::SimulatorOptions sim_options;
    sim_options.workdir = m_dir.Path() + "/sim";
    sim_options.login_poll_hold_ms = options.poll_hold_ms;
    sim_options.synccheck_hold_ms = options.synccheck_hold_ms;
    sim_options.scenario_json = options.scenario_json;
    if (options.auto_login) {
        sim_options.auto_scan_ms = 20;
        sim_options.auto_confirm_ms = 20;
    }
    m_sim = std::make_unique<sim::Simulator>(std::move(sim_options));
    m_started = m_sim->Start();
    std::ostringstream scale;
    scale << options.timeout_scale;
    m_started = m_started && platform::WriteIniItem(m_sim->ProfilePath(), "service",
                                                    "timeout_scale", scale.str());
    app::RunOptions run;
    run.data_root = m_dir.Path() + "/data";
    run.service_file = m_started ? m_sim->ProfilePath() : "";
    m_robot = std::make_unique<app::Robot>(run, m_clock, m_screen);
}

FaultRig::~FaultRig() {
    m_screen.Cancel();
    m_robot->Shutdown();
    m_sim->Stop();
}

std::size_t FaultRig::RequestCount(std::string_view part) const {
    return RequestTimes(part).size();
}

std::vector<std::int64_t> FaultRig::RequestTimes(std::string_view part) const {
    const bool with_query = part.find('?') != std::string_view::npos;
    std::vector<std::int64_t> times;
    for (const sim::RecordedRequest& r : m_sim->Requests()) {
        const std::string seen = with_query ? r.path + "?" + r.query : r.path;
        if (seen.find(part) != std::string::npos) {
            times.push_back(r.at_ms);
        }
    }
    return times;
}

std::string FaultRig::StartRobot() {
    if (!m_started) {
        return "the simulator did not start";
    }
    if (!app::StartLogin(*m_robot)) {
        return "no QR code";
    }
    if (!m_screen.WaitForCall("MainWindowReady", std::chrono::seconds(30))) {
        return "the start-up did not finish";
    }
    return {};
}

}  // namespace zelmo::faults
