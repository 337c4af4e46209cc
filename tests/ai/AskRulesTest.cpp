#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "ai/AskRules.h"
#include "platform/GbkLiteral.h"

namespace zelmo::ai {
namespace {

using platform::Gbk;

class AskRulesTest : public ::testing::Test {
protected:
    AskRulesTest() {
        m_settings.启用 = true;
        m_name = Gbk("小智");
        m_card = Gbk("群里的小智");
    }

    // What the model is asked for a group text as the intake converted it (UTF-8 here).
    std::optional<std::string> Group(const char* utf8) {
        m_text = Gbk(utf8);
        IncomingFacts facts;
        facts.group = true;
        facts.content = m_text;
        facts.own_nickname = m_name;
        facts.own_group_name = m_card_set ? std::string_view(m_card) : std::string_view();
        facts.robot_name = "Zelmo";
        return QuestionFor(facts, m_settings);
    }
    std::optional<std::string> Friend(const char* utf8, IncomingFacts facts = {}) {
        m_text = Gbk(utf8);
        facts.content = m_text;
        return QuestionFor(facts, m_settings);
    }

    config::AiSettings m_settings;
    std::string m_name;
    std::string m_card;
    bool m_card_set = false;
    std::string m_text;
};

TEST_F(AskRulesTest, GroupsAskOnlyWhenAddressedAndTheMentionIsCut) {
    // The service's U+2005 after a mention reaches here as the "?" of the conversion.
    EXPECT_EQ(Group("@小智?今天几号"), Gbk("今天几号"));
    EXPECT_EQ(Group("请问 @小智?明天呢?"), Gbk("请问 明天呢"));
    EXPECT_EQ(Group("@小智 天气"), Gbk("天气"));
    EXPECT_EQ(Group("zelmo，讲个笑话"), Gbk("讲个笑话"));
    EXPECT_EQ(Group("小智: 你好<br/>再见 &lt;3"), Gbk("你好\n再见 <3"));
    EXPECT_EQ(Group("@小智明?你好"), std::nullopt) << "another member";
    EXPECT_EQ(Group("Zelmo2 你好"), std::nullopt) << "another word";
    EXPECT_EQ(Group("大家好"), std::nullopt);
    EXPECT_EQ(Group("@小智?"), std::nullopt) << "nothing to ask";

    // With a name card, that is the name the members mention.
    m_card_set = true;
    EXPECT_EQ(Group("@群里的小智?几点了"), Gbk("几点了"));
    EXPECT_EQ(Group("@小智?几点了"), std::nullopt);

    m_settings.群 = "2";
    EXPECT_EQ(Group("大家好<span class=\"emoji emoji1f604\"></span>"), Gbk("大家好"));
    m_settings.群 = "0";
    EXPECT_EQ(Group("@群里的小智?几点了"), std::nullopt);
}

TEST_F(AskRulesTest, PrefixFriendsAndKindsDecide) {
    EXPECT_EQ(Friend("  你好  "), Gbk("你好"));
    m_settings.触发前缀 = "/ai";
    EXPECT_EQ(Friend("/AI 帮我写首诗"), Gbk("帮我写首诗"));
    EXPECT_EQ(Friend("帮我写首诗"), std::nullopt);
    EXPECT_EQ(Friend("/aid 帮我"), std::nullopt);
    EXPECT_EQ(Group("@小智? /ai 写诗"), Gbk("写诗")) << "mention first, then the prefix";
    EXPECT_EQ(Group("@小智?写诗"), std::nullopt);
    m_settings.触发前缀.clear();

    IncomingFacts facts;
    facts.typed_text = false;
    EXPECT_EQ(Friend("[图片]", facts), std::nullopt);
    facts = {};
    facts.answerable = false;
    EXPECT_EQ(Friend("撤回了一条消息", facts), std::nullopt);
    facts = {};
    facts.official_account = true;
    EXPECT_EQ(Friend("新文章", facts), std::nullopt);
    facts = {};
    facts.own_message = true;
    EXPECT_EQ(Friend("我自己说的", facts), std::nullopt);
    m_settings.好友 = false;
    EXPECT_EQ(Friend("你好"), std::nullopt);
    m_settings.好友 = true;
    m_settings.启用 = false;
    EXPECT_EQ(Friend("你好"), std::nullopt);
}

}  // namespace
}  // namespace zelmo::ai
