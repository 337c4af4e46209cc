#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "app/Robot.h"
#include "platform/Clock.h"
#include "sim/Simulator.h"
#include "support/StubScreen.h"
#include "support/TestSupport.h"

namespace zelmo::test {

// A robot logged in to a fresh simulator in this process, through the real login and the
// real start-up, with a recording screen. Tears everything down when it dies.
class OnlineRobot {
public:
    struct Options {
        std::string scenario_json;  // empty: the simulator's small built-in account
        sim::Era era = sim::Era::Early2016;
        int synccheck_hold_ms = 25000;
        int send_min_interval_ms = 0;
        // Scales every screen delay (the login's status pauses, the send pause, ...).
        double delay_scale = 0.01;
        // Runs before the login with the account folder the start-up will use, so a test
        // can put settings, a knowledge base or plugins there. The account's Uin must be
        // DEFAULT_UIN unless the scenario names another one in `uin`.
        std::function<void(const std::string& account_dir)> prepare;
        std::string uin = DEFAULT_UIN;
        // Runs as zelmo-headless does: a refused or unfinished re-login ends the program.
        bool unattended = false;
        // The simulator scans and confirms every QR code (and push) by itself; without, the
        // first login is scanned and confirmed by Start() and later ones by the test.
        bool auto_login = true;
        // The simulator's SimulatorOptions of the same names.
        bool rename_at_login = false;
        double rename_nickname_share = 0;
        int end_session_after_login_ms = -1;
        // The robot's clock (a fake one moves only when told); nullptr: the system's.
        platform::Clock* clock = nullptr;
    };
    static constexpr const char* DEFAULT_UIN = "2100000001";

    OnlineRobot();
    explicit OnlineRobot(Options options);
    ~OnlineRobot();
    OnlineRobot(const OnlineRobot&) = delete;
    OnlineRobot& operator=(const OnlineRobot&) = delete;

    // Logs in as the programs do (a saved session first) and waits until the start-up is
    // done. Empty on success, otherwise what went wrong.
    std::string Start(std::chrono::milliseconds timeout = std::chrono::seconds(30));

    // The process dies without a word (kill -9) and starts again on the same data folder,
    // with a new screen: Start() once more. Empty on success.
    std::string Restart(std::chrono::milliseconds timeout = std::chrono::seconds(30));

    sim::Simulator& Sim() { return *m_sim; }
    app::Robot& Robot() { return *m_robot; }
    StubScreen& Screen() { return *m_screen; }
    std::string DataRoot() const { return m_dir.Path() + "/data"; }
    std::string AccountDir() const { return DataRoot() + "/" + m_options.uin; }

private:
    Options m_options;
    TempDir m_dir;
    std::unique_ptr<sim::Simulator> m_sim;
    bool m_sim_started = false;
    std::unique_ptr<StubScreen> m_screen;
    platform::SystemClock m_clock;
    std::unique_ptr<app::Robot> m_robot;
};

}  // namespace zelmo::test
