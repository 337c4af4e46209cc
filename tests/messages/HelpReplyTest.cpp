#include <gtest/gtest.h>

#include <string>

#include "config/Settings.h"
#include "messages/HelpReply.h"
#include "messages/Intake.h"
#include "platform/GbkLiteral.h"
#include "plugins/PluginHost.h"

namespace zelmo::messages {
namespace {

using platform::Gbk;

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

// The function list needs only the templates, the settings and the plugin table.
class HelpReplyTest : public ::testing::Test {
protected:
    std::string Reply(int chat_type) const {
        return BuildHelpReply(templates, settings, plugins, chat_type);
    }

    LangTemplates templates = LoadLangTemplates("/nonexistent/lang.ini");
    config::Settings settings;
    plugins::PluginHost plugins;
};

TEST_F(HelpReplyTest, ListsLearningThenEveryEnabledListedPluginInTableOrder) {
    plugins.Publish({
        Plugin("天气", "城市", "", "查询天气", true, 1),
        Plugin("hidden", "", "", "not listed", true, 2),
        Plugin("off", "", "", "disabled", false, 1),
        Plugin("翻译", "[词]", "!", "翻译一个词", true, 1),
    });
    // The templates' "[mzname]" is the robot's name.
    settings.机器人姓名 = Gbk("小精灵");
    const std::string head = Gbk("欢迎使用小精灵机器人！[enter]以下是支持命令：[enter]");
    const std::string learning = Gbk("回复：问：XX 答：XX[enter]功能：教小精灵说话吧~[enter]");
    const std::string weather = Gbk("回复：天气城市[enter]功能：查询天气[enter]");
    const std::string translate = Gbk("回复：翻译[词]![enter]功能：翻译一个词[enter]");
    EXPECT_EQ(Reply(CHAT_FRIEND), head + learning + weather + translate);

    settings.群学习 = false;
    EXPECT_EQ(Reply(CHAT_GROUP), head + weather + translate);
    EXPECT_EQ(Reply(CHAT_FRIEND), head + learning + weather + translate);
}

TEST_F(HelpReplyTest, ANullHeadStartsWithTheFirstCommandAndPlaceholdersIgnoreCase) {
    templates.return_a.clear();  // what "[null]" reads as
    templates.return_c = "<[SP1]|[Sp2]>";
    settings.好友学习 = false;
    EXPECT_EQ(Reply(CHAT_FRIEND), "");
    plugins.Publish({Plugin("p", "h", "s", "[MZName]", true, 1)});
    EXPECT_EQ(Reply(CHAT_FRIEND), "<phs|Zelmo>");
}

}  // namespace
}  // namespace zelmo::messages
