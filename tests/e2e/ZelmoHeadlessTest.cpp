#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/SessionFile.h"
#include "headless/QrReading.h"
#include "platform/Files.h"
#include "platform/GbkLiteral.h"
#include "platform/Json.h"
#include "platform/PngImage.h"
#include "sim/MessageContent.h"
#include "sim/Simulator.h"
#include "support/ChildProcess.h"
#include "support/TestSupport.h"

namespace zelmo::test {
namespace {

using namespace std::chrono_literals;
using ::testing::HasSubstr;

constexpr const char* UIN = "2100000001";
constexpr std::string_view STAMP_LENGTH = "2024-01-01 00:00:00 ";

struct RunSetup {
    std::string scenario_json;  // empty: the simulator's built-in account (Uin UIN)
    int synccheck_hold_ms = 2000;
    int login_hold_ms = 2000;
    int auto_scan_ms = 200;  // -1: the test scans
    std::vector<std::string> extra_args;
    std::vector<std::string> extra_env;
    // Files the account folder holds before the login (path below it, GBK content).
    std::vector<std::pair<std::string, std::string>> account_files;
    // Runs on the started simulator before the program starts (faults, say).
    std::function<void(sim::Simulator&)> before_start;
    bool refuse_web_login = false;
    // Every UserName new at each login after the first, as the service gives them.
    bool rename_at_login = false;
    // Lines added to the simulator's service profile (login_mode=web, say).
    std::string profile_lines;
};

// The simulator in this process and zelmo-headless as a child reading from it, as an
// operator runs it: the child's standard output is read line by line.
class HeadlessRun {
public:
    explicit HeadlessRun(const RunSetup& setup = {}) {
        sim::SimulatorOptions options;
        options.workdir = m_dir.Path() + "/sim";
        options.scenario_json = setup.scenario_json;
        options.synccheck_hold_ms = setup.synccheck_hold_ms;
        options.login_poll_hold_ms = setup.login_hold_ms;
        options.auto_scan_ms = setup.auto_scan_ms;
        options.auto_confirm_ms = setup.auto_scan_ms < 0 ? -1 : 200;
        options.refuse_web_login = setup.refuse_web_login;
        options.rename_at_login = setup.rename_at_login;
        m_sim = std::make_unique<sim::Simulator>(options);
        if (!m_sim->Start()) {
            return;
        }
        std::string profile = m_sim->ProfilePath();
        if (!setup.profile_lines.empty()) {
            profile = m_dir.Path() + "/service.ini";
            platform::WriteFileAtomic(
                profile, platform::ReadFile(m_sim->ProfilePath()) + setup.profile_lines);
        }
        if (setup.before_start) {
            setup.before_start(*m_sim);
        }
        for (const auto& [name, content] : setup.account_files) {
            const std::string path = AccountDir() + "/" + name;
            platform::MakeDirectories(path.substr(0, path.rfind('/')));
            platform::WriteFileAtomic(path, content);
        }
        m_args = {std::string(ZELMO_BINARY_DIR) + "/src/headless/zelmo-headless",
                  "--service",
                  profile,
                  "--data-dir",
                  DataRoot(),
                  "--qr-file",
                  QrFile()};
        m_args.insert(m_args.end(), setup.extra_args.begin(), setup.extra_args.end());
        m_env = setup.extra_env;
        StartAgain();
    }

    // A new process with the same arguments (the last one must have ended): it reads the
    // output of the new one from its start.
    void StartAgain() {
        m_child.reset();
        m_child = std::make_unique<ChildProcess>(m_args, m_env, m_dir.Path() + "/stderr.txt");
        m_next = 0;
    }

    // One more process with the same arguments beside the running one.
    std::unique_ptr<ChildProcess> Another() const {
        return std::make_unique<ChildProcess>(m_args, m_env, m_dir.Path() + "/stderr-2.txt");
    }
    pid_t Pid() const { return m_child ? m_child->Pid() : -1; }

    bool Started() const { return m_child && m_child->Started(); }
    sim::Simulator& Sim() { return *m_sim; }
    std::string DataRoot() const { return m_dir.Path() + "/data"; }
    std::string AccountDir() const { return DataRoot() + "/" + UIN; }
    std::string QrFile() const { return m_dir.Path() + "/login-qr.png"; }
    std::string Stderr() const { return platform::ReadFile(m_dir.Path() + "/stderr.txt"); }

    // The first line not yet returned whose text after the time stamp starts with
    // `prefix`, without the stamp; empty on time-out or when the child closed its output.
    std::string WaitForLine(std::string_view prefix, std::chrono::milliseconds timeout = 30s) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        for (;;) {
            while (m_next < m_child->Lines().size()) {
                const std::string& line = m_child->Lines()[m_next++];
                if (line.size() > STAMP_LENGTH.size() &&
                    std::string_view(line).substr(STAMP_LENGTH.size()).starts_with(prefix)) {
                    return line.substr(STAMP_LENGTH.size());
                }
            }
            if (!Started() || !m_child->ReadMore(deadline)) {
                return {};
            }
        }
    }

    // The block lines printed right after the last line WaitForLine returned, up to the
    // next stamped line (a QR drawing, a log row's further lines).
    std::string DrawingAfterLastLine(std::chrono::milliseconds timeout = 10s) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        std::string drawing;
        for (;;) {
            while (m_next < m_child->Lines().size()) {
                const std::string& line = m_child->Lines()[m_next];
                if (!line.empty() && line[0] >= '0' && line[0] <= '9') {
                    return drawing;
                }
                drawing += line + "\n";
                ++m_next;
            }
            if (!Started() || !m_child->ReadMore(deadline)) {
                return drawing;
            }
        }
    }

    bool Signal(int number) const { return Started() && m_child->Signal(number); }

    // Reads the output to its end, then reaps the child: its wait status; nothing when
    // the output stayed open past the time-out.
    std::optional<int> WaitForExit(std::chrono::milliseconds timeout) {
        return Started() ? m_child->WaitForExit(timeout) : std::nullopt;
    }

    std::vector<std::string> LinesSoFar() const {
        return m_child ? m_child->Lines() : std::vector<std::string>{};
    }

    std::size_t CountRequests(std::string_view path_part) const {
        return m_sim->CountRequests(path_part);
    }

private:
    TempDir m_dir;
    std::unique_ptr<sim::Simulator> m_sim;
    std::vector<std::string> m_args;
    std::vector<std::string> m_env;
    std::unique_ptr<ChildProcess> m_child;
    std::size_t m_next = 0;
};

bool ExitedWith(std::optional<int> status, int code) {
    return status && WIFEXITED(*status) && WEXITSTATUS(*status) == code;
}

std::vector<std::string> DecodeQrFile(const std::string& path) {
    const std::optional<platform::GrayImage> image = platform::DecodePng(platform::ReadFile(path));
    return image ? DecodeQrSymbols(*image) : std::vector<std::string>{};
}

sim::MessageSpec TextFrom(std::string from, std::string text) {
    sim::MessageSpec message;
    message.from = std::move(from);
    message.text = std::move(text);
    return message;
}

// Waits for the count-th send; false when it did not come.
bool WaitForSent(sim::Simulator& simulator, std::size_t count) {
    if (!simulator.WaitForRequests("webwxsendmsg", count, 20s)) {
        return false;
    }
    // The simulator records a request when it arrives and the message a moment later,
    // while answering it; nothing signals the second step.
    const auto deadline = std::chrono::steady_clock::now() + 2s;
    while (simulator.SentMessages().size() < count && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(1ms);
    }
    return simulator.SentMessages().size() >= count;
}

// The sent texts (UTF-8) in order.
std::vector<std::string> SentTexts(sim::Simulator& simulator) {
    std::vector<std::string> texts;
    for (const sim::SentMessage& sent : simulator.SentMessages()) {
        texts.push_back(sent.content);
    }
    return texts;
}

TEST(ZelmoHeadlessTest, HelpNamesTheHeadlessOptions) {
    HeadlessRun run({.extra_args = {"--help"}});
    ASSERT_TRUE(run.Started());
    EXPECT_TRUE(ExitedWith(run.WaitForExit(20s), 0));
    std::string all;
    for (const std::string& line : run.LinesSoFar()) {
        all += line + "\n";
    }
    EXPECT_THAT(all, HasSubstr("Usage: zelmo-headless"));
    EXPECT_THAT(all, HasSubstr("--qr-file PATH"));
    EXPECT_EQ(run.Sim().Requests().size(), 0u);
}

TEST(ZelmoHeadlessTest, QrOnStandardOutputIsThePngsCodeAndEveryCycleDrawsItsOwn) {
    for (const bool dark_terminal : {true, false}) {
        RunSetup setup{.auto_scan_ms = -1};
        if (!dark_terminal) {
            setup.extra_env = {"ZELMO_QR_SCHEME=dark-on-light"};
        }
        HeadlessRun run(setup);
        ASSERT_TRUE(run.Started());
        ASSERT_EQ(run.WaitForLine("qr "), "qr " + run.QrFile()) << run.Stderr();
        const std::string first_url = "https://login.weixin.qq.com/l/" + run.Sim().CurrentUuid();
        const std::string drawing = run.DrawingAfterLastLine();
        EXPECT_EQ(DecodeQrSymbols(ReadHalfBlocks(drawing, !dark_terminal)),
                  std::vector<std::string>{first_url});
        EXPECT_EQ(DecodeQrFile(run.QrFile()), std::vector<std::string>{first_url});

        // A reload before the start-up has nothing to read; the login goes on.
        ASSERT_TRUE(run.Signal(SIGHUP));
        EXPECT_THAT(run.WaitForLine("reload "), HasSubstr("skipped"));

        run.Sim().ExpireCode();
        ASSERT_EQ(run.WaitForLine("qr "), "qr " + run.QrFile());
        const std::string second_url = "https://login.weixin.qq.com/l/" + run.Sim().CurrentUuid();
        EXPECT_NE(second_url, first_url);
        EXPECT_EQ(DecodeQrSymbols(ReadHalfBlocks(run.DrawingAfterLastLine(), !dark_terminal)),
                  std::vector<std::string>{second_url});
        EXPECT_EQ(DecodeQrFile(run.QrFile()), std::vector<std::string>{second_url});
    }
}

// A start that cannot log in is no requested stop: a supervisor sees it fail.
TEST(ZelmoHeadlessTest, NoQrImageReportsTheErrorAndEndsTheProgramWithANonZeroCode) {
    RunSetup setup{.auto_scan_ms = -1};
    setup.before_start = [](sim::Simulator& simulator) {
        simulator.SetFault("qrcode", {.kind = sim::FaultKind::Http500, .sticky = true});
    };
    HeadlessRun run(setup);
    ASSERT_TRUE(run.Started());
    // The fetch's own retries come first: the box may take half a minute.
    EXPECT_EQ(run.WaitForLine("box ", 90s),
              "box 错误提示: 二维码加载失败，请查看网络连接是否正常！(错误代码：10001)");
    EXPECT_TRUE(ExitedWith(run.WaitForExit(30s), 1));
    EXPECT_THAT(run.LinesSoFar().back(), HasSubstr(" end exit code 1"));
    EXPECT_FALSE(platform::FileExists(run.QrFile()));
}

// With 自动重新登录=0, the session the service ends stays ended, as it always was.
TEST(ZelmoHeadlessTest, LogsInShowsMessagesAndLogsOutOnceWhenTheServiceEndsTheSession) {
    HeadlessRun run({.account_files = {{"config/mzset.ini",
                                        platform::Gbk("[机器人设置]\r\n自动重新登录=0\r\n")}}});
    ASSERT_TRUE(run.Started());
    EXPECT_EQ(run.WaitForLine("login "), "login 请用手机微信扫一扫二维码");
    EXPECT_EQ(run.WaitForLine("ready "), "ready " + run.AccountDir()) << run.Stderr();
    EXPECT_EQ(run.WaitForLine("main "), "main Zelmo 5.3  在线");
    EXPECT_TRUE(platform::FileExists(run.AccountDir() + "/config"));

    run.Sim().DeliverMessage(TextFrom("alice", "你好 机器人"));
    EXPECT_THAT(run.WaitForLine("log "), HasSubstr("Alice -> Zelmo Demo: 你好 机器人"));

    run.Sim().EndSession(1100);
    EXPECT_EQ(run.WaitForLine("main "), "main Zelmo 5.3  离线");
    ASSERT_TRUE(run.Sim().WaitForRequest("webwxlogout", 10s));

    // Offline, as the desktop program stays: a stop signal ends it without a second logout.
    ASSERT_TRUE(run.Signal(SIGTERM));
    EXPECT_TRUE(ExitedWith(run.WaitForExit(20s), 0));
    EXPECT_EQ(run.CountRequests("webwxlogout"), 1u);
    EXPECT_EQ(run.Sim().Violations(), std::vector<std::string>{});
}

TEST(ZelmoHeadlessTest, StopSignalDuringALongPollLogsOutOnceBeforeTheHeldPollEnds) {
    for (const int number : {SIGTERM, SIGINT}) {
        // The service holds every synccheck far longer than the wait for the exit below.
        HeadlessRun run({.synccheck_hold_ms = 25000});
        ASSERT_TRUE(run.Started());
        ASSERT_FALSE(run.WaitForLine("ready ").empty()) << run.Stderr();
        ASSERT_TRUE(run.Sim().WaitForRequest("synccheck", 10s));
        // The folders the robot made hold its session and chats: its user's alone.
        for (const std::string& folder : {run.DataRoot(), run.AccountDir()}) {
            struct stat status {};
            ASSERT_EQ(::stat(folder.c_str(), &status), 0);
            EXPECT_EQ(status.st_mode & 0777, 0700u) << folder;
        }

        ASSERT_TRUE(run.Signal(number));
        EXPECT_TRUE(ExitedWith(run.WaitForExit(10s), 0)) << number;
        std::int64_t logout_at = -1;
        std::size_t logouts = 0;
        bool polled_after_logout = false;
        for (const sim::RecordedRequest& request : run.Sim().Requests()) {
            if (request.path.find("webwxlogout") != std::string::npos) {
                ++logouts;
                logout_at = request.at_ms;
            } else if (logout_at >= 0 && (request.path.find("synccheck") != std::string::npos ||
                                          request.path.find("webwxsync") != std::string::npos)) {
                polled_after_logout = true;
            }
        }
        EXPECT_EQ(logouts, 1u);
        // The stop flag came first: the heartbeat started nothing after the logout.
        EXPECT_FALSE(polled_after_logout);
        const std::vector<std::string> lines = run.LinesSoFar();
        ASSERT_GE(lines.size(), 2u);
        EXPECT_THAT(lines.back(), HasSubstr(" end exit code 0"));
    }
}

// A file that cannot be read, or was cut off while it was written, leaves the settings in
// force (the defaults would empty the shield list), and a line says which file and why.
TEST(ZelmoHeadlessTest, ReloadSignalReadsTheSettingsFileAgain) {
    const std::string quiet = platform::Gbk("[机器人设置]\r\n显示消息=0\r\n");
    HeadlessRun run(
        {.account_files = {{"config/mzset.ini", quiet},
                           {"config/reply.ini", platform::Gbk("你好\r\n我是[mkname]")}}});
    ASSERT_TRUE(run.Started());
    ASSERT_FALSE(run.WaitForLine("ready ").empty()) << run.Stderr();
    // The start-up made the first webwxsync; the second brings the message, and its job is
    // posted (and taken by an idle worker at once) before the heartbeat polls again.
    run.Sim().DeliverMessage(TextFrom("alice", "before the reload"));
    ASSERT_TRUE(run.Sim().WaitForRequests("webwxsync", 2, 10s));
    const std::size_t polls = run.CountRequests("synccheck");
    ASSERT_TRUE(run.Sim().WaitForRequests("synccheck", polls + 1, 10s));

    const std::string settings_path = run.AccountDir() + "/config/mzset.ini";
    const std::string in_force =
        platform::Gbk("[机器人设置]\r\n显示消息=1\r\n机器人姓名=小助手\r\n");
    platform::WriteFileAtomic(settings_path, in_force);
    ASSERT_TRUE(run.Signal(SIGHUP));
    EXPECT_THAT(run.WaitForLine("reload "), HasSubstr("read from " + run.AccountDir()));
    run.Sim().DeliverMessage(TextFrom("bob", "after the reload"));
    EXPECT_THAT(run.WaitForLine("log "), HasSubstr("after the reload"));
    for (const std::string& line : run.LinesSoFar()) {
        EXPECT_THAT(line, ::testing::Not(HasSubstr("before the reload")));
    }

    const struct {
        std::function<void()> spoil;
        std::string why;
    } spoilt[] = {
        // Cut inside the key of the last line.
        {[&] {
             platform::WriteFileAtomic(settings_path, in_force.substr(0, in_force.size() - 11));
         },
         "its last line is cut off"},
        {[&] {
             platform::DeleteFile(settings_path);
             platform::MakeDirectories(settings_path);
         },
         "Is a directory"},
    };
    std::size_t sent = 0;
    for (const auto& file : spoilt) {
        file.spoil();
        ASSERT_TRUE(run.Signal(SIGHUP));
        EXPECT_EQ(run.WaitForLine("reload settings "), "reload settings not read from " +
                                                           settings_path + " (" + file.why +
                                                           "); the settings in force stay");
        EXPECT_EQ(run.WaitForLine("reload "),
                  "reload knowledge base and plugins read from " + run.AccountDir());
        run.Sim().DeliverMessage(TextFrom("alice", "你好"));
        ASSERT_TRUE(WaitForSent(run.Sim(), ++sent));
        EXPECT_EQ(SentTexts(run.Sim()).back(), "我是小助手") << file.why;
    }
}

// Needs the reply engine: the knowledge base's answer, a learned pair answering, the
// learned pair saved at the stop (the answer that loses nothing).
TEST(ZelmoHeadlessTest, AnswersFromTheKnowledgeBaseLearnsAndSavesTheLearnedPairAtTheStop) {
    const std::string base = platform::Gbk("你好\r\n你好，我是机器人");
    HeadlessRun run({.account_files = {{"config/reply.ini", base}}});
    ASSERT_TRUE(run.Started());
    ASSERT_FALSE(run.WaitForLine("ready ").empty()) << run.Stderr();

    run.Sim().DeliverMessage(TextFrom("alice", "你好呀"));
    ASSERT_TRUE(WaitForSent(run.Sim(), 1));
    run.Sim().DeliverMessage(TextFrom("alice", "问：天气答：晴天"));
    ASSERT_TRUE(WaitForSent(run.Sim(), 2));
    run.Sim().DeliverMessage(TextFrom("bob", "今天天气怎么样"));
    ASSERT_TRUE(WaitForSent(run.Sim(), 3));
    EXPECT_EQ(
        SentTexts(run.Sim()),
        (std::vector<std::string>{"你好，我是机器人", "学习成功！对我说天气试试吧！", "晴天"}));

    ASSERT_TRUE(run.Signal(SIGTERM));
    EXPECT_TRUE(ExitedWith(run.WaitForExit(20s), 0));
    EXPECT_EQ(platform::ReadFile(run.AccountDir() + "/config/reply.ini"),
              base + "\r\n\r\n" + platform::Gbk("天气\r\n晴天"));
    bool asked = false;
    for (const std::string& line : run.LinesSoFar()) {
        asked = asked ||
                line.find("ask 提示: 您还有未储存的的词库，是否保存？ -> yes") != std::string::npos;
    }
    EXPECT_TRUE(asked);
}

// The language model: settings it cannot use are a box line at the start (and the base's
// default reply stands in), a reload that mends them lets it answer what the base does not
// know, and a key the endpoint refuses is a box line naming the setting. The key never
// shows in full.
TEST(ZelmoHeadlessTest, TheModelAnswersWhatTheBaseDoesNotKnowAndWrongSettingsAreBoxLines) {
    const std::string key = "sk-e2e-0123456789abcdef";
    const auto settings = [&](const std::string& address) {
        return platform::Gbk("[AI回复]\r\n启用=1\r\n模型=sim-model\r\n密钥=") + key +
               platform::Gbk("\r\n接口地址=") + address + "\r\n";
    };
    HeadlessRun run({.account_files = {{"config/mzset.ini", settings("http://203.0.113.9/v1")},
                                       {"config/reply.ini", platform::Gbk("[noword]\r\n听不懂")}}});
    ASSERT_TRUE(run.Started());
    EXPECT_THAT(run.WaitForLine("ai "), HasSubstr("密钥 sk-***cdef"));
    EXPECT_THAT(run.WaitForLine("box "),
                HasSubstr("box 错误提示: AI回复：只有本机地址（127.0.0.1、localhost、[::1]）"));
    ASSERT_FALSE(run.WaitForLine("ready ").empty()) << run.Stderr();
    run.Sim().DeliverMessage(TextFrom("alice", "讲个笑话"));
    ASSERT_TRUE(WaitForSent(run.Sim(), 1));

    platform::WriteFileAtomic(run.AccountDir() + "/config/mzset.ini",
                              settings(run.Sim().ModelBaseUrl()));
    ASSERT_TRUE(run.Signal(SIGHUP));
    ASSERT_FALSE(run.WaitForLine("reload ").empty());
    run.Sim().QueueModelAnswer({.match = "再讲", .content = "**笑话**：从前有座山。"});
    run.Sim().DeliverMessage(TextFrom("alice", "再讲一个"));
    ASSERT_TRUE(WaitForSent(run.Sim(), 2));
    EXPECT_THAT(run.WaitForLine("log [↑]好友 "),
                HasSubstr("[AI回复 sim-model] 笑话：从前有座山。"));

    run.Sim().QueueModelAnswer({.status = 401});
    run.Sim().DeliverMessage(TextFrom("alice", "还有吗"));
    ASSERT_TRUE(WaitForSent(run.Sim(), 3));
    const std::string refused = run.WaitForLine("box ");
    EXPECT_THAT(refused, HasSubstr("（HTTP 401）"));
    EXPECT_THAT(refused, HasSubstr("请检查设置 [AI回复] 里的密钥。"));
    EXPECT_EQ(SentTexts(run.Sim()),
              (std::vector<std::string>{"听不懂", "笑话：从前有座山。", "听不懂"}));
    EXPECT_EQ(run.Sim().ModelCalls().size(), 2u);

    ASSERT_TRUE(run.Signal(SIGTERM));
    EXPECT_TRUE(ExitedWith(run.WaitForExit(20s), 0));
    for (const std::string& line : run.LinesSoFar()) {
        EXPECT_THAT(line, ::testing::Not(HasSubstr(key)));
    }
}

// A run that ends by itself (the supervisor starts the next one) keeps what it learned:
// a re-login given up (exit 1) and a refused one (exit 5) save the unsaved pairs too.
TEST(ZelmoHeadlessTest, ARunThatEndsByItselfSavesTheLearnedPairs) {
    for (const int code : {1, 5}) {
        SCOPED_TRACE(code);
        RunSetup setup;
        if (code == 1) {
            setup.auto_scan_ms = -1;  // nobody scans the re-login's codes
        } else {
            setup.profile_lines = "login_mode=web\n";
        }
        HeadlessRun run(setup);
        ASSERT_TRUE(run.Started());
        if (code == 1) {
            ASSERT_FALSE(run.WaitForLine("qr ").empty()) << run.Stderr();
            run.Sim().Scan();
            run.Sim().Confirm();
        }
        ASSERT_FALSE(run.WaitForLine("ready ").empty()) << run.Stderr();
        run.Sim().DeliverMessage(TextFrom("alice", "问：早饭答：包子"));
        ASSERT_TRUE(WaitForSent(run.Sim(), 1));

        if (code == 1) {
            run.Sim().SetPushLoginFails(true);
        } else {
            run.Sim().SetRefuseWebLogin(true);
        }
        run.Sim().EndSession(1101);
        for (int expired = 0; code == 1 && expired < 3; ++expired) {
            ASSERT_FALSE(run.WaitForLine("qr ").empty());
            run.Sim().ExpireCode();
        }
        EXPECT_TRUE(ExitedWith(run.WaitForExit(30s), code)) << run.Stderr();
        EXPECT_EQ(platform::ReadFile(run.AccountDir() + "/config/reply.ini"),
                  platform::Gbk("早饭\r\n包子"));
    }
}

// Needs the reply engine: a reload answers from the new file and keeps the unsaved pairs,
// which join the operator's file when the base is saved.
TEST(ZelmoHeadlessTest, ReloadAnswersFromTheNewKnowledgeBaseAndKeepsUnsavedPairs) {
    HeadlessRun run;
    ASSERT_TRUE(run.Started());
    ASSERT_FALSE(run.WaitForLine("ready ").empty()) << run.Stderr();
    run.Sim().DeliverMessage(TextFrom("alice", "问：早饭答：包子"));
    ASSERT_TRUE(WaitForSent(run.Sim(), 1));

    const std::string reply_path = run.AccountDir() + "/config/reply.ini";
    platform::WriteFileAtomic(reply_path, platform::Gbk("早上好\r\n早安"));
    ASSERT_TRUE(run.Signal(SIGHUP));
    EXPECT_EQ(run.WaitForLine("reload unsaved "),
              "reload unsaved learned pairs kept in the knowledge base: 1");
    EXPECT_THAT(run.WaitForLine("reload "), HasSubstr("knowledge base"));

    run.Sim().DeliverMessage(TextFrom("bob", "早上好"));
    ASSERT_TRUE(WaitForSent(run.Sim(), 2));
    run.Sim().DeliverMessage(TextFrom("bob", "早饭吃什么"));
    ASSERT_TRUE(WaitForSent(run.Sim(), 3));
    EXPECT_EQ(SentTexts(run.Sim()),
              (std::vector<std::string>{"学习成功！对我说早饭试试吧！", "早安", "包子"}));
    // Nothing is written over the operator's file until the base is saved.
    EXPECT_EQ(platform::ReadFile(reply_path), platform::Gbk("早上好\r\n早安"));
    ASSERT_TRUE(run.Signal(SIGTERM));
    EXPECT_TRUE(ExitedWith(run.WaitForExit(20s), 0));
    EXPECT_EQ(platform::ReadFile(reply_path), platform::Gbk("早上好\r\n早安\r\n\r\n早饭\r\n包子"));
}

// A plugin put in the folder and enabled in its INI file answers after a reload.
TEST(ZelmoHeadlessTest, ReloadLoadsAPluginEnabledThroughItsIniFile) {
    HeadlessRun run;
    ASSERT_TRUE(run.Started());
    ASSERT_FALSE(run.WaitForLine("ready ").empty()) << run.Stderr();
    const std::string plugin = run.AccountDir() + "/plugin/weather.mzp.so";
    ASSERT_TRUE(platform::WriteFileAtomic(
        plugin, platform::ReadFile(std::string(ZELMO_BINARY_DIR) + "/plugin-sdk/weather.mzp.so")));
    ASSERT_TRUE(
        platform::WriteFileAtomic(plugin + ".ini", platform::Gbk("[是否开启]\r\n天气预报=1\r\n")));
    ASSERT_TRUE(run.Signal(SIGHUP));
    EXPECT_THAT(run.WaitForLine("reload "), HasSubstr("plugins read from"));

    run.Sim().DeliverMessage(TextFrom("alice", "天气北京"));
    ASSERT_TRUE(WaitForSent(run.Sim(), 1));
    EXPECT_EQ(SentTexts(run.Sim()), std::vector<std::string>{"北京今天晴，气温 20℃"});
}

// Today's message forms: labelled and readable log rows, welcomes without the service's
// quotes, and nothing answered that is not a chat.
TEST(ZelmoHeadlessTest, TodaysMessagesShowAsReadableRowsAndOnlyChatsAreAnswered) {
    RunSetup setup;
    setup.scenario_json = R"({
      "account": {"Uin": 2100000001, "NickName": "Rig", "Sex": 1},
      "friends": [{"id": "alice", "NickName": "小爱", "Sex": 2},
                  {"id": "bob", "NickName": "Bob", "Sex": 1},
                  {"id": "zero", "NickName": "没填性别", "Sex": 0}],
      "public_accounts": [{"id": "news", "NickName": "每日新闻", "VerifyFlag": 24, "Sex": 0}],
      "groups": [{"id": "team", "NickName": "今天的群",
                  "members": ["alice", "bob", {"id": "dave", "NickName": "Dave",
                                               "DisplayName": "大卫"}]}]
    })";
    setup.account_files = {
        {"config/reply.ini", platform::Gbk("天气\r\n晴\r\n\r\n[noword]\r\n听不懂")},
        {"config/mzset.ini", platform::Gbk("[群管设置]\r\n群管_邀=欢迎[name]入群\r\n")}};
    HeadlessRun run(setup);
    ASSERT_TRUE(run.Started());
    EXPECT_EQ(run.WaitForLine("contacts "), "contacts 5 (friends 3, groups 1, official 1)")
        << run.Stderr();
    ASSERT_FALSE(run.WaitForLine("ready ").empty()) << run.Stderr();

    using Kind = sim::MessageKind;
    sim::Simulator& simulator = run.Sim();
    simulator.DeliverMessage({.kind = Kind::Recall, .from = "bob"});
    EXPECT_THAT(run.WaitForLine("log "), HasSubstr("Bob -> Rig: \"Bob\" 撤回了一条消息"));
    simulator.DeliverMessage({.kind = Kind::Article, .from = "news", .text = "今日 天气"});
    EXPECT_THAT(run.WaitForLine("log "), HasSubstr("每日新闻 -> Rig: [图文]"));
    simulator.DeliverMessage(
        {.kind = Kind::VerifyRequest, .text = "天气", .actor = "陌生人", .target = "stranger"});
    EXPECT_THAT(run.WaitForLine("log "), HasSubstr(": [好友请求]陌生人"));
    simulator.DeliverMessage(
        {.kind = Kind::Text, .from = "team", .member = "dave", .text = "第一行 &\n第二行"});
    EXPECT_THAT(run.WaitForLine("log "), HasSubstr("今天的群 -> Rig: 大卫: 第一行 &"));
    simulator.DeliverMessage({.kind = Kind::SystemNotice,
                              .from = "team",
                              .notice = "invite",
                              .actor = "小爱",
                              .targets = {"Eve", "Frank"}});
    EXPECT_EQ(run.DrawingAfterLastLine(), std::string(24, ' ') + "第二行\n");
    ASSERT_TRUE(WaitForSent(simulator, 1));
    simulator.DeliverMessage(
        {.kind = Kind::Picture, .from = "zero", .form = sim::MessageForm::Y2018});
    ASSERT_TRUE(WaitForSent(simulator, 2));
    EXPECT_EQ(SentTexts(simulator), (std::vector<std::string>{"欢迎Eve、Frank入群", "听不懂"}));
    // The robot's own sends are rows of their own, printed once the service took them.
    EXPECT_THAT(run.WaitForLine("log [↑]好友 "), HasSubstr(" -> 今天的群: 欢迎Eve、Frank入群"));
}

// The robot outlives a killed process, a session the service ends and a deliberate stop,
// and needs no scan after the first: hot start, push re-login, push login at the next start.
// Its archive outlives them too, and knows alice by one key under every login's new name.
TEST(ZelmoHeadlessTest, StaysLoggedInAcrossAKillALostSessionAndAStop) {
    HeadlessRun run({.account_files = {{"config/reply.ini", platform::Gbk("你好\r\n你好呀")}},
                     .rename_at_login = true});
    ASSERT_TRUE(run.Started());
    ASSERT_FALSE(run.WaitForLine("ready ").empty()) << run.Stderr();
    const std::string sid = run.Sim().Session().sid;
    const auto count_qr_lines = [&run] {
        const std::vector<std::string> lines = run.LinesSoFar();
        return std::count_if(lines.begin(), lines.end(), [](const std::string& line) {
            return line.find(" qr ") != std::string::npos;
        });
    };
    ASSERT_EQ(count_qr_lines(), 1);

    // kill -9, then a new process within the session's life.
    ASSERT_TRUE(run.Signal(SIGKILL));
    ASSERT_TRUE(run.WaitForExit(10s));
    run.StartAgain();
    ASSERT_FALSE(run.WaitForLine("ready ").empty()) << run.Stderr();
    EXPECT_EQ(count_qr_lines(), 0);
    EXPECT_EQ(run.CountRequests("jslogin"), 1u);
    EXPECT_EQ(run.Sim().Session().sid, sid);
    run.Sim().DeliverMessage(TextFrom("alice", "你好"));
    ASSERT_TRUE(WaitForSent(run.Sim(), 1));

    // The service ends the session: the phone confirms, the robot answers on.
    run.Sim().EndSession(1101);
    EXPECT_EQ(run.WaitForLine("main Zelmo 5.3  重"), "main Zelmo 5.3  重新登录中");
    EXPECT_EQ(run.WaitForLine("main "), "main Zelmo 5.3  在线");
    EXPECT_EQ(run.Sim().Login().pushes, 1);
    EXPECT_EQ(count_qr_lines(), 0);
    run.Sim().DeliverMessage(TextFrom("alice", "你好"));
    ASSERT_TRUE(WaitForSent(run.Sim(), 2));

    // A stop logs out and marks the saved session; the next start asks the phone.
    ASSERT_TRUE(run.Signal(SIGTERM));
    EXPECT_TRUE(ExitedWith(run.WaitForExit(20s), 0));
    const std::optional<protocol::SavedSession> saved = app::LoadSession(run.DataRoot());
    ASSERT_TRUE(saved);
    EXPECT_TRUE(saved->logged_out);
    run.StartAgain();
    ASSERT_FALSE(run.WaitForLine("ready ").empty()) << run.Stderr();
    EXPECT_EQ(count_qr_lines(), 0);
    EXPECT_EQ(run.Sim().Login().pushes, 2);
    run.Sim().DeliverMessage(TextFrom("alice", "你好"));
    ASSERT_TRUE(WaitForSent(run.Sim(), 3));
    EXPECT_EQ(SentTexts(run.Sim()), (std::vector<std::string>{"你好呀", "你好呀", "你好呀"}));
    // The tokens never reach the output.
    for (const std::string& line : run.LinesSoFar()) {
        EXPECT_THAT(line, ::testing::Not(HasSubstr(run.Sim().Session().sid)));
    }
    EXPECT_EQ(run.Sim().Violations(), std::vector<std::string>{});

    ASSERT_TRUE(run.Signal(SIGTERM));
    EXPECT_TRUE(ExitedWith(run.WaitForExit(20s), 0));
    ChildProcess search({std::string(ZELMO_BINARY_DIR) + "/src/headless/zelmo-headless",
                         "--data-dir", run.DataRoot(), "search", "你好", "--json"},
                        {}, "/dev/null");
    EXPECT_TRUE(ExitedWith(search.WaitForExit(20s), 0));
    std::vector<std::string> asked_keys;
    int replies = 0;
    for (const std::string& line : search.Lines()) {
        const std::optional<platform::Json> row = platform::ParseJson(line);
        ASSERT_TRUE(row && row->IsObject()) << line;
        const std::string direction = row->Find("direction")->AsString();
        if (direction == "in") {
            asked_keys.push_back(row->Find("chat_key")->AsString());
            EXPECT_EQ(row->Find("chat")->AsString(), "Alice");
        } else {
            EXPECT_EQ(row->Find("text")->AsString(), "你好呀");
            ++replies;
        }
    }
    ASSERT_EQ(asked_keys.size(), 3u);
    EXPECT_FALSE(asked_keys[0].empty());
    EXPECT_EQ(std::count(asked_keys.begin(), asked_keys.end(), asked_keys[0]), 3);
    EXPECT_EQ(replies, 3);
}

// The service ends each session a second after its login: after the second such session
// the robot logs in by itself no more. It says so on a box line and ends with 1; the
// supervisor's restart neither resumes the session nor asks the phone, it shows a QR code.
TEST(ZelmoHeadlessTest, SessionsEndedRightAfterTheLoginEndTheRunWithABoxLineAndNoMoreLogins) {
    RunSetup setup;
    setup.before_start = [](sim::Simulator& simulator) { simulator.SetEndSessionAfterLogin(1000); };
    HeadlessRun run(setup);
    ASSERT_TRUE(run.Started());
    const std::string box = run.WaitForLine("box ", 60s);
    EXPECT_EQ(box,
              "box 错误提示: 服务器在登录后随即结束了会话，已连续2次。反复登录可能导致帐号被限制，"
              "机器人已停止自动登录。您可以：等几个小时再登录；确认这个帐号可以在电脑上登录微信；"
              "或者换一个帐号。")
        << run.Stderr();
    EXPECT_TRUE(ExitedWith(run.WaitForExit(20s), 1));
    EXPECT_THAT(run.LinesSoFar().back(), HasSubstr(" end exit code 1"));
    EXPECT_EQ(run.Sim().Login().pushes, 1);

    const std::size_t inits = run.CountRequests("webwxinit");
    run.Sim().SetEndSessionAfterLogin(-1);
    run.StartAgain();
    EXPECT_EQ(run.WaitForLine("box "), box);
    EXPECT_EQ(run.WaitForLine("qr "), "qr " + run.QrFile());
    ASSERT_FALSE(run.WaitForLine("ready ").empty()) << run.Stderr();
    EXPECT_EQ(run.Sim().Login().pushes, 1);
    EXPECT_EQ(run.CountRequests("webwxinit"), inits + 1);
    ASSERT_TRUE(run.Signal(SIGTERM));
    EXPECT_TRUE(ExitedWith(run.WaitForExit(20s), 0));
}

// A refusal is shown once and ends the program at once, with its own code.
TEST(ZelmoHeadlessTest, ARefusedLoginEndsWithinFiveSecondsWithANonZeroCode) {
    HeadlessRun run({.refuse_web_login = true, .profile_lines = "login_mode=web\n"});
    ASSERT_TRUE(run.Started());
    const std::string box = run.WaitForLine("box ");
    const auto shown = std::chrono::steady_clock::now();
    EXPECT_THAT(box, HasSubstr("box 错误提示: 为了你的帐号安全，此微信号不能登录网页微信。"));
    EXPECT_THAT(box, HasSubstr("(错误代码：1203) 当前为网页登录模式"));
    EXPECT_TRUE(ExitedWith(run.WaitForExit(5s), 5)) << run.Stderr();
    EXPECT_LT(std::chrono::steady_clock::now() - shown, 5s);
    EXPECT_THAT(run.LinesSoFar().back(), HasSubstr(" end exit code 5"));
    EXPECT_EQ(run.CountRequests("jslogin"), 1u);
}

// Mistakes are named before any request and end the program non-zero; a second robot on
// the same data folder leaves the first alone.
TEST(ZelmoHeadlessTest, StartUpMistakesAreNamedAndEndNonZeroWithoutARequest) {
    const TempDir files;
    const std::string missing = files.Path() + "/missing.ini";
    const std::string no_section = files.Path() + "/other.ini";
    platform::WriteFileAtomic(no_section, "[other]\nweb_host=x\n");
    const std::string blocked = files.Path() + "/plain-file";
    platform::WriteFileAtomic(blocked, "x");
    const struct {
        std::vector<std::string> args;
        std::string line;
    } cases[] = {
        {{"--service", missing},
         "box 错误提示: 服务配置文件无法读取：" + missing + "（No such file or directory）"},
        {{"--service", no_section},
         "box 错误提示: 服务配置文件中没有可用的 [service] 段：" + no_section},
        {{"--data-dir", blocked + "/data"},
         "box 错误提示: 数据目录无法写入：" + blocked + "/data（Not a directory）"},
    };
    for (const auto& mistake : cases) {
        HeadlessRun run({.extra_args = mistake.args});
        ASSERT_TRUE(run.Started());
        EXPECT_EQ(run.WaitForLine("box "), mistake.line);
        EXPECT_TRUE(ExitedWith(run.WaitForExit(10s), 3)) << mistake.line;
        EXPECT_THAT(run.LinesSoFar().back(), HasSubstr(" end exit code 3"));
        EXPECT_EQ(run.Sim().Requests().size(), 0u) << mistake.line;
    }

    HeadlessRun run;
    ASSERT_TRUE(run.Started());
    ASSERT_FALSE(run.WaitForLine("ready ").empty()) << run.Stderr();
    const std::unique_ptr<ChildProcess> second = run.Another();
    std::size_t next = 0;
    EXPECT_TRUE(second->WaitForLine(
        &next, "box 错误提示: 已在运行 (pid " + std::to_string(run.Pid()) + ")", 10s));
    const std::optional<int> status = second->WaitForExit(10s);
    EXPECT_TRUE(status && WIFEXITED(*status) && WEXITSTATUS(*status) == 4);
    // The second start sent nothing of its own.
    EXPECT_EQ(run.CountRequests("jslogin"), 1u);
    EXPECT_EQ(run.CountRequests("webwxinit"), 1u);
    EXPECT_EQ(run.CountRequests("webwxpushloginurl"), 0u);
    run.Sim().DeliverMessage(TextFrom("alice", "still here"));
    EXPECT_THAT(run.WaitForLine("log "), HasSubstr("still here"));
}

}  // namespace
}  // namespace zelmo::test
