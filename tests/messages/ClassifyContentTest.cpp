#include <gtest/gtest.h>

#include <string>

#include "messages/Intake.h"
#include "platform/Encoding.h"
#include "platform/GbkLiteral.h"
#include "sim/MessageContent.h"

namespace zelmo::messages {
namespace {

using platform::Gbk;

constexpr std::string_view SHORT_LINK_HOST = "url.cn";

// The content the simulated service sends for a message of this kind (GBK).
std::string ServiceContent(sim::MessageKind kind, std::string_view text = "",
                           std::string_view member = "", sim::Era era = sim::Era::Early2016) {
    sim::MessageSpec message;
    message.kind = kind;
    message.text = std::string(text);
    message.url = "https://mp.example/s?id=1";
    sim::MessageParties parties;
    const bool group = !member.empty();
    parties.from =
        group ? "@@0123456789abcdef0123456789abcdef" : "@0123456789abcdef0123456789abcdef";
    parties.to = "@fedcba9876543210fedcba9876543210";
    parties.member = std::string(member);
    parties.own_user_name = parties.to;
    parties.card_user_name = "@00ff00ff00ff00ff00ff00ff00ff00ff";
    parties.card_nick_name = "Carol";
    parties.short_link_host = std::string(SHORT_LINK_HOST);
    parties.msg_id = "3000000000000000001";
    parties.hex_token = "0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef";
    return platform::Utf8ToGbk(sim::BuildMessage(message, parties, era).content);
}

std::string Classify(std::string_view content) {
    return ClassifyContent(content, SHORT_LINK_HOST);
}

TEST(ClassifyContentTest, EveryMediaKindTheServiceSendsGetsItsLabel) {
    EXPECT_EQ(Classify(ServiceContent(sim::MessageKind::StatusNotify)), Gbk("[会话]"));
    EXPECT_EQ(Classify(ServiceContent(sim::MessageKind::Picture)), Gbk("[图片]"));
    EXPECT_EQ(Classify(ServiceContent(sim::MessageKind::Sticker)), Gbk("[表情]"));
    EXPECT_EQ(Classify(ServiceContent(sim::MessageKind::Voice)), Gbk("[语音]"));
    EXPECT_EQ(Classify(ServiceContent(sim::MessageKind::Video)), Gbk("[视频]"));
    EXPECT_EQ(Classify(ServiceContent(sim::MessageKind::App, "标题")), Gbk("[应用消息]"));
    EXPECT_EQ(Classify(ServiceContent(sim::MessageKind::File, "a.doc")), Gbk("[应用消息]"));
    EXPECT_EQ(Classify(ServiceContent(sim::MessageKind::Article, "文章")), Gbk("[图文]"));
    EXPECT_EQ(Classify(ServiceContent(sim::MessageKind::Card)), Gbk("[名片]"));
    EXPECT_EQ(Classify(ServiceContent(sim::MessageKind::Location, "深圳市福田区")),
              Gbk("[地理位置]深圳市福田区"));
}

TEST(ClassifyContentTest, TextsAndUnlabelledKindsStayAsTheyAre) {
    for (const sim::MessageKind kind :
         {sim::MessageKind::Text, sim::MessageKind::Recall, sim::MessageKind::VerifyRequest}) {
        const std::string content = ServiceContent(kind, "你好 <b>&");
        EXPECT_EQ(Classify(content), content);
    }
    // The later service's opaque media tokens carry no marker.
    const std::string token = ServiceContent(sim::MessageKind::Picture, "", "", sim::Era::Late2018);
    EXPECT_EQ(Classify(token), token);
}

TEST(ClassifyContentTest, TheFirstMatchingRowDecidesAndMarkersAreCaseSensitive) {
    // A picture whose attributes happen to mention a category is still a picture.
    EXPECT_EQ(Classify("&lt;msg&gt;&lt;img x=\"&lt;category\"/&gt;"), Gbk("[图片]"));
    EXPECT_EQ(Classify("&lt;msg&gt;<br/>&lt;op id='4'&gt;&lt;msg&gt;&lt;img"), Gbk("[会话]"));
    EXPECT_EQ(Classify("&lt;MSG&gt;&lt;IMG"), "&lt;MSG&gt;&lt;IMG");
    // The session row needs the blank after "op".
    EXPECT_EQ(Classify("&lt;msg&gt;<br/>&lt;opx"), "&lt;msg&gt;<br/>&lt;opx");
}

TEST(ClassifyContentTest, ALocationNeedsBothTheBreakAndThePlainHttpShortLink) {
    const std::string place = Gbk("南山");
    EXPECT_EQ(Classify(place + ":<br/>/cgi-bin/x?url=http://url.cn/abc"),
              Gbk("[地理位置]") + place);
    // A friend's text with ":<br/>" in it and no short link stays a text.
    const std::string lines = Gbk("注意:<br/>明天开会");
    EXPECT_EQ(Classify(lines), lines);
    for (const std::string& other :
         {place + ":<br/>https://url.cn/abc", place + ":<br/>http://example.cn/abc",
          place + " http://url.cn/abc"}) {
        EXPECT_EQ(Classify(other), other);
    }
    // The host comes from the service profile; without one nothing is a location.
    EXPECT_EQ(ClassifyContent(place + ":<br/>http://t.example/abc", "t.example"),
              Gbk("[地理位置]") + place);
    EXPECT_EQ(ClassifyContent(place + ":<br/>http://url.cn/abc", ""),
              place + ":<br/>http://url.cn/abc");
}

TEST(ClassifyContentTest, AGroupLocationKeepsItsSenderAndNamesThePlace) {
    const std::string member = "@aabbccddeeff00112233445566778899";
    const std::string content = ServiceContent(sim::MessageKind::Location, "福田", member);
    ASSERT_TRUE(content.starts_with(member + ":<br/>"));
    const std::string labelled = Classify(content);
    EXPECT_EQ(labelled, member + ":<br/>" + Gbk("[地理位置]福田"));
    const ChatParts parts = SplitChat("@@group", labelled);
    EXPECT_EQ(parts.group_sender, member);
    EXPECT_EQ(parts.content, Gbk("[地理位置]福田"));
    // A group picture loses its sender with the rest of the markup.
    EXPECT_EQ(Classify(ServiceContent(sim::MessageKind::Picture, "", member)), Gbk("[图片]"));
}

TEST(IsInCommaListTest, PiecesMatchWholeAndByteForByte) {
    EXPECT_TRUE(IsInCommaList("123", "123"));
    EXPECT_TRUE(IsInCommaList("5,123,77", "123"));
    EXPECT_TRUE(IsInCommaList("5,123", "123"));
    EXPECT_FALSE(IsInCommaList("5,1234", "123"));
    EXPECT_FALSE(IsInCommaList("5,12", "123"));
    // A blank stays part of its piece.
    EXPECT_FALSE(IsInCommaList("5, 123", "123"));
    EXPECT_TRUE(IsInCommaList("5, 123", " 123"));
    EXPECT_FALSE(IsInCommaList("", "123"));
    EXPECT_FALSE(IsInCommaList("5,,6", ""));
    EXPECT_FALSE(IsInCommaList(",", ""));
}

TEST(SplitChatTest, GroupTextsSplitAtTheFirstBreakFriendTextsStayWhole) {
    const std::string text = Gbk("大家好:<br/>第二行");
    const ChatParts group = SplitChat("@@abc", "@member1:<br/>" + text);
    EXPECT_EQ(group.chat_type, CHAT_GROUP);
    EXPECT_EQ(group.group_sender, "@member1");
    EXPECT_EQ(group.content, text);

    const ChatParts friend_chat = SplitChat("@abc", "@member1:<br/>" + text);
    EXPECT_EQ(friend_chat.chat_type, CHAT_FRIEND);
    EXPECT_EQ(friend_chat.group_sender, "");
    EXPECT_EQ(friend_chat.content, "@member1:<br/>" + text);

    const ChatParts labelled = SplitChat("@@abc", Gbk("[图片]"));
    EXPECT_EQ(labelled.chat_type, CHAT_GROUP);
    EXPECT_EQ(labelled.group_sender, "");
    EXPECT_EQ(labelled.content, Gbk("[图片]"));
}

}  // namespace
}  // namespace zelmo::messages
