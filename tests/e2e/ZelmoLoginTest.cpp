#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "platform/Files.h"
#include "sim/Simulator.h"
#include "support/TestSupport.h"

namespace {

using namespace std::chrono_literals;

// The real zelmo binary as a child process; killed and reaped when the object dies.
class ChildProcess {
public:
    ChildProcess(const std::vector<std::string>& args, const std::string& stderr_file) {
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
        if (posix_spawn(&m_pid, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0) {
            m_pid = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
    }
    ~ChildProcess() {
        if (m_pid > 0) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, nullptr, 0);
        }
    }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool Running() const { return m_pid > 0 && waitpid(m_pid, nullptr, WNOHANG) == 0; }

private:
    pid_t m_pid = -1;
};

TEST(ZelmoLoginTest, BinaryLogsInToTheSimulatorAndReachesWebwxinit) {
    zelmo::test::TempDir dir;
    sim::SimulatorOptions options;
    options.workdir = dir.Path() + "/sim";
    options.auto_scan_ms = 300;
    options.auto_confirm_ms = 300;
    sim::Simulator simulator(options);
    ASSERT_TRUE(simulator.Start());

    const std::string log = dir.Path() + "/stderr.txt";
    const std::string binary = ZELMO_BINARY_DIR "/src/zelmo";
    ChildProcess zelmo({binary, "--service", simulator.ProfilePath(), "--data-dir",
                        dir.Path() + "/data", "--auto-answer", "yes"},
                       log);
    ASSERT_TRUE(simulator.WaitForRequest("webwxinit", 20s)) << zelmo::platform::ReadFile(log);
    EXPECT_TRUE(simulator.Session().logged_in);
    EXPECT_TRUE(zelmo.Running());
    EXPECT_TRUE(simulator.Violations().empty()) << simulator.Violations().front();
    // No message box came up on the way.
    EXPECT_EQ(zelmo::platform::ReadFile(log).find("错误提示"), std::string::npos);
}

}  // namespace
