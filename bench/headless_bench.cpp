// The headless program's costs, each a real process against the local simulator.
//   idle_online:   CPU of zelmo-headless over 10 s online without traffic (synccheck held
//                  25 s, as the service does), as a share of one core
//   memory_10k:    resident memory after the start-up with the 10,000-friend scenario, of
//                  zelmo-headless and of zelmo (offscreen Qt) beside it
//   stop_in_poll:  from SIGTERM during a held synccheck to the process's exit
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "sim/Simulator.h"

namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

constexpr auto IDLE_SPAN = 10s;
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

class TempFolder {
public:
    TempFolder() {
        char pattern[] = "/tmp/zelmo-bench-XXXXXX";
        m_path = mkdtemp(pattern) != nullptr ? pattern : "";
    }
    ~TempFolder() {
        std::error_code error;
        fs::remove_all(m_path, error);
    }
    const std::string& Path() const { return m_path; }

private:
    std::string m_path;
};

// A child program with its standard output readable; killed when the object dies.
class Child {
public:
    Child(const std::vector<std::string>& args, const std::vector<std::string>& extra_env) {
        std::vector<char*> argv;
        argv.reserve(args.size() + 1);
        for (const std::string& arg : args) {
            argv.push_back(const_cast<char*>(arg.c_str()));
        }
        argv.push_back(nullptr);
        std::vector<std::string> env = extra_env;
        for (char** entry = environ; *entry != nullptr; ++entry) {
            env.emplace_back(*entry);
        }
        std::vector<char*> envp;
        envp.reserve(env.size() + 1);
        for (std::string& text : env) {
            envp.push_back(text.data());
        }
        envp.push_back(nullptr);
        int out[2];
        if (pipe2(out, O_CLOEXEC) != 0) {
            return;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
        if (posix_spawn(&m_pid, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0) {
            m_pid = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
        close(out[1]);
        m_out = out[0];
    }
    ~Child() {
        if (m_out >= 0) {
            close(m_out);
        }
        if (m_pid > 0) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, nullptr, 0);
        }
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    pid_t Pid() const { return m_pid; }

    // True once a line containing `text` was printed.
    bool WaitForOutput(const std::string& text, std::chrono::milliseconds timeout) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (m_seen.find(text) == std::string::npos) {
            if (!ReadMore(deadline)) {
                return false;
            }
        }
        return true;
    }

    // Reads to the end of the output (the exit closes it) and reaps the child.
    bool WaitForExit(std::chrono::milliseconds timeout) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (ReadMore(deadline)) {
        }
        if (!m_closed) {
            return false;
        }
        waitpid(m_pid, nullptr, 0);
        m_pid = -1;
        return true;
    }

private:
    bool ReadMore(std::chrono::steady_clock::time_point deadline) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd ready{m_out, POLLIN, 0};
        if (m_out < 0 || m_closed || left.count() <= 0 ||
            poll(&ready, 1, static_cast<int>(left.count())) <= 0) {
            return false;
        }
        char buffer[4096];
        const ssize_t got = read(m_out, buffer, sizeof buffer);
        if (got <= 0) {
            m_closed = true;
            return false;
        }
        // Only the tail matters for a search; the QR drawings would make it large.
        m_seen.append(buffer, static_cast<std::size_t>(got));
        if (m_seen.size() > 1 << 20) {
            m_seen.erase(0, m_seen.size() - (1 << 16));
        }
        return true;
    }

    pid_t m_pid = -1;
    int m_out = -1;
    bool m_closed = false;
    std::string m_seen;
};

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
        TempFolder dir;
        Service service(dir.Path() + "/sim");
        Child child(HeadlessArgs(service, dir.Path()), {});
        if (!service.started || !child.WaitForOutput(" ready ", 30s)) {
            state.SkipWithError("no start-up");
            return;
        }
        std::this_thread::sleep_for(SETTLE);
        const double before = CpuSeconds(child.Pid());
        const auto start = std::chrono::steady_clock::now();
        std::this_thread::sleep_for(IDLE_SPAN);
        const double after = CpuSeconds(child.Pid());
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        const double cpu_seconds = after - before;
        state.SetIterationTime(seconds);
        state.counters["cpu_percent_of_one_core"] = 100.0 * cpu_seconds / seconds;
    }
}
BENCHMARK(IdleOnline)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

void MeasureMemory(benchmark::State& state, bool gui) {
    for (auto _ : state) {
        TempFolder dir;
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
        Child child(args, env);
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
        TempFolder dir;
        Service service(dir.Path() + "/sim");
        Child child(HeadlessArgs(service, dir.Path()), {});
        if (!service.started || !child.WaitForOutput(" ready ", 30s) ||
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
        std::size_t logouts = 0;
        for (const sim::RecordedRequest& request : service.simulator->Requests()) {
            logouts += request.path.find("webwxlogout") != std::string::npos ? 1 : 0;
        }
        state.counters["stop_ms"] = seconds * 1000.0;
        state.counters["logouts"] = static_cast<double>(logouts);
    }
}
BENCHMARK(StopDuringHeldPoll)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace
