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

TEST(GroupEventsTest, EachPhraseCutsTheNameWithoutTheServicesQuotesAndFillsItsText) {
    const config::Settings settings = GroupTexts();
    EXPECT_EQ(Reply(settings, "你将\"B\"移出了群聊"), Gbk("再见B"));
    // The own account invited: the name after "邀请".
    EXPECT_EQ(Reply(settings, "你邀请\"B\"加入了群聊  "), Gbk("欢迎B！"));
    EXPECT_EQ(Reply(settings, "\"A\"邀请\"B\"加入了群聊"), Gbk("欢迎B！"));
    // Several invitees share one pair of quotes and one welcome.
    EXPECT_EQ(Reply(settings, "\"A\"邀请\"B、C\"加入了群聊"), Gbk("欢迎B、C！"));
    EXPECT_EQ(Reply(settings, "\"A\"邀请\"B\"、\" C\"加入了群聊"), Gbk("欢迎B、C！"));
    EXPECT_EQ(Reply(settings, "\" B\"通过扫描\"A\"分享的二维码加入群聊"), Gbk("扫码欢迎B"));
    EXPECT_EQ(Reply(settings, "\"B\"通过扫描你分享的二维码加入群聊  "), Gbk("扫码欢迎B"));
    // Chinese quotes and blanks around a name go too; quotes inside it stay.
    EXPECT_EQ(Reply(settings, "“小 \"B\" 明”邀请“　小红 ”加入了群聊"), Gbk("欢迎小红！"));
    EXPECT_EQ(Reply(settings, "你将“小 \"B\" 明”移出了群聊"), Gbk("再见小 \"B\" 明"));
}

TEST(GroupEventsTest, TheEnglishWordingsUseTheSameThreeTexts) {
    const config::Settings settings = GroupTexts();
    EXPECT_EQ(Reply(settings, "Alice invited Bob to the group chat"), Gbk("欢迎Bob！"));
    EXPECT_EQ(Reply(settings, "You invited Bob to the group chat.   "), Gbk("欢迎Bob！"));
    EXPECT_EQ(Reply(settings, "\"Bob\" joined the group chat via the QR Code shared by \"Al\"."),
              Gbk("扫码欢迎Bob"));
    EXPECT_EQ(Reply(settings, "You removed \"Bob\" from the group chat"), Gbk("再见Bob"));
    EXPECT_EQ(Reply(settings, "Alice invited you to the group chat"), std::string());
    EXPECT_EQ(Reply(settings, "Bob says hello to the group"), std::nullopt);
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
    EXPECT_EQ(Reply(settings, "你将\"B\"移出了群聊，\"C\"加入了群聊"), Gbk("再见B"));
    settings.群管_邀 = Gbk("欢迎[NAME]和[name]");
    EXPECT_EQ(Reply(settings, "你邀请\"B\"加入了群聊"), Gbk("欢迎[NAME]和B"));
}

}  // namespace
}  // namespace zelmo::messages
