#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "app/Robot.h"
#include "platform/Clock.h"
#include "sim/Simulator.h"
#include "support/StubScreen.h"
#include "support/TestSupport.h"

namespace zelmo::faults {

// A robot logging in to its own simulator (fresh port and folder, so cases run in
// parallel), with the screen stubbed and every time-out and screen pause scaled down.
class FaultRig {
public:
    struct Options {
        double timeout_scale = 1.0;  // written into the service profile
        double delay_scale = 0.05;   // the stub screen's pauses
        bool auto_login = true;      // the simulator scans and confirms by itself
        int poll_hold_ms = 300;      // how long the simulator holds a login poll
        int synccheck_hold_ms = 25000;
        std::string scenario_json;  // empty: the simulator's small built-in account
    };

    explicit FaultRig(Options options);
    ~FaultRig();
    FaultRig(const FaultRig&) = delete;
    FaultRig& operator=(const FaultRig&) = delete;

    bool Started() const { return m_started; }
    sim::Simulator& Sim() { return *m_sim; }
    app::Robot& Bot() { return *m_robot; }
    test::StubScreen& Screen() { return m_screen; }

    // Requests so far whose path (with "?" and query when the part holds a "?") holds it.
    std::size_t RequestCount(std::string_view part) const;
    // The arrival times (ms since the simulator's start) of those requests, in order.
    std::vector<std::int64_t> RequestTimes(std::string_view part) const;

    // Logs in (the simulator scans and confirms) and runs the start-up. Empty on success,
    // otherwise what went wrong.
    std::string StartRobot();

private:
    test::TempDir m_dir;
    std::unique_ptr<sim::Simulator> m_sim;
    bool m_started = false;
    platform::SystemClock m_clock;
    test::StubScreen m_screen;
    std::unique_ptr<app::Robot> m_robot;
};

}  // namespace zelmo::faults
