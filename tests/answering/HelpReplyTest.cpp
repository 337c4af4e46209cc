#include <gtest/gtest.h>

#include <string>

#include "app/GbkLiteral.h"
#include "app/Robot.h"
#include "messages/HelpReply.h"
#include "messages/Intake.h"
#include "support/FakeClock.h"
#include "support/StubScreen.h"

namespace zelmo::messages {
namespace {

using app::Gbk;

plugins::PluginRecord Plugin(const char* prefix, const char* hint, const char* suffix,
                             const char* intro, bool enabled, int listed) {
    plugins::PluginRecord record;
    record.Prefix = Gbk(prefix);
    record.ParamHint = Gbk(hint);
    record.Suffix = Gbk(suffix);
    record.Intro = Gbk(intro);
    record.Enabled = enabled;
    record.Listed = listed;
    return record;
}

// A robot that is never logged in: the function list needs only its templates, settings
// and plugin table.
class HelpReplyTest : public ::testing::Test {
protected:
    HelpReplyTest() : robot({}, clock, screen) {
        robot.Templates() = LoadLangTemplates("/nonexistent/lang.ini");
    }

    test::FakeClock clock;
    test::StubScreen screen;
    app::Robot robot;
};

TEST_F(HelpReplyTest, ListsLearningThenEveryEnabledListedPluginInTableOrder) {
    robot.Plugins().Publish({
        Plugin("天气", "城市", "", "查询天气", true, 1),
        Plugin("hidden", "", "", "not listed", true, 2),
        Plugin("off", "", "", "disabled", false, 1),
        Plugin("翻译", "[词]", "!", "翻译一个词", true, 1),
    });
    const std::string head = Gbk("欢迎使用[mzname]机器人！[enter]以下是支持命令：[enter]");
    const std::string learning = Gbk("回复：问：XX 答：XX[enter]功能：教[mzname]说话吧~[enter]");
    const std::string weather = Gbk("回复：天气城市[enter]功能：查询天气[enter]");
    const std::string translate = Gbk("回复：翻译[词]![enter]功能：翻译一个词[enter]");
    EXPECT_EQ(BuildHelpReply(robot, CHAT_FRIEND), head + learning + weather + translate);

    robot.Settings().Update([](config::Settings& settings) { settings.群学习 = false; });
    EXPECT_EQ(BuildHelpReply(robot, CHAT_GROUP), head + weather + translate);
    EXPECT_EQ(BuildHelpReply(robot, CHAT_FRIEND), head + learning + weather + translate);
}

TEST_F(HelpReplyTest, ANullHeadStartsWithTheFirstCommandAndPlaceholdersIgnoreCase) {
    robot.Templates().return_a.clear();  // what "[null]" reads as
    robot.Templates().return_c = "<[SP1]|[Sp2]>";
    robot.Settings().Update([](config::Settings& settings) { settings.好友学习 = false; });
    EXPECT_EQ(BuildHelpReply(robot, CHAT_FRIEND), "");
    robot.Plugins().Publish({Plugin("p", "h", "s", "i", true, 1)});
    EXPECT_EQ(BuildHelpReply(robot, CHAT_FRIEND), "<phs|i>");
}

}  // namespace
}  // namespace zelmo::messages
