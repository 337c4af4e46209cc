// Both programs as users run them, with a bot framework over a real WebSocket: what a friend
// writes arrives as an event, the framework's text reaches the service and is recalled, and
// the ids stay the same when a re-login gives everyone a new UserName.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <chrono>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "contacts/ContactKeys.h"
#include "platform/Files.h"
#include "platform/GbkLiteral.h"
#include "sim/Simulator.h"
#include "support/ChildProcess.h"
#include "support/TestSupport.h"
#include "support/WsPeer.h"

namespace zelmo::test {
namespace {

using namespace std::chrono_literals;
using nlohmann::json;
constexpr auto WAIT = 30s;

bool ExitedWith(std::optional<int> status, int code) {
    return status && WIFEXITED(*status) && WEXITSTATUS(*status) == code;
}

// The simulator's built-in account in this process, with [OneBot] settings in the account
// folder (a connected framework answers alone), and one of the programs as a child.
class OneBotRun {
public:
    explicit OneBotRun(std::string_view onebot_section) {
        sim::SimulatorOptions options;
        options.workdir = m_dir.Path() + "/sim";
        options.synccheck_hold_ms = 2000;
        options.login_poll_hold_ms = 2000;
        options.auto_scan_ms = 200;
        options.auto_confirm_ms = 200;
        m_sim = std::make_unique<sim::Simulator>(options);
        m_started = m_sim->Start();
        const std::string config = m_dir.Path() + "/data/2100000001/config";
        platform::MakeDirectories(config);
        platform::WriteFileAtomic(
            config + "/mzset.ini",
            platform::Gbk("[OneBot]\r\n启用=1\r\n心跳间隔=0\r\n接管回复=1\r\n") +
                platform::Gbk(onebot_section));
    }

    std::unique_ptr<ChildProcess> Headless() {
        return std::make_unique<ChildProcess>(
            std::vector<std::string>{std::string(ZELMO_BINARY_DIR) + "/src/headless/zelmo-headless",
                                     "--service", m_sim->ProfilePath(), "--data-dir",
                                     m_dir.Path() + "/data", "--qr-file", m_dir.Path() + "/qr.png"},
            std::vector<std::string>{}, StderrPath());
    }

    std::unique_ptr<ChildProcess> Desktop() {
        return std::make_unique<ChildProcess>(
            std::vector<std::string>{std::string(ZELMO_BINARY_DIR) + "/src/zelmo", "--service",
                                     m_sim->ProfilePath(), "--data-dir", m_dir.Path() + "/data",
                                     "--auto-answer", "yes"},
            std::vector<std::string>{"QT_QPA_PLATFORM=offscreen",
                                     "XDG_STATE_HOME=" + m_dir.Path() + "/state",
                                     "XDG_CONFIG_HOME=" + m_dir.Path() + "/config"},
            StderrPath());
    }

    bool Started() const { return m_started; }
    sim::Simulator& Sim() { return *m_sim; }
    std::string StderrPath() const { return m_dir.Path() + "/stderr.txt"; }
    std::string Stderr() const { return platform::ReadFile(StderrPath()); }
    std::string EventLog() const {
        return platform::ReadFile(m_dir.Path() + "/state/zelmo/zelmo.log");
    }

private:
    TempDir m_dir;
    std::unique_ptr<sim::Simulator> m_sim;
    bool m_started = false;
};

// A framework's end of the connection.
class Framework {
public:
    explicit Framework(WsPeer& peer) : m_peer(peer) {}

    json Call(std::string_view action, const json& params) {
        m_peer.SendText(json({{"action", action}, {"params", params}, {"echo", ++m_echo}}).dump());
        const std::optional<std::string> answer = m_peer.ReceiveResponse(WAIT);
        return answer ? json::parse(*answer) : json({{"retcode", -1}});
    }

    // The next event of this type and detail type; null when none came in time.
    json Next(std::string_view type, std::string_view detail_type) {
        while (const std::optional<std::string> frame = m_peer.Receive(WAIT)) {
            json event = json::parse(*frame);
            if (event.value("type", "") == type && event.value("detail_type", "") == detail_type) {
                return event;
            }
        }
        return nullptr;
    }

    // A friend writes; the event the framework gets.
    json Message(sim::Simulator& simulator, std::string text) {
        simulator.DeliverMessage({sim::MessageKind::Text, "alice", "", "", std::move(text)});
        return Next("message", "private");
    }

    // A text to the friend whose id the event names, recalled again: what the service saw.
    void SendAndRecall(sim::Simulator& simulator, const json& event, std::size_t count) {
        const json sent =
            Call("send_message", {{"detail_type", "private"},
                                  {"user_id", event["user_id"]},
                                  {"message", "收到：" + event["alt_message"].get<std::string>()}});
        ASSERT_EQ(sent["retcode"], 0) << sent;
        ASSERT_TRUE(simulator.WaitForSentMessages(count, WAIT));
        const sim::SentMessage text = simulator.SentMessages().at(count - 1);
        EXPECT_EQ(text.to, simulator.UserNameOf("alice"));
        EXPECT_EQ(text.content, "收到：" + event["alt_message"].get<std::string>());
        EXPECT_EQ(sent["data"]["message_id"], text.msg_id);
        EXPECT_EQ(Call("delete_message", {{"message_id", sent["data"]["message_id"]}})["retcode"],
                  0);
        EXPECT_TRUE(simulator.SentMessages().at(count - 1).revoked);
    }

private:
    WsPeer& m_peer;
    int m_echo = 0;
};

TEST(OneBotE2eTest, HeadlessServesAFrameworkOverForwardWebSocketWithIdsThatOutlastARelogin) {
    OneBotRun run("WS地址=127.0.0.1:0\r\n");
    ASSERT_TRUE(run.Started());
    const std::unique_ptr<ChildProcess> robot = run.Headless();
    std::size_t next = 0;
    const std::string listening = "onebot OneBot WebSocket 正在监听 127.0.0.1:";
    const std::optional<std::string> line = robot->WaitForLine(&next, listening, WAIT);
    ASSERT_TRUE(line) << run.Stderr();
    const int port = std::stoi(line->substr(line->find(listening) + listening.size()));

    WsPeer peer;
    ASSERT_EQ(peer.Connect(port, "/"), "");
    Framework framework(peer);
    ASSERT_EQ(framework.Next("meta", "connect")["version"]["impl"], "zelmo");
    ASSERT_EQ(framework.Next("meta", "status_update")["status"]["bots"][0]["online"], true);
    run.Sim().SetRenameAtLogin(true);

    const json first = framework.Message(run.Sim(), "你好");
    ASSERT_TRUE(first.is_object());
    const std::string alice = first["user_id"];
    const std::string self = first["self"]["user_id"];
    EXPECT_TRUE(contacts::IsContactKey(alice)) << first;
    EXPECT_TRUE(contacts::IsContactKey(self)) << first;
    EXPECT_EQ(first["alt_message"], "你好");
    framework.SendAndRecall(run.Sim(), first, 1);

    const std::string before = run.Sim().UserNameOf("alice");
    run.Sim().EndSession(1101);
    EXPECT_EQ(framework.Next("meta", "status_update")["status"]["bots"][0]["online"], false);
    EXPECT_EQ(framework.Next("meta", "status_update")["status"]["bots"][0]["online"], true);
    ASSERT_NE(run.Sim().UserNameOf("alice"), before);
    const json again = framework.Message(run.Sim(), "又是我");
    EXPECT_EQ(again["user_id"], alice);
    EXPECT_EQ(again["self"]["user_id"], self);
    framework.SendAndRecall(run.Sim(), again, 2);

    ASSERT_TRUE(robot->Signal(SIGTERM));
    EXPECT_TRUE(ExitedWith(robot->WaitForExit(WAIT), 0)) << run.Stderr();
    EXPECT_EQ(run.Sim().Violations(), std::vector<std::string>{});
}

// Anyone on the network could act as the account: the setting is named and the run ends
// before the login.
TEST(OneBotE2eTest, HeadlessEndsWithCode3ForAListenerOnThePublicAddressWithoutAToken) {
    OneBotRun run("WS地址=0.0.0.0:0\r\n");
    ASSERT_TRUE(run.Started());
    const std::unique_ptr<ChildProcess> robot = run.Headless();
    std::size_t next = 0;
    const std::optional<std::string> box = robot->WaitForLine(&next, " box 错误提示: ", WAIT);
    ASSERT_TRUE(box) << run.Stderr();
    EXPECT_NE(box->find("WS地址 0.0.0.0:0"), std::string::npos) << *box;
    EXPECT_NE(box->find("访问令牌"), std::string::npos) << *box;
    EXPECT_TRUE(ExitedWith(robot->WaitForExit(WAIT), 3));
    EXPECT_EQ(run.Sim().CountRequests("webwxsync"), 0u);
}

#ifdef ZELMO_HAVE_GUI
// The desktop program shows the refused listener in a box, leaves it off, and serves the
// rest: here a framework it connects to, as NoneBot2 wants it.
TEST(OneBotE2eTest, DesktopConnectsToAReverseWebSocketAndLeavesARefusedListenerOff) {
    WsPeer peer;
    const int port = peer.Listen();
    OneBotRun run("WS地址=0.0.0.0:0\r\n反向WS=ws://127.0.0.1:" + std::to_string(port) +
                  "/onebot/v12/\r\n");
    ASSERT_TRUE(run.Started());
    const std::unique_ptr<ChildProcess> robot = run.Desktop();
    ASSERT_TRUE(peer.Accept(WAIT)) << run.Stderr();
    EXPECT_EQ(peer.RequestTarget(), "/onebot/v12/");
    EXPECT_EQ(peer.RequestHeader("Sec-WebSocket-Protocol"), "12.zelmo");
    const std::string stderr_text = run.Stderr();
    EXPECT_NE(stderr_text.find("错误提示: OneBot 的WS地址 0.0.0.0:0"), std::string::npos)
        << stderr_text;
    EXPECT_EQ(run.EventLog().find("正在监听"), std::string::npos) << run.EventLog();

    Framework framework(peer);
    ASSERT_EQ(framework.Next("meta", "connect")["version"]["impl"], "zelmo");
    ASSERT_EQ(framework.Next("meta", "status_update")["status"]["bots"][0]["online"], true);
    const json message = framework.Message(run.Sim(), "你好");
    ASSERT_TRUE(message.is_object());
    EXPECT_TRUE(contacts::IsContactKey(message["user_id"].get<std::string>())) << message;
    framework.SendAndRecall(run.Sim(), message, 1);
    ASSERT_TRUE(robot->Signal(SIGTERM));
    EXPECT_TRUE(ExitedWith(robot->WaitForExit(WAIT), 0)) << run.Stderr();
}
#endif

}  // namespace
}  // namespace zelmo::test
