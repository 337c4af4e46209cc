#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "app/RunEnd.h"
#include "app/Startup.h"
#include "config/AccountPaths.h"
#include "platform/Files.h"
#include "platform/GbkLiteral.h"
#include "support/FifoGate.h"
#include "support/OnlineRobot.h"

namespace zelmo::test {
namespace {

using namespace std::chrono_literals;

// Index of the first request whose path contains `part`; -1 when none came.
long FirstRequest(const std::vector<sim::RecordedRequest>& requests, std::string_view part) {
    const auto it = std::find_if(requests.begin(), requests.end(), [part](const auto& request) {
        return request.path.find(part) != std::string::npos;
    });
    return it == requests.end() ? -1 : static_cast<long>(it - requests.begin());
}

std::size_t CountRequests(const std::vector<sim::RecordedRequest>& requests,
                          std::string_view part) {
    return static_cast<std::size_t>(std::count_if(
        requests.begin(), requests.end(),
        [part](const auto& request) { return request.path.find(part) != std::string::npos; }));
}

TEST(StartupTest, StepsAndRequestsComeInTheirOrder) {
    OnlineRobot online;
    ASSERT_EQ(online.Start(), "");
    ASSERT_TRUE(online.Sim().WaitForRequest("/synccheck", 10s));

    const std::vector<sim::RecordedRequest> requests = online.Sim().Requests();
    const long icon = FirstRequest(requests, "webwxgeticon");
    const long contacts = FirstRequest(requests, "webwxgetcontact");
    const long notify = FirstRequest(requests, "webwxstatusnotify");
    const long sync = FirstRequest(requests, "webwxsync");
    const long check = FirstRequest(requests, "/synccheck");
    ASSERT_GE(icon, 0);
    EXPECT_LT(icon, contacts);
    EXPECT_LT(contacts, notify);
    EXPECT_LT(notify, sync);
    EXPECT_LT(sync, check);
    // Exactly one sync before the heartbeat's first poll.
    const std::vector<sim::RecordedRequest> before_check(requests.begin(),
                                                         requests.begin() + check);
    EXPECT_EQ(CountRequests(before_check, "webwxsync"), 1U);

    std::vector<std::string> steps;
    for (const std::string& text : online.Screen().TextsOf("ShowStatus")) {
        if (text.starts_with("[")) {
            steps.push_back(text);
        }
    }
    EXPECT_EQ(steps, (std::vector<std::string>{
                         platform::Gbk("[1/5] 初始化　"), platform::Gbk("[2/5] 载入配置"),
                         platform::Gbk("[3/5] 准备队列"), platform::Gbk("[4/5] 微信资料"),
                         platform::Gbk("[5/5] 心跳监听")}));
    EXPECT_EQ(steps.front().substr(steps.front().size() - 2), "\xa1\xa1");  // ideographic space
    const std::vector<StubScreen::Call> calls = online.Screen().Calls();
    const auto last_step = std::find_if(calls.rbegin(), calls.rend(), [&](const auto& call) {
        return call.name == "ShowStatus" && call.text == steps.back();
    });
    ASSERT_NE(last_step, calls.rend());
    std::vector<std::string> after;
    for (auto it = last_step.base(); it != calls.end(); ++it) {
        if (it->name == "FadeOutStatus" || it->name == "CloseStatus" ||
            it->name == "MainWindowReady") {
            after.push_back(it->name);
        }
    }
    EXPECT_EQ(after, (std::vector<std::string>{"FadeOutStatus", "CloseStatus", "MainWindowReady"}));
    EXPECT_EQ(online.Screen().CountOf("CreateHiddenWindows"), 1U);
}

TEST(StartupTest, AnExistingAccountFolderAndItsFilesAreReused) {
    OnlineRobot::Options options;
    const std::string kept = "[x]\r\nkept=1\r\n";
    options.prepare = [&kept](const std::string& account_dir) {
        ASSERT_TRUE(platform::WriteFileAtomic(account_dir + "/config/mine.ini", kept));
        ASSERT_TRUE(platform::WriteFileAtomic(account_dir + "/plugin/readme.txt", "x"));
    };
    OnlineRobot online(options);
    ASSERT_EQ(online.Start(), "");
    EXPECT_EQ(online.Robot().AccountDir(), online.AccountDir());
    EXPECT_EQ(platform::ReadFile(online.AccountDir() + "/config/mine.ini"), kept);
    EXPECT_TRUE(platform::FileExists(online.AccountDir() + "/plugin/readme.txt"));
}

TEST(StartupTest, RefusingToQuitLeavesTheRobotRunning) {
    OnlineRobot::Options options;
    options.synccheck_hold_ms = 200;
    OnlineRobot online(options);
    ASSERT_EQ(online.Start(), "");
    online.Screen().ScriptAnswers({false});
    EXPECT_FALSE(app::ConfirmClose(online.Robot()));

    EXPECT_EQ(online.Screen().TextsOf("AskYesNo"),
              (std::vector<std::string>{platform::Gbk("提示\n您确定要退出微信机器人吗")}));
    EXPECT_FALSE(online.Robot().HeartbeatStop().load());
    EXPECT_EQ(online.Screen().CountOf("FadeOutMainWindow"), 0U);
    // The heartbeat goes on polling; no logout went out.
    const std::size_t polls = CountRequests(online.Sim().Requests(), "/synccheck");
    EXPECT_TRUE(online.Sim().WaitForRequests("/synccheck", polls + 2, 10s));
    EXPECT_EQ(CountRequests(online.Sim().Requests(), "webwxlogout"), 0U);
}

TEST(StartupTest, QuittingStopsTheHeartbeatThenLogsOutThenFades) {
    OnlineRobot online;
    ASSERT_EQ(online.Start(), "");
    online.Screen().ScriptAnswers({true});
    EXPECT_TRUE(app::ConfirmClose(online.Robot()));

    EXPECT_TRUE(online.Robot().HeartbeatStop().load());
    const std::vector<sim::RecordedRequest> requests = online.Sim().Requests();
    ASSERT_EQ(CountRequests(requests, "webwxlogout"), 1U);
    const sim::RecordedRequest& logout = requests[FirstRequest(requests, "webwxlogout")];
    EXPECT_EQ(logout.method, "post");
    EXPECT_EQ(logout.body, "");
    EXPECT_NE(logout.query.find("redirect=1&type=0&skey=%40"), std::string::npos);
    EXPECT_FALSE(logout.cookie.empty());
    EXPECT_EQ(online.Screen().CountOf("FadeOutMainWindow"), 1U);
}

TEST(StartupTest, AnUnsavedKnowledgeBaseIsOfferedForSavingBeforeTheQuitQuestion) {
    for (const bool save : {false, true}) {
        SCOPED_TRACE(save ? "saved" : "not saved");
        OnlineRobot online;
        ASSERT_EQ(online.Start(), "");
        online.Robot().Knowledge().LearnPair(platform::Gbk("天气"), platform::Gbk("晴"));
        ASSERT_TRUE(online.Robot().Knowledge().Dirty());
        online.Screen().ScriptAnswers({save, false});
        EXPECT_FALSE(app::ConfirmClose(online.Robot()));

        EXPECT_EQ(online.Screen().TextsOf("AskYesNo"),
                  (std::vector<std::string>{platform::Gbk("提示\n您还有未储存的的词库，是否保存？"),
                                            platform::Gbk("提示\n您确定要退出微信机器人吗")}));
        const std::string base =
            platform::ReadFile(config::ConfigPath(online.AccountDir(), config::REPLY_BASE_FILE));
        EXPECT_EQ(base, save ? platform::Gbk("天气\r\n晴") : "");
        EXPECT_EQ(online.Robot().Knowledge().Dirty(), !save);
    }
}

// Once the user is asked about the end nothing is learned: a worker that was handling a
// learning command when the close came waits; after a No it learns and answers as before.
TEST(StartupTest, NothingIsLearnedWhileTheCloseQuestionsAreOpen) {
    for (const bool quit : {false, true}) {
        SCOPED_TRACE(quit ? "quit" : "stay");
        OnlineRobot::Options options;
        options.synccheck_hold_ms = 200;
        OnlineRobot online(options);
        ASSERT_EQ(online.Start(), "");
        // The worker reads the shield map before it learns: there it is held.
        FifoGate held(config::UinFilePath(online.AccountDir()));
        ASSERT_TRUE(held.Made());
        online.Robot().Knowledge().LearnPair(platform::Gbk("天气"), platform::Gbk("晴"));
        online.Sim().DeliverMessage({sim::MessageKind::Text, "alice", "", "", "问：晚安答：好梦"});
        ASSERT_TRUE(held.WaitForReader(10s));

        bool answered_while_asked = false;
        online.Screen().WhileAsked([&](std::string_view text) {
            if (text != platform::Gbk("您确定要退出微信机器人吗")) {
                return;
            }
            held.Release();
            // Unheld, the worker would learn and answer within moments.
            if (!quit) {
                answered_while_asked = online.Sim().WaitForSentMessages(1, 2s);
            }
        });
        online.Screen().ScriptAnswers({true, quit});
        EXPECT_EQ(app::ConfirmClose(online.Robot()), quit);
        EXPECT_FALSE(answered_while_asked);
        EXPECT_EQ(
            platform::ReadFile(config::ConfigPath(online.AccountDir(), config::REPLY_BASE_FILE)),
            platform::Gbk("天气\r\n晴"));
        if (!quit) {
            ASSERT_TRUE(online.Sim().WaitForSentMessages(1, 10s));
            EXPECT_EQ(online.Sim().SentMessages()[0].content, "学习成功！对我说晚安试试吧！");
            EXPECT_TRUE(online.Robot().Knowledge().Dirty());
            continue;
        }
        // The quit decided: the end of the run saves nothing the worker learns as it stops.
        online.Robot().Shutdown();
        app::SaveAtEnd(online.Robot());
        EXPECT_EQ(
            platform::ReadFile(config::ConfigPath(online.AccountDir(), config::REPLY_BASE_FILE)),
            platform::Gbk("天气\r\n晴"));
    }
}

// A knowledge base that cannot be read is named with the reason at the start and never
// written over; the quit question's save names the new file beside it. A UTF-8 settings
// file is read and its conversion told once, with where the original is kept.
TEST(StartupTest, FilesThatCannotBeReadOrWereConvertedAreToldOfAndNothingIsWrittenOverThem) {
    OnlineRobot::Options options;
    options.prepare = [](const std::string& account_dir) {
        platform::MakeDirectories(config::ConfigPath(account_dir, config::REPLY_BASE_FILE) + "/x");
        platform::WriteFileAtomic(config::ConfigPath(account_dir, config::SETTINGS_FILE),
                                  "[\xE6\x9C\xBA\xE5\x99\xA8\xE4\xBA\xBA\xE8\xAE\xBE"
                                  "\xE7\xBD\xAE]\r\nunknown=1\r\n");
    };
    OnlineRobot online(std::move(options));
    ASSERT_EQ(online.Start(), "");
    const std::string reply_path = config::ConfigPath(online.AccountDir(), config::REPLY_BASE_FILE);
    const std::string settings_path =
        config::ConfigPath(online.AccountDir(), config::SETTINGS_FILE);
    EXPECT_EQ(online.Screen().TextsOf("ShowMessageBox"),
              (std::vector<std::string>{
                  platform::Gbk("提示\n" + settings_path +
                                " 是 UTF-8 编码，已转换读取；保存时写为 GBK，原文件保留为 " +
                                settings_path + ".utf8-backup。"),
                  platform::Gbk("错误提示\n无法读取 " + reply_path +
                                "：Is a directory\r\n词库从空开始，保存时写入它旁边的新文件。"
                                "此文件不会被覆盖。")}));

    online.Robot().Knowledge().LearnPair(platform::Gbk("早安"), platform::Gbk("早上好呀"));
    online.Screen().ScriptAnswers({true, false});
    EXPECT_FALSE(app::ConfirmClose(online.Robot()));
    const std::vector<std::string> side =
        platform::FindFiles(config::ConfigPath(online.AccountDir(), ""), "reply.ini.new-*");
    ASSERT_EQ(side.size(), 1u);
    const std::string side_path = config::ConfigPath(online.AccountDir(), side[0]);
    EXPECT_EQ(platform::ReadFile(side_path), platform::Gbk("早安\r\n早上好呀"));
    EXPECT_EQ(online.Screen().TextsOf("ShowMessageBox").back(),
              platform::Gbk("提示\n原词库文件无法读取，未被覆盖；词库已保存到 " + side_path));
    EXPECT_TRUE(platform::FileExists(reply_path + "/x"));
    EXPECT_FALSE(online.Robot().Knowledge().Dirty());
}

}  // namespace
}  // namespace zelmo::test
