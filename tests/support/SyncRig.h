#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/Heartbeat.h"
#include "app/Robot.h"
#include "jobs/JobQueue.h"
#include "platform/Clock.h"
#include "platform/Files.h"
#include "protocol/ConnectionState.h"
#include "protocol/LoginFlow.h"
#include "protocol/SyncRequests.h"
#include "sim/Simulator.h"
#include "support/StubScreen.h"
#include "support/TestSupport.h"

namespace zelmo::test {

// A robot logged in to a fresh simulator through the real login exchanges, without the
// start-up: no queue workers run, so every job the heartbeat or the intake posts stays in
// the queue for the test to read. The heartbeat runs only when a test starts it.
class SyncRig {
public:
    struct Options {
        sim::Era era = sim::Era::Early2016;
        int synccheck_hold_ms = 300;
        std::string scenario_json;         // empty: Rig's friends Alice and Bob and their group
        platform::Clock* clock = nullptr;  // the robot's; nullptr: the system clock
    };

    static constexpr std::chrono::seconds WAIT{15};

    explicit SyncRig(Options options)
        : m_screen(0.01), m_robot_clock(options.clock != nullptr ? *options.clock : m_clock) {
        sim::SimulatorOptions sim_options;
        sim_options.workdir = m_dir.Path() + "/sim";
        sim_options.scenario_json = !options.scenario_json.empty() ? options.scenario_json : R"({
          "fun": "3",
          "account": {"Uin": 2100000033, "NickName": "Rig", "Sex": 1},
          "friends": [{"id": "alice", "NickName": "Alice", "Sex": 2},
                      {"id": "bob", "NickName": "Bob", "Sex": 1}],
          "groups": [{"id": "team", "NickName": "Team", "members": ["alice", "bob"]}]
        })";
        sim_options.era = options.era;
        sim_options.login_poll_hold_ms = 3000;
        sim_options.synccheck_hold_ms = options.synccheck_hold_ms;
        m_sim = std::make_unique<sim::Simulator>(std::move(sim_options));
    }
    SyncRig() : SyncRig(Options{}) {}

    ~SyncRig() {
        m_screen.Cancel();
        if (m_robot) {
            m_robot->Shutdown();
        }
        if (m_heartbeat.joinable()) {
            m_heartbeat.join();
        }
        m_robot.reset();
        m_sim->Stop();
    }
    SyncRig(const SyncRig&) = delete;
    SyncRig& operator=(const SyncRig&) = delete;

    // Empty on success, otherwise what went wrong.
    std::string LogIn() {
        if (!m_sim->Start()) {
            return "the simulator did not start";
        }
        app::RunOptions run;
        run.data_root = m_dir.Path() + "/data";
        run.service_file = m_sim->ProfilePath();
        m_robot = std::make_unique<app::Robot>(run, m_robot_clock, m_screen);
        platform::MakeDirectories(AccountDir());
        m_robot->SetAccountDir(AccountDir());
        const protocol::ServiceLink link = m_robot->Link();
        protocol::ProtocolState state;
        protocol::Session& session = state.session;
        protocol::FetchQrCode(link, session);
        if (session.qr_image.empty()) {
            return "no QR code";
        }
        m_sim->Scan();
        if (protocol::PollLogin(link, session).code != "201") {
            return "the scan was not seen";
        }
        m_sim->Confirm();
        const protocol::PollAnswer confirmed = protocol::PollLogin(link, session);
        if (confirmed.code != "200" || !protocol::CompleteLogin(link, confirmed.answer, session) ||
            !protocol::InitSession(link, state)) {
            return "the login did not complete";
        }
        m_robot->Sessions().Publish(std::move(state));
        return {};
    }

    sim::Simulator& Sim() { return *m_sim; }
    app::Robot& Robot() { return *m_robot; }
    StubScreen& Screen() { return m_screen; }
    std::string AccountDir() const { return m_dir.Path() + "/data/account"; }
    std::string Own() const { return m_sim->UserNameOf("self"); }

    void StartHeartbeat() {
        m_heartbeat_done = std::promise<void>();
        m_heartbeat_ended = m_heartbeat_done.get_future();
        m_heartbeat = std::thread([this] {
            app::HeartbeatLoop(*m_robot);
            m_heartbeat_done.set_value();
        });
    }
    // True once the heartbeat loop returned by itself.
    bool WaitHeartbeatEnd(std::chrono::milliseconds timeout = WAIT) {
        if (!m_heartbeat_ended.valid() ||
            m_heartbeat_ended.wait_for(timeout) != std::future_status::ready) {
            return false;
        }
        m_heartbeat.join();
        return true;
    }

    // Waits until `count` more heartbeat cycles have ended than had ended when called.
    bool WaitCycles(std::size_t count = 1) {
        const std::size_t seen = m_screen.CountOf("SetMainCaption");
        return m_screen.WaitForCall("SetMainCaption", WAIT, seen + count);
    }

    // Waits for the count-th request to `path_part`, then for the end of the cycle that
    // sent it (or a later one).
    bool WaitCycleAfter(std::string_view path_part, std::size_t count) {
        return m_sim->WaitForRequests(path_part, count, WAIT) && WaitCycles();
    }

    // Every job queued so far, oldest first; the queue is left empty.
    std::vector<jobs::Job> TakeJobs() {
        std::vector<jobs::Job> jobs;
        while (std::optional<jobs::Job> job = m_robot->Queue().TryTake()) {
            jobs.push_back(std::move(*job));
        }
        return jobs;
    }

    std::size_t RequestCount(std::string_view path_part) const {
        return m_sim->CountRequests(path_part);
    }

private:
    TempDir m_dir;
    std::unique_ptr<sim::Simulator> m_sim;
    StubScreen m_screen;
    platform::SystemClock m_clock;
    platform::Clock& m_robot_clock;
    std::unique_ptr<app::Robot> m_robot;
    std::thread m_heartbeat;
    std::promise<void> m_heartbeat_done;
    std::future<void> m_heartbeat_ended;
};

}  // namespace zelmo::test
