#include <gtest/gtest.h>

#include <string>

#include "messages/GroupEvents.h"
#include "messages/Intake.h"
#include "messages/KnowledgeBase.h"
#include "platform/GbkLiteral.h"
#include "platform/IniFile.h"
#include "support/FakeClock.h"

namespace zelmo::messages {
namespace {

using platform::Gbk;

const std::string DEMO_CONFIG =
    std::string(ZELMO_SOURCE_DIR) + "/tools/sim/scenarios/demo-account/config";

// The demo's scripted messages reach the knowledge base as intake makes them.
TEST(DemoAccountTest, TheDemoBaseAnswersTheScriptedMessages) {
    KnowledgeBase base;
    base.Load(DEMO_CONFIG + "/reply.ini");
    ASSERT_EQ(base.PairCount(), 13u);
    const config::Settings settings;
    test::FakeClock clock;
    for (const char* content :
         {"你好，机器人！", "大家好 <br/>第二行 &lt;b&gt;&amp;&lt;/b&gt;", "[图片]", "[语音]",
          "[视频]", "[表情]", "[应用消息]", "[名片]", "[地理位置]@member", "加好友啦", "价目表"}) {
        EXPECT_FALSE(base.MatchingPairs(Gbk(content)).empty()) << content;
    }
    EXPECT_FALSE(base.LookupReply("unknown", CHAT_FRIEND, settings, clock).empty());
}

TEST(DemoAccountTest, TheDemoGroupTextsGreetAndSayGoodbye) {
    const std::string path = DEMO_CONFIG + "/mzset.ini";
    config::Settings settings;
    settings.群管_加 = platform::ReadIniItem(path, Gbk("群管设置"), Gbk("群管_加"));
    settings.群管_邀 = platform::ReadIniItem(path, Gbk("群管设置"), Gbk("群管_邀"));
    settings.群管_移 = platform::ReadIniItem(path, Gbk("群管设置"), Gbk("群管_移"));
    EXPECT_EQ(GroupEventReply(settings, Gbk("\"小爱\"邀请\"Eve\"加入了群聊")),
              Gbk("欢迎Eve加入本群！我是群助手[mkname]。"));
    EXPECT_EQ(GroupEventReply(settings, Gbk("\" Frank\"通过扫描\"Bob\"分享的二维码加入群聊")),
              Gbk("欢迎Frank扫码入群！"));
    EXPECT_EQ(GroupEventReply(settings, Gbk("你将\"Carol\"移出了群聊")),
              Gbk("Carol已被移出群聊，再见。"));
    EXPECT_EQ(platform::ReadIniItem(path, Gbk("机器人设置"), Gbk("机器人姓名")), Gbk("小精灵"));
}

}  // namespace
}  // namespace zelmo::messages
