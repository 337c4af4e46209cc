#include "FaultRig.h"

#include <algorithm>
#include <sstream>

#include "platform/IniFile.h"

namespace zelmo::faults {

FaultRig::FaultRig(Options options) : m_screen(options.delay_scale) {
    sim::SimulatorOptions sim_options;
    sim_options.workdir = m_dir.Path() + "/sim";
    sim_options.login_poll_hold_ms = options.poll_hold_ms;
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
    const bool with_query = part.find('?') != std::string_view::npos;
    const auto requests = m_sim->Requests();
    return static_cast<std::size_t>(
        std::count_if(requests.begin(), requests.end(), [&](const sim::RecordedRequest& r) {
            const std::string seen = with_query ? r.path + "?" + r.query : r.path;
            return seen.find(part) != std::string::npos;
        }));
}

}  // namespace zelmo::faults
