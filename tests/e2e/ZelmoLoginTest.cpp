#include <gtest/gtest.h>
#include <httplib.h>
#include <signal.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "app/SessionFile.h"
#include "platform/Files.h"
#include "platform/GbkLiteral.h"
#include "sim/Simulator.h"
#include "support/ChildProcess.h"
#include "support/FifoGate.h"
#include "support/TestSupport.h"

// The desktop program as a user runs it: only where it is built.
#ifdef ZELMO_HAVE_GUI
namespace {

using namespace std::chrono_literals;

using zelmo::test::ChildProcess;
using zelmo::test::TempDir;

// What follows `label` on the first line from `*next` on that holds it; empty on time-out.
std::string TextAfter(ChildProcess& child, std::size_t* next, std::string_view label,
                      std::chrono::milliseconds timeout) {
    const std::optional<std::string> line = child.WaitForLine(next, label, timeout);
    return line ? line->substr(line->find(label) + label.size()) : std::string();
}

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
                           {}, sim_log);
    std::size_t next = 0;
    const std::string profile = TextAfter(simulator, &next, "profile: ", 20s);
    const std::string control_url = TextAfter(simulator, &next, "control: ", 5s);
    ASSERT_FALSE(control_url.empty()) << zelmo::platform::ReadFile(sim_log);
    httplib::Client control(control_url);
    control.set_read_timeout(30, 0);

    const std::string log = dir.Path() + "/stderr.txt";
    ChildProcess zelmo({binaries + "/src/zelmo", "--service", profile, "--data-dir",
                        dir.Path() + "/data", "--auto-answer", "yes"},
                       {"QT_QPA_PLATFORM=offscreen", "XDG_STATE_HOME=" + dir.Path() + "/state",
                        "XDG_CONFIG_HOME=" + dir.Path() + "/config"},
                       log);
    const nlohmann::json waited = GetJson(control, "/wait?path=webwxinit&timeout_ms=20000");
    ASSERT_TRUE(waited.is_object() && waited.value("ok", false)) << zelmo::platform::ReadFile(log);
    const nlohmann::json session = GetJson(control, "/session");
    EXPECT_TRUE(session.value("logged_in", false));

    // The event log tells the login's steps, and none of the session's secrets.
    const std::string events = zelmo::platform::ReadFile(dir.Path() + "/state/zelmo/zelmo.log");
    for (const char* step :
         {" start zelmo ", " login 等待手机微信扫码\n", " login 手机已确认登入微信\n"}) {
        EXPECT_NE(events.find(step), std::string::npos) << step << " not in\n" << events;
    }
    for (const char* key : {"skey", "sid", "pass_ticket", "uuid"}) {
        const std::string secret = session.value(key, "");
        ASSERT_GT(secret.size(), 4u) << key;
        EXPECT_EQ(events.find(secret.substr(1)), std::string::npos) << key << " in\n" << events;
    }
    EXPECT_EQ(GetJson(control, "/violations"), nlohmann::json::array());
    EXPECT_TRUE(zelmo.Running());
    // No message box came up on the way.
    EXPECT_EQ(zelmo::platform::ReadFile(log).find("错误提示"), std::string::npos);
}

bool ExitedWith(std::optional<int> status, int code) {
    return status && WIFEXITED(*status) && WEXITSTATUS(*status) == code;
}

// The simulator in this process, the desktop program (offscreen, boxes answered and echoed
// to standard error) as children, one after the other, on one data folder.
class DesktopRun {
public:
    DesktopRun() {
        sim::SimulatorOptions options;
        options.workdir = m_dir.Path() + "/sim";
        options.synccheck_hold_ms = 2000;
        options.login_poll_hold_ms = 2000;
        options.auto_scan_ms = 200;
        options.auto_confirm_ms = 200;
        m_sim = std::make_unique<sim::Simulator>(options);
        m_started = m_sim->Start();
    }

    bool Started() const { return m_started; }
    sim::Simulator& Sim() { return *m_sim; }
    std::string DataRoot() const { return m_dir.Path() + "/data"; }
    std::string AccountDir() const { return DataRoot() + "/2100000001"; }
    std::string Stderr(int run) const {
        return zelmo::platform::ReadFile(m_dir.Path() + "/stderr-" + std::to_string(run) + ".txt");
    }

    // A new process; `args` replace or add to the usual ones (the last of a kind wins).
    std::unique_ptr<ChildProcess> Launch(const std::vector<std::string>& args = {},
                                         const std::vector<std::string>& env = {}) {
        std::vector<std::string> all = {std::string(ZELMO_BINARY_DIR) + "/src/zelmo",
                                        "--service",
                                        m_sim->ProfilePath(),
                                        "--data-dir",
                                        DataRoot(),
                                        "--auto-answer",
                                        "yes"};
        all.insert(all.end(), args.begin(), args.end());
        // Offscreen unless the test names the platform itself.
        std::vector<std::string> environment = env;
        if (std::none_of(env.begin(), env.end(), [](const std::string& entry) {
                return entry.starts_with("QT_QPA_PLATFORM=");
            })) {
            environment.push_back("QT_QPA_PLATFORM=offscreen");
        }
        return std::make_unique<ChildProcess>(
            all, environment, m_dir.Path() + "/stderr-" + std::to_string(++m_runs) + ".txt");
    }

    // Waits until the start-up's heartbeat polls: the robot is online.
    bool WaitOnline() {
        return m_sim->WaitForRequests("synccheck", m_sim->CountRequests("synccheck") + 1, 30s);
    }

    // Delivers a text from alice; true once the robot's count-th send went out.
    bool Answered(const std::string& text, std::size_t count) {
        m_sim->DeliverMessage({sim::MessageKind::Text, "alice", "", "", text});
        return m_sim->WaitForSentMessages(count, 20s);
    }

private:
    TempDir m_dir;
    std::unique_ptr<sim::Simulator> m_sim;
    bool m_started = false;
    int m_runs = 0;
};

// The desktop program outlives kill -9 and a session the service ends without a scan, and
// SIGTERM is a deliberate close: a logout, the unsaved knowledge base saved once the
// workers have stopped (a pair learned after the signal included), exit 0.
TEST(ZelmoDesktopTest, StaysLoggedInAndEndsOnSigtermLikeAClose) {
    DesktopRun run;
    ASSERT_TRUE(run.Started());
    zelmo::platform::MakeDirectories(run.AccountDir() + "/config");
    zelmo::platform::WriteFileAtomic(run.AccountDir() + "/config/reply.ini",
                                     zelmo::platform::Gbk("你好\r\n你好呀"));
    std::unique_ptr<ChildProcess> zelmo = run.Launch();
    ASSERT_TRUE(run.WaitOnline()) << run.Stderr(1);
    const std::string sid = run.Sim().Session().sid;

    ASSERT_TRUE(zelmo->Signal(SIGKILL));
    ASSERT_TRUE(zelmo->WaitForExit(10s));
    zelmo = run.Launch();
    ASSERT_TRUE(run.WaitOnline()) << run.Stderr(2);
    // Resumed: the same session, no second QR code.
    EXPECT_EQ(run.Sim().CountRequests("jslogin"), 1u);
    EXPECT_EQ(run.Sim().Session().sid, sid);
    ASSERT_TRUE(run.Answered("你好", 1));

    run.Sim().EndSession(1102);
    ASSERT_TRUE(run.Sim().WaitForRequest("webwxpushloginurl", 20s));
    ASSERT_TRUE(run.Sim().WaitForRequests("webwxinit", 3, 20s));
    ASSERT_TRUE(run.WaitOnline());
    EXPECT_EQ(run.Sim().CountRequests("jslogin"), 1u);
    ASSERT_TRUE(run.Answered("你好", 2));

    // The worker reads the shield map (a pipe here) before it learns: the learning command
    // is still in hand when the signal comes, and is learned after the logout.
    zelmo::test::FifoGate held(run.AccountDir() + "/uin.ini");
    ASSERT_TRUE(held.Made());
    run.Sim().DeliverMessage({sim::MessageKind::Text, "alice", "", "", "问：晚安答：好梦"});
    ASSERT_TRUE(held.WaitForReader(20s));
    ASSERT_TRUE(zelmo->Signal(SIGTERM));
    ASSERT_TRUE(run.Sim().WaitForRequest("webwxlogout", 20s));
    held.Release();
    EXPECT_TRUE(ExitedWith(zelmo->WaitForExit(20s), 0)) << run.Stderr(2);
    EXPECT_EQ(run.Sim().CountRequests("webwxlogout"), 1u);
    EXPECT_EQ(zelmo::platform::ReadFile(run.AccountDir() + "/config/reply.ini"),
              zelmo::platform::Gbk("你好\r\n你好呀\r\n\r\n晚安\r\n好梦"));
    const auto saved = zelmo::app::LoadSession(run.DataRoot());
    ASSERT_TRUE(saved);
    EXPECT_TRUE(saved->logged_out);
    // No question was asked: a signal is its own answer.
    EXPECT_EQ(run.Stderr(2).find("提示:"), std::string::npos) << run.Stderr(2);
    EXPECT_EQ(run.Sim().Violations(), std::vector<std::string>{});
}

// Mistakes are named before any request and end the program with a non-zero code; a
// second robot on the same data folder leaves the first alone; no display is one line.
TEST(ZelmoDesktopTest, StartUpMistakesAreNamedAndEndNonZeroWithoutARequest) {
    DesktopRun run;
    ASSERT_TRUE(run.Started());
    const TempDir files;
    const std::string missing = files.Path() + "/missing.ini";
    const std::string blocked = files.Path() + "/plain-file";
    zelmo::platform::WriteFileAtomic(blocked, "x");

    std::unique_ptr<ChildProcess> zelmo = run.Launch({"--service", missing});
    EXPECT_TRUE(ExitedWith(zelmo->WaitForExit(20s), 3));
    EXPECT_NE(run.Stderr(1).find("zelmo: 服务配置文件无法读取：" + missing +
                                 "（No such file or directory）"),
              std::string::npos)
        << run.Stderr(1);

    zelmo = run.Launch({"--data-dir", blocked + "/data"});
    EXPECT_TRUE(ExitedWith(zelmo->WaitForExit(20s), 3));
    EXPECT_NE(
        run.Stderr(2).find("zelmo: 数据目录无法写入：" + blocked + "/data（Not a directory）"),
        std::string::npos)
        << run.Stderr(2);

    zelmo = run.Launch({}, {"QT_QPA_PLATFORM=", "DISPLAY=", "WAYLAND_DISPLAY="});
    EXPECT_TRUE(ExitedWith(zelmo->WaitForExit(20s), 2));
    EXPECT_EQ(run.Stderr(3),
              "zelmo: no display (DISPLAY is not set); zelmo-headless runs the robot without a "
              "window\n");
    EXPECT_EQ(run.Sim().Requests().size(), 0u);

    const std::unique_ptr<ChildProcess> first = run.Launch();
    ASSERT_TRUE(run.WaitOnline()) << run.Stderr(4);
    zelmo = run.Launch();
    EXPECT_TRUE(ExitedWith(zelmo->WaitForExit(20s), 4));
    EXPECT_NE(run.Stderr(5).find("zelmo: 已在运行 (pid " + std::to_string(first->Pid()) + ")"),
              std::string::npos)
        << run.Stderr(5);
    EXPECT_EQ(run.Sim().CountRequests("jslogin"), 1u);
    EXPECT_TRUE(first->Running());
}

}  // namespace
#endif  // ZELMO_HAVE_GUI
