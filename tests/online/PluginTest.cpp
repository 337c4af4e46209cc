#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "app/GbkLiteral.h"
#include "platform/Files.h"
#include "platform/IniFile.h"
#include "plugins/EnableState.h"
#include "plugins/PluginDispatch.h"
#include "plugins/PluginHost.h"
#include "plugins/PluginTestRobot.h"
#include "support/OnlineRobot.h"

namespace zelmo::test {
namespace {

using app::Gbk;

// Copies example plugins into the account folder before the start-up, the weather plugin
// enabled.
OnlineRobot::Options WithPlugins(std::vector<std::string> names = {"weather", "account"}) {
    OnlineRobot::Options options;
    options.prepare = [names](const std::string& account_dir) {
        for (const std::string& name : names) {
            std::filesystem::copy_file(ExamplePlugin(name),
                                       app::PluginPath(account_dir, std::string(name) + ".mzp.so"));
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
    const messages::ChatMessage weather{text, 1, "@friend", ""};
    EXPECT_EQ(plugins::DispatchToPlugins(online.Robot(), weather), Gbk("北京今天晴，气温 20℃"));
}

TEST(PluginTest, AConsentedPluginReceivesTheCookiesOfTheLogin) {
    OnlineRobot online(WithPlugins());
    ASSERT_EQ(online.Start(), "");
    const std::string& cookies = online.Robot().State().session.cookies;
    ASSERT_FALSE(cookies.empty());
    const std::string text = Gbk("我的帐号");
    const messages::ChatMessage ask{text, 1, "@friend", ""};
    EXPECT_EQ(plugins::DispatchToPlugins(online.Robot(), ask), "");
    online.Screen().ScriptAnswers({true});
    ASSERT_TRUE(plugins::ToggleRecord(online.Robot(), 0, true));
    EXPECT_EQ(plugins::DispatchToPlugins(online.Robot(), ask),
              Gbk("已获得帐号信息，共") + std::to_string(cookies.size()) + Gbk("字节"));
}

// Needs the reply chain to offer messages to the plugins; enable once it has landed.
TEST(PluginTest, DISABLED_AFriendAskingForTheWeatherGetsThePluginsAnswer) {
    OnlineRobot online(WithPlugins());
    ASSERT_EQ(online.Start(), "");
    online.Sim().DeliverMessage({sim::MessageKind::Text, "alice", "", "", "天气北京"});
    ASSERT_TRUE(online.Sim().WaitForRequest("webwxsendmsg", std::chrono::seconds(20)));
    const std::vector<sim::SentMessage> sent = online.Sim().SentMessages();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].to, online.Sim().UserNameOf("alice"));
    EXPECT_EQ(sent[0].content, "北京今天晴，气温 20℃");
}

// Needs the reply chain; enable once it has landed. The hushed message would otherwise get
// the knowledge base's reply, which would leave before the weather answer that follows it.
TEST(PluginTest, DISABLED_NoReplyFromAPluginSilencesTheKnowledgeBaseToo) {
    OnlineRobot::Options options = WithPlugins({"quiet", "weather"});
    const auto install = options.prepare;
    options.prepare = [install](const std::string& account_dir) {
        install(account_dir);
        platform::WriteIniItem(plugins::EnableFilePath(account_dir, "quiet.mzp.so"),
                               plugins::EnableSection(), Gbk("安静"), "1");
        platform::WriteFileAtomic(app::ConfigPath(account_dir, app::REPLY_BASE_FILE),
                                  Gbk("嘘\r\n知识库的回答"));
    };
    OnlineRobot online(options);
    ASSERT_EQ(online.Start(), "");
    online.Sim().DeliverMessage({sim::MessageKind::Text, "alice", "", "", "嘘"});
    online.Sim().DeliverMessage({sim::MessageKind::Text, "alice", "", "", "天气北京"});
    ASSERT_TRUE(online.Sim().WaitForRequest("webwxsendmsg", std::chrono::seconds(20)));
    const std::vector<sim::SentMessage> sent = online.Sim().SentMessages();
    ASSERT_FALSE(sent.empty());
    EXPECT_EQ(sent[0].content, "北京今天晴，气温 20℃");
}

}  // namespace
}  // namespace zelmo::test
