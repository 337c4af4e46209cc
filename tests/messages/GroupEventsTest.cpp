#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "messages/GroupEvents.h"
#include "platform/GbkLiteral.h"

namespace zelmo::messages {
namespace {

using platform::Gbk;

config::Settings GroupTexts() {
    config::Settings settings;
    settings.群管_加 = Gbk("扫码欢迎[name]");
    settings.群管_邀 = Gbk("欢迎[name]！");
    settings.群管_移 = Gbk("再见[name]");
    return settings;
}

std::optional<std::string> Reply(const config::Settings& settings, const char* utf8_content) {
    return GroupEventReply(settings, Gbk(utf8_content));
}

TEST(GroupEventsTest, EachPhraseCutsTheNameAndFillsItsText) {
    const config::Settings settings = GroupTexts();
    EXPECT_EQ(Reply(settings, "你将\"B\"移出了群聊"), Gbk("再见\"B\""));
    // The own account invited: the name after "邀请".
    EXPECT_EQ(Reply(settings, "你邀请\"B\"加入了群聊  "), Gbk("欢迎\"B\"！"));
    EXPECT_EQ(Reply(settings, "\"A\"邀请\"B、C\"加入了群聊"), Gbk("欢迎\"B、C\"！"));
    EXPECT_EQ(Reply(settings, "\" B\"通过扫描\"A\"分享的二维码加入群聊"), Gbk("扫码欢迎\" B\""));
}

TEST(GroupEventsTest, TheOwnAccountJoiningEndsTheChainWithoutAWelcome) {
    const config::Settings settings = GroupTexts();
    EXPECT_EQ(Reply(settings, "\"A\"邀请你加入了群聊，群聊参与人还有：B、C"), std::string());
    EXPECT_EQ(Reply(settings, "你通过扫描二维码加入群聊，群聊参与人还有：A、B"), std::string());
}

TEST(GroupEventsTest, OtherTextsDoNotMatchAndEmptyTextsStillEndTheChain) {
    config::Settings settings = GroupTexts();
    EXPECT_EQ(Reply(settings, "大家好"), std::nullopt);
    EXPECT_EQ(Reply(settings, "你被\"A\"移出群聊"), std::nullopt);  // no "了"
    EXPECT_EQ(Reply(settings, "\"A\"修改群名为“新名”"), std::nullopt);

    settings.群管_邀.clear();
    EXPECT_EQ(Reply(settings, "你邀请\"B\"加入了群聊"), std::string());
    // A system text without its markers gives an empty name.
    EXPECT_EQ(Reply(settings, "移出了群聊"), Gbk("再见"));
}

TEST(GroupEventsTest, RemovalIsTestedFirstAndThePlaceholderIsCaseSensitive) {
    config::Settings settings = GroupTexts();
    EXPECT_EQ(Reply(settings, "你将\"B\"移出了群聊，\"C\"加入了群聊"), Gbk("再见\"B\""));
    settings.群管_邀 = Gbk("欢迎[NAME]和[name]");
    EXPECT_EQ(Reply(settings, "你邀请\"B\"加入了群聊"), Gbk("欢迎[NAME]和\"B\""));
}

}  // namespace
}  // namespace zelmo::messages
