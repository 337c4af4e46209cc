// From the phone's confirmation to the hand-over to the main window, against the local
// simulator over real TLS.
#include <benchmark/benchmark.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <string>

#include "QuietScreen.h"
#include "app/LoginDriver.h"
#include "app/Robot.h"
#include "platform/Clock.h"
#include "sim/Simulator.h"

namespace {

using Clock = std::chrono::steady_clock;

// A screen that only notes when the main window was asked for; pauses are a tenth.
class TimingScreen final : public zelmo::bench::QuietScreen {
public:
    void Delay(int ms) override {
        std::unique_lock lock(m_mutex);
        m_changed.wait_for(lock, std::chrono::milliseconds(ms / 10), [this] { return m_main; });
    }
    void OpenMainWindow() override {
        {
            std::lock_guard lock(m_mutex);
            m_main = true;
            m_opened_at = Clock::now();
        }
        m_changed.notify_all();
    }
    bool WaitForMain(Clock::time_point& at) {
        std::unique_lock lock(m_mutex);
        const bool opened =
            m_changed.wait_for(lock, std::chrono::seconds(20), [this] { return m_main; });
        at = m_opened_at;
        return opened;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_main = false;
    Clock::time_point m_opened_at;
};

void ConfirmationToMainWindow(benchmark::State& state) {
    const std::string root = std::filesystem::temp_directory_path() / "zelmo-login-bench";
    for (auto _ : state) {
        sim::SimulatorOptions options;
        options.workdir = root + "/sim";
        sim::Simulator simulator(options);
        if (!simulator.Start()) {
            state.SkipWithError("the simulator did not start");
            break;
        }
        zelmo::platform::SystemClock clock;
        TimingScreen screen;
        zelmo::app::Robot robot(
            {root + "/data", simulator.ProfilePath(), zelmo::app::AutoAnswer::Yes}, clock, screen);
        if (!zelmo::app::StartLogin(robot) ||
            !simulator.WaitForRequest("/cgi-bin/mmwebwx-bin/login", std::chrono::seconds(10))) {
            state.SkipWithError("no login poll");
            break;
        }
        simulator.Scan();
        simulator.WaitForRequests("/cgi-bin/mmwebwx-bin/login", 2, std::chrono::seconds(10));
        const Clock::time_point confirmed = Clock::now();
        simulator.Confirm();
        Clock::time_point opened;
        if (!screen.WaitForMain(opened)) {
            state.SkipWithError("no main window");
            break;
        }
        state.SetIterationTime(std::chrono::duration<double>(opened - confirmed).count());
        robot.Shutdown();
        simulator.Stop();
    }
    std::filesystem::remove_all(root);
}
BENCHMARK(ConfirmationToMainWindow)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);

}  // namespace
