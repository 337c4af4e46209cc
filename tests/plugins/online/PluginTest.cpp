#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "app/Heartbeat.h"
#include "app/JobDispatch.h"
#include "jobs/JobQueue.h"
#include "platform/Files.h"
#include "platform/GbkLiteral.h"
#include "platform/IniFile.h"
#include "plugins/EnableState.h"
#include "plugins/PluginDispatch.h"
#include "plugins/PluginHost.h"
#include "protocol/ConnectionState.h"
#include "protocol/SyncRequests.h"
#include "support/OnlineRobot.h"
#include "support/PluginTestRobot.h"
#include "support/SyncRig.h"

namespace zelmo::test {
namespace {

using platform::Gbk;

// Copies example plugins into the account folder before the start-up, the weather plugin
// enabled.
OnlineRobot::Options WithPlugins(std::vector<std::string> names = {"weather", "account"}) {
    OnlineRobot::Options options;
    options.prepare = [names](const std::string& account_dir) {
        for (const std::string& name : names) {
            std::filesystem::copy_file(
                ExamplePlugin(name),
                config::PluginPath(account_dir, std::string(name) + ".mzp.so"));
        }
        platform::WriteIniItem(plugins::EnableFilePath(account_dir, "weather.mzp.so"),
                               plugins::EnableSection(), Gbk("天气预报"), "1");
    };
    return options;
}

TEST(PluginTest, TheStartUpLoadsTheAccountsPluginsWithTheirFlags) {
    OnlineRobot online(WithPlugins());
    ASSERT_EQ(online.Start(), "");
    const plugins::PluginTableSnapshot table = online.Robot().Plugins().Table();
    ASSERT_EQ(table->size(), 2u);
    EXPECT_EQ((*table)[0].Name, Gbk("帐号助手"));
    EXPECT_FALSE((*table)[0].Enabled);
    EXPECT_EQ((*table)[1].Name, Gbk("天气预报"));
    EXPECT_TRUE((*table)[1].Enabled);
    const std::vector<std::string> status = online.Screen().TextsOf("ShowStatus");
    EXPECT_NE(std::find(status.begin(), status.end(), "[4/5] account.mzp.so"), status.end());
    EXPECT_NE(std::find(status.begin(), status.end(), "[4/5] weather.mzp.so"), status.end());

    const std::string text = Gbk("天气北京");
    const protocol::ChatMessage weather{text, 1, "@friend", ""};
    EXPECT_EQ(plugins::DispatchToPlugins(online.Robot().Plugins(), online.Robot().AccountDir(),
                                         online.Robot().State()->session.cookies, weather),
              Gbk("北京今天晴，气温 20℃"));
}

TEST(PluginTest, AConsentedPluginReceivesTheCookiesOfTheLogin) {
    OnlineRobot online(WithPlugins());
    ASSERT_EQ(online.Start(), "");
    const std::string cookies = online.Robot().State()->session.cookies;
    ASSERT_FALSE(cookies.empty());
    const std::string text = Gbk("我的帐号");
    const protocol::ChatMessage ask{text, 1, "@friend", ""};
    EXPECT_EQ(plugins::DispatchToPlugins(online.Robot().Plugins(), online.Robot().AccountDir(),
                                         cookies, ask),
              "");
    online.Screen().ScriptAnswers({true});
    ASSERT_TRUE(plugins::ToggleRecord(online.Robot().Plugins(), online.Screen(), 0, true));
    EXPECT_EQ(plugins::DispatchToPlugins(online.Robot().Plugins(), online.Robot().AccountDir(),
                                         cookies, ask),
              Gbk("已获得帐号信息，共") + std::to_string(cookies.size()) + Gbk("字节"));
}

// The real intake and reply chain over a synced message, with plugins in the account
// folder; no workers run, so the reply jobs stay in the queue to be read.
class PluginChainRig : public SyncRig {
public:
    std::string Start(std::initializer_list<const char*> enabled) {
        std::string failure = LogIn();
        platform::MakeDirectories(config::PluginFolder(AccountDir()));
        for (const char* name : {"quiet", "weather"}) {
            std::filesystem::copy_file(
                ExamplePlugin(name),
                config::PluginPath(AccountDir(), std::string(name) + ".mzp.so"));
        }
        for (const char* name : enabled) {
            platform::WriteIniItem(
                plugins::EnableFilePath(AccountDir(), std::string(name) + ".mzp.so"),
                plugins::EnableSection(), Gbk(std::string(name) == "quiet" ? "安静" : "天气预报"),
                "1");
        }
        plugins::ScanPlugins(Robot().Plugins(), AccountDir(), Screen(), false);
        plugins::LoadEnableStates(Robot().Plugins(), AccountDir());
        Robot().Knowledge().LearnPair(Gbk("嘘"), Gbk("知识库的回答"));
        return failure;
    }

    // The replies the chain queued for one message from alice, as (to, text) pairs.
    std::vector<std::pair<std::string, std::string>> RepliesTo(std::string_view text_utf8) {
        Sim().DeliverMessage({sim::MessageKind::Text, "alice", "", "", std::string(text_utf8)});
        protocol::SyncAnswer answer;
        if (!app::SyncAndKeepKey(Robot(), answer)) {
            ADD_FAILURE() << "webwxsync failed";
            return {};
        }
        app::PostSyncNews(Robot().Queue(), Robot().HandledMessages(), answer);
        for (const jobs::Job& job : TakeJobs()) {
            app::RunJob(Robot(), job);
        }
        std::vector<std::pair<std::string, std::string>> replies;
        for (const jobs::Job& job : TakeJobs()) {
            if (job.kind == 1) {
                replies.emplace_back(job.texts[0], job.texts[1]);
            }
        }
        return replies;
    }
};

TEST(PluginTest, AFriendAskingForTheWeatherGetsThePluginsAnswerFromTheChain) {
    PluginChainRig rig;
    ASSERT_EQ(rig.Start({"weather"}), "");
    const std::string alice = rig.Sim().UserNameOf("alice");
    using Replies = std::vector<std::pair<std::string, std::string>>;
    EXPECT_EQ(rig.RepliesTo("天气北京"), (Replies{{alice, Gbk("北京今天晴，气温 20℃")}}));
    EXPECT_EQ(rig.RepliesTo("天气北京嘘"), (Replies{{alice, Gbk("北京嘘今天晴，气温 20℃")}}));
}

// The hushing plugin comes first and sees every message: its "[noreply]" leaves the weather
// plugin and the knowledge base (which has a pair for "嘘") without a word.
TEST(PluginTest, NoReplyFromAPluginSilencesEveryOtherSource) {
    PluginChainRig rig;
    ASSERT_EQ(rig.Start({"quiet", "weather"}), "");
    using Replies = std::vector<std::pair<std::string, std::string>>;
    EXPECT_EQ(rig.RepliesTo("天气北京嘘"), Replies{});
    EXPECT_EQ(rig.RepliesTo("天气北京"),
              (Replies{{rig.Sim().UserNameOf("alice"), Gbk("北京今天晴，气温 20℃")}}));
}

TEST(PluginTest, AFriendAskingForTheWeatherGetsThePluginsAnswerSent) {
    OnlineRobot online(WithPlugins());
    ASSERT_EQ(online.Start(), "");
    online.Sim().DeliverMessage({sim::MessageKind::Text, "alice", "", "", "天气北京"});
    ASSERT_TRUE(online.Sim().WaitForSentMessages(1, std::chrono::seconds(20)));
    const std::vector<sim::SentMessage> sent = online.Sim().SentMessages();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].to, online.Sim().UserNameOf("alice"));
    EXPECT_EQ(sent[0].content, "北京今天晴，气温 20℃");
}

// The host calls through the robot: a word answered with a picture through the sender, a
// received picture's saved file, a sender's stable key; plugins without an init (weather)
// answer as before.
TEST(PluginTest, APluginSendsAPictureReadsAReceivedOneAndKnowsTheSendersKey) {
    OnlineRobot::Options options = WithPlugins({"weather", "picture"});
    const auto copy_plugins = options.prepare;
    options.prepare = [copy_plugins](const std::string& account_dir) {
        copy_plugins(account_dir);
        platform::WriteFileAtomic(config::PluginPath(account_dir, "picture.jpg"),
                                  std::string(3000, 'p'));
        for (const char* entry : {"看图", "图片大小", "我的编号"}) {
            platform::WriteIniItem(plugins::EnableFilePath(account_dir, "picture.mzp.so"),
                                   plugins::EnableSection(), Gbk(entry), "1");
        }
    };
    OnlineRobot online(options);
    ASSERT_EQ(online.Start(), "");
    sim::Simulator& sim = online.Sim();
    const std::string alice = sim.UserNameOf("alice");

    sim.DeliverMessage({sim::MessageKind::Text, "alice", "", "", "看图"});
    ASSERT_TRUE(sim.WaitForMediaSends(1, std::chrono::seconds(20)));
    const std::vector<sim::MediaSendRecord> sends = sim.MediaSends();
    EXPECT_EQ(sends[0].endpoint, "webwxsendmsgimg");
    EXPECT_EQ(sends[0].to, alice);
    EXPECT_EQ(sim.UploadedBytes(sends[0].media_id), std::string(3000, 'p'));

    sim.DeliverMessage({sim::MessageKind::Picture, "alice"});
    sim.DeliverMessage({sim::MessageKind::Text, "alice", "", "", "我的编号"});
    sim.DeliverMessage({sim::MessageKind::Text, "alice", "", "", "天气北京"});
    ASSERT_TRUE(sim.WaitForSentMessages(3, std::chrono::seconds(30)));
    std::vector<std::string> texts;
    for (const sim::SentMessage& sent : sim.SentMessages()) {
        texts.push_back(sent.content);
    }
    const std::string picture_id = sim.Deliveries()[1].msg_id;
    EXPECT_NE(std::find(texts.begin(), texts.end(),
                        "收到图片，" + std::to_string(sim.MediaOf(picture_id).size()) + "字节"),
              texts.end());
    EXPECT_NE(
        std::find(texts.begin(), texts.end(), "你的编号是" + online.Robot().Keys().KeyOf(alice)),
        texts.end());
    EXPECT_NE(std::find(texts.begin(), texts.end(), "北京今天晴，气温 20℃"), texts.end());
    // Fetched once, for the plugin; the download after the handling found it done.
    EXPECT_EQ(online.Screen().CountOf("LogRowFile"), 1u);
}

}  // namespace
}  // namespace zelmo::test
