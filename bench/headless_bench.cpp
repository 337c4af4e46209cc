// The headless program's costs, each a real process against the local simulator.
//   idle_online:   CPU of zelmo-headless over two full poll cycles online without traffic
//                  (synccheck held 25 s, as the service does), as a share of one core
//   memory_10k:    resident memory after the start-up with the 10,000-friend scenario, of
//                  zelmo-headless and of zelmo (offscreen Qt) beside it
//   stop_in_poll:  from SIGTERM during a held synccheck to the process's exit
//   stop_large_base: from SIGTERM to the exit with one learned pair over a 100 MB base
#include <benchmark/benchmark.h>
#include <signal.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "sim/Simulator.h"
#include "support/ChildProcess.h"
#include "support/TestSupport.h"

namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

constexpr std::size_t IDLE_CYCLES = 2;
// Lets the list fillers and the first heartbeat cycle finish before memory is read.
constexpr auto SETTLE = 3s;

fs::path BuildDir() {
    return fs::read_symlink("/proc/self/exe").parent_path().parent_path();
}

// The source tree, from the build's cache.
fs::path SourceDir() {
    std::ifstream cache(BuildDir() / "CMakeCache.txt");
    const std::string key = "CMAKE_HOME_DIRECTORY:INTERNAL=";
    for (std::string line; std::getline(cache, line);) {
        if (line.starts_with(key)) {
            return line.substr(key.size());
        }
    }
    return {};
}

// True once the child printed its end of the start-up.
bool Ready(zelmo::test::ChildProcess& child) {
    std::size_t next = 0;
    return child.WaitForLine(&next, " ready ", 30s).has_value();
}

// Nanoseconds on a CPU of every thread of a process, from the scheduler's own count
// (finer than the clock ticks of /proc/PID/stat).
double CpuSeconds(pid_t pid) {
    std::uint64_t total = 0;
    std::error_code error;
    for (const fs::directory_entry& task :
         fs::directory_iterator("/proc/" + std::to_string(pid) + "/task", error)) {
        std::ifstream schedstat(task.path() / "schedstat");
        std::uint64_t on_cpu_ns = 0;
        if (schedstat >> on_cpu_ns) {
            total += on_cpu_ns;
        }
    }
    return static_cast<double>(total) / 1e9;
}

double ResidentMb(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.starts_with("VmRSS:")) {
            return std::stod(line.substr(6)) / 1024.0;
        }
    }
    return -1;
}

struct Service {
    explicit Service(const std::string& workdir, const std::string& scenario_file = {},
                     int synccheck_hold_ms = 25000) {
        sim::SimulatorOptions options;
        options.workdir = workdir;
        options.scenario_file = scenario_file;
        options.auto_scan_ms = 200;
        options.auto_confirm_ms = 200;
        options.synccheck_hold_ms = synccheck_hold_ms;
        simulator = std::make_unique<sim::Simulator>(options);
        started = simulator->Start();
    }
    std::unique_ptr<sim::Simulator> simulator;
    bool started = false;
};

std::vector<std::string> HeadlessArgs(const Service& service, const std::string& dir) {
    return {(BuildDir() / "src/headless/zelmo-headless").string(), "--service",
            service.simulator->ProfilePath(), "--data-dir", dir + "/data"};
}

void IdleOnline(benchmark::State& state) {
    for (auto _ : state) {
        zelmo::test::TempDir dir;
        Service service(dir.Path() + "/sim");
        zelmo::test::ChildProcess child(HeadlessArgs(service, dir.Path()), {});
        if (!service.started || !Ready(child)) {
            state.SkipWithError("no start-up");
            return;
        }
        std::this_thread::sleep_for(SETTLE);
        // From the start of one poll to the start of the poll two cycles later: whole
        // cycles, the held poll and the pauses between.
        sim::Simulator& simulator = *service.simulator;
        const std::size_t polls = simulator.CountRequests("synccheck");
        if (!simulator.WaitForRequests("synccheck", polls + 1, 40s)) {
            state.SkipWithError("no poll");
            return;
        }
        const double before = CpuSeconds(child.Pid());
        const auto start = std::chrono::steady_clock::now();
        if (!simulator.WaitForRequests("synccheck", polls + 1 + IDLE_CYCLES, 40s * IDLE_CYCLES)) {
            state.SkipWithError("the polls stopped");
            return;
        }
        const double after = CpuSeconds(child.Pid());
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        const double cpu_seconds = after - before;
        state.SetIterationTime(seconds);
        state.counters["cpu_percent_of_one_core"] = 100.0 * cpu_seconds / seconds;
        state.counters["poll_cycles"] = static_cast<double>(IDLE_CYCLES);
    }
}
BENCHMARK(IdleOnline)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

void MeasureMemory(benchmark::State& state, bool gui) {
    for (auto _ : state) {
        zelmo::test::TempDir dir;
        Service service(dir.Path() + "/sim",
                        (SourceDir() / "tools/sim/scenarios/bench10k.json").string());
        std::vector<std::string> args = HeadlessArgs(service, dir.Path());
        std::vector<std::string> env;
        if (gui) {
            args[0] = (BuildDir() / "src/zelmo").string();
            args.push_back("--auto-answer");
            args.push_back("yes");
            env.push_back("QT_QPA_PLATFORM=offscreen");
        }
        const auto start = std::chrono::steady_clock::now();
        zelmo::test::ChildProcess child(args, env);
        // The heartbeat's first poll: the start-up is done (both front ends).
        if (!service.started || !service.simulator->WaitForRequest("synccheck", 60s)) {
            state.SkipWithError("no start-up");
            return;
        }
        state.SetIterationTime(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        std::this_thread::sleep_for(SETTLE);
        state.counters["resident_mb"] = ResidentMb(child.Pid());
        state.counters["contacts"] = static_cast<double>(service.simulator->Contacts().size());
    }
}

void Memory10kHeadless(benchmark::State& state) {
    MeasureMemory(state, false);
}
void Memory10kGui(benchmark::State& state) {
    MeasureMemory(state, true);
}
BENCHMARK(Memory10kHeadless)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);
BENCHMARK(Memory10kGui)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

void StopDuringHeldPoll(benchmark::State& state) {
    for (auto _ : state) {
        zelmo::test::TempDir dir;
        Service service(dir.Path() + "/sim");
        zelmo::test::ChildProcess child(HeadlessArgs(service, dir.Path()), {});
        if (!service.started || !Ready(child) ||
            !service.simulator->WaitForRequest("synccheck", 10s)) {
            state.SkipWithError("no start-up");
            return;
        }
        // The poll is held now: 25 s before the service would answer it.
        std::this_thread::sleep_for(1s);
        const auto start = std::chrono::steady_clock::now();
        kill(child.Pid(), SIGTERM);
        if (!child.WaitForExit(20s)) {
            state.SkipWithError("did not end");
            return;
        }
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        state.SetIterationTime(seconds);
        const std::size_t logouts = service.simulator->CountRequests("webwxlogout");
        state.counters["stop_ms"] = seconds * 1000.0;
        state.counters["logouts"] = static_cast<double>(logouts);
    }
}
BENCHMARK(StopDuringHeldPoll)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

// The stop that has to write a large knowledge base: one pair learned over a base of about
// 100 MB (50,000 keywords with 2 KB replies), then SIGTERM.
void StopWithLargeBase(benchmark::State& state) {
    constexpr int KEYWORDS = 50000;
    const std::string reply(2048, 'x');
    for (auto _ : state) {
        zelmo::test::TempDir dir;
        Service service(dir.Path() + "/sim");
        const fs::path config = fs::path(dir.Path()) / "data/2100000001/config";
        fs::create_directories(config);
        {
            std::ofstream base(config / "reply.ini", std::ios::binary);
            for (int i = 0; i < KEYWORDS; ++i) {
                base << (i == 0 ? "" : "\r\n\r\n") << "keyword" << i << "\r\n" << reply;
            }
        }
        const auto base_bytes = fs::file_size(config / "reply.ini");
        zelmo::test::ChildProcess child(HeadlessArgs(service, dir.Path()), {});
        if (!service.started || !Ready(child)) {
            state.SkipWithError("no start-up");
            return;
        }
        service.simulator->DeliverMessage({.from = "alice", .text = "问：new答：pair"});
        if (!service.simulator->WaitForSentMessages(1, 30s)) {
            state.SkipWithError("nothing learned");
            return;
        }
        const auto start = std::chrono::steady_clock::now();
        kill(child.Pid(), SIGTERM);
        if (!child.WaitForExit(60s)) {
            state.SkipWithError("did not end");
            return;
        }
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        state.SetIterationTime(seconds);
        state.counters["stop_ms"] = seconds * 1000.0;
        state.counters["base_MB"] = static_cast<double>(base_bytes) / 1e6;
        // The learned pair's bytes: the stop wrote the base.
        state.counters["saved_bytes_more"] =
            static_cast<double>(fs::file_size(config / "reply.ini")) -
            static_cast<double>(base_bytes);
    }
}
BENCHMARK(StopWithLargeBase)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace
