// How long the robot is away, each program a real process against the local simulator
// (synccheck held 25 s as the service does; the phone confirms a push at once):
//   loss_to_answer:     from the service ending the session (1101) to the answer of a
//                       message sent as soon as the robot polls again after a push re-login
//   restart_to_answer:  from a new process after kill -9 (hot start: the saved session
//                       resumed, no scan) to the answer of a message sent at its start
// Each for zelmo-headless and for zelmo (offscreen Qt).
#include <benchmark/benchmark.h>
#include <signal.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "sim/Simulator.h"
#include "support/ChildProcess.h"
#include "support/TestSupport.h"

namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

fs::path BuildDir() {
    return fs::read_symlink("/proc/self/exe").parent_path().parent_path();
}

struct Service {
    explicit Service(const std::string& workdir) {
        sim::SimulatorOptions options;
        options.workdir = workdir;
        options.auto_scan_ms = 0;
        options.auto_confirm_ms = 0;
        simulator = std::make_unique<sim::Simulator>(options);
        started = simulator->Start();
    }
    std::unique_ptr<sim::Simulator> simulator;
    bool started = false;
};

// The program as a child on the data folder; the desktop one offscreen, boxes answered.
std::unique_ptr<zelmo::test::ChildProcess> Launch(const Service& service,
                                                  const std::string& data_root, bool gui) {
    std::vector<std::string> args = {(BuildDir() / "src/headless/zelmo-headless").string(),
                                     "--service", service.simulator->ProfilePath(), "--data-dir",
                                     data_root};
    std::vector<std::string> env;
    if (gui) {
        args[0] = (BuildDir() / "src/zelmo").string();
        args.push_back("--auto-answer");
        args.push_back("yes");
        env.push_back("QT_QPA_PLATFORM=offscreen");
    }
    return std::make_unique<zelmo::test::ChildProcess>(args, env);
}

// A text from a friend, delivered now; true once the robot answered it.
bool Answered(sim::Simulator& simulator, std::size_t count) {
    simulator.DeliverMessage({sim::MessageKind::Text, "alice", "", "", "功能"});
    return simulator.WaitForSentMessages(count, 120s);
}

double SecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void LossToAnswer(benchmark::State& state, bool gui) {
    for (auto _ : state) {
        zelmo::test::TempDir dir;
        Service service(dir.Path() + "/sim");
        const auto child = Launch(service, dir.Path() + "/data", gui);
        sim::Simulator& simulator = *service.simulator;
        if (!service.started || !simulator.WaitForRequests("synccheck", 2, 60s)) {
            state.SkipWithError("no start-up");
            return;
        }
        const auto start = std::chrono::steady_clock::now();
        simulator.EndSession(1101);
        // Back once the heartbeat polls the new session (what came before its first sync is
        // dropped, as at every start); a message then is answered.
        if (!simulator.WaitForRequest("webwxpushloginurl", 60s) ||
            !simulator.WaitForRequests("webwxstatusnotify", 2, 60s)) {
            state.SkipWithError("no re-login");
            return;
        }
        const std::size_t polls = simulator.CountRequests("synccheck");
        if (!simulator.WaitForRequests("synccheck", polls + 1, 60s)) {
            state.SkipWithError("no poll after the re-login");
            return;
        }
        if (!Answered(simulator, 1)) {
            state.SkipWithError("no answer");
            return;
        }
        state.SetIterationTime(SecondsSince(start));
        state.counters["pushes"] = simulator.Login().pushes;
    }
}

void RestartToAnswer(benchmark::State& state, bool gui) {
    for (auto _ : state) {
        zelmo::test::TempDir dir;
        Service service(dir.Path() + "/sim");
        sim::Simulator& simulator = *service.simulator;
        auto child = Launch(service, dir.Path() + "/data", gui);
        if (!service.started || !simulator.WaitForRequests("synccheck", 1, 60s)) {
            state.SkipWithError("no start-up");
            return;
        }
        kill(child->Pid(), SIGKILL);
        child->WaitForExit(10s);
        const std::size_t polls = simulator.CountRequests("synccheck");
        const auto start = std::chrono::steady_clock::now();
        child = Launch(service, dir.Path() + "/data", gui);
        // The first poll of the new process: the start-up is done; then a message.
        if (!simulator.WaitForRequests("synccheck", polls + 1, 60s) || !Answered(simulator, 1)) {
            state.SkipWithError("no answer");
            return;
        }
        state.SetIterationTime(SecondsSince(start));
        state.counters["qr_codes"] = static_cast<double>(simulator.CountRequests("/qrcode/"));
    }
}

void LossToAnswerHeadless(benchmark::State& state) {
    LossToAnswer(state, false);
}
void LossToAnswerDesktop(benchmark::State& state) {
    LossToAnswer(state, true);
}
void RestartToAnswerHeadless(benchmark::State& state) {
    RestartToAnswer(state, false);
}
void RestartToAnswerDesktop(benchmark::State& state) {
    RestartToAnswer(state, true);
}
BENCHMARK(LossToAnswerHeadless)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(LossToAnswerDesktop)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(RestartToAnswerHeadless)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(RestartToAnswerDesktop)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace
