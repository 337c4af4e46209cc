#include <fcntl.h>
#include <gtest/gtest.h>
#include <httplib.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>
#include <vector>

#include "platform/Files.h"
#include "support/TestSupport.h"

namespace {

using namespace std::chrono_literals;

// The real zelmo binary as a child process; killed and reaped when the object dies.
class ChildProcess {
public:
    // stderr goes to `stderr_file`; with `pipe_stdout` the child's stdout can be read
    // line by line.
    ChildProcess(const std::vector<std::string>& args, const std::string& stderr_file,
                 bool pipe_stdout = false) {
        std::vector<char*> argv;
        argv.reserve(args.size() + 1);
        for (const std::string& arg : args) {
            argv.push_back(const_cast<char*>(arg.c_str()));
        }
        argv.push_back(nullptr);
        std::vector<std::string> env_texts = {"QT_QPA_PLATFORM=offscreen"};
        for (char** entry = environ; *entry != nullptr; ++entry) {
            if (std::string_view(*entry).starts_with("QT_QPA_PLATFORM=")) {
                continue;
            }
            env_texts.emplace_back(*entry);
        }
        std::vector<char*> envp;
        envp.reserve(env_texts.size() + 1);
        for (std::string& text : env_texts) {
            envp.push_back(text.data());
        }
        envp.push_back(nullptr);

        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, stderr_file.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int out[2] = {-1, -1};
        if (pipe_stdout && pipe2(out, O_CLOEXEC) == 0) {
            posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        }
        if (posix_spawn(&m_pid, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0) {
            m_pid = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
        if (out[1] >= 0) {
            close(out[1]);
            m_stdout = out[0];
        }
    }
    ~ChildProcess() {
        if (m_stdout >= 0) {
            close(m_stdout);
        }
        if (m_pid > 0) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, nullptr, 0);
        }
    }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool Running() const { return m_pid > 0 && waitpid(m_pid, nullptr, WNOHANG) == 0; }

    // The rest of the first stdout line that starts with `prefix`; empty when the child
    // closed its output or printed nothing for `timeout`.
    std::string ReadLineAfter(std::string_view prefix, std::chrono::milliseconds timeout) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        for (;;) {
            for (std::size_t end = m_pending.find('\n'); end != std::string::npos;
                 end = m_pending.find('\n')) {
                std::string line = m_pending.substr(0, end);
                m_pending.erase(0, end + 1);
                if (line.starts_with(prefix)) {
                    return line.substr(prefix.size());
                }
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            pollfd ready{m_stdout, POLLIN, 0};
            if (m_stdout < 0 || left.count() <= 0 ||
                poll(&ready, 1, static_cast<int>(left.count())) <= 0) {
                return {};
            }
            char buffer[512];
            const ssize_t got = read(m_stdout, buffer, sizeof buffer);
            if (got <= 0) {
                return {};
            }
            m_pending.append(buffer, static_cast<std::size_t>(got));
        }
    }

private:
    pid_t m_pid = -1;
    int m_stdout = -1;
    std::string m_pending;
};

nlohmann::json GetJson(httplib::Client& control, const std::string& path) {
    const httplib::Result result = control.Get(path);
    if (!result || result->status != 200) {
        return nullptr;
    }
    return nlohmann::json::parse(result->body, nullptr, false);
}

// Both programs as a user runs them: zelmo-sim scans and confirms by itself, and the
// test watches through its control API.
TEST(ZelmoLoginTest, BinaryLogsInToTheSimulatorAndReachesWebwxinit) {
    zelmo::test::TempDir dir;
    const std::string binaries = ZELMO_BINARY_DIR;
    const std::string sim_log = dir.Path() + "/sim-stderr.txt";
    ChildProcess simulator({binaries + "/tools/sim/zelmo-sim", "--workdir", dir.Path() + "/sim",
                            "--port", "0", "--auto-scan-ms", "300", "--auto-confirm-ms", "300"},
                           sim_log, true);
    const std::string profile = simulator.ReadLineAfter("profile: ", 20s);
    const std::string control_url = simulator.ReadLineAfter("control: ", 5s);
    ASSERT_FALSE(control_url.empty()) << zelmo::platform::ReadFile(sim_log);
    httplib::Client control(control_url);
    control.set_read_timeout(30, 0);

    const std::string log = dir.Path() + "/stderr.txt";
    ChildProcess zelmo({binaries + "/src/zelmo", "--service", profile, "--data-dir",
                        dir.Path() + "/data", "--auto-answer", "yes"},
                       log);
    const nlohmann::json waited = GetJson(control, "/wait?path=webwxinit&timeout_ms=20000");
    ASSERT_TRUE(waited.is_object() && waited.value("ok", false)) << zelmo::platform::ReadFile(log);
    EXPECT_TRUE(GetJson(control, "/session").value("logged_in", false));
    EXPECT_EQ(GetJson(control, "/violations"), nlohmann::json::array());
    EXPECT_TRUE(zelmo.Running());
    // No message box came up on the way.
    EXPECT_EQ(zelmo::platform::ReadFile(log).find("错误提示"), std::string::npos);
}

}  // namespace
