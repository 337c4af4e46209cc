#include <gtest/gtest.h>

#include <string>

#include "messages/Intake.h"
#include "messages/ReceivedMessage.h"
#include "platform/Encoding.h"
#include "platform/GbkLiteral.h"
#include "protocol/SyncRequests.h"
#include "sim/Answers.h"
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
    // A group picture keeps its sender in front of the label.
    EXPECT_EQ(Classify(ServiceContent(sim::MessageKind::Picture, "", member)),
              member + ":<br/>" + Gbk("[图片]"));
}

constexpr std::string_view FRIEND = "@0123456789abcdef0123456789abcdef";
constexpr std::string_view GROUP = "@@0123456789abcdef0123456789abcdef";
constexpr std::string_view MEMBER = "@aabbccddeeff00112233445566778899";
constexpr std::string_view OWN = "@fedcba9876543210fedcba9876543210";

// What the robot reads of each message of one webwxsync answer, cut as the sync loop
// cuts it: the answer is the simulated service's, in its era's layout.
std::vector<ReceivedMessage> Received(const std::vector<sim::MessageSpec>& inputs, sim::Era era) {
    sim::SyncNews news;
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        sim::MessageParties parties;
        const bool group = !inputs[i].member.empty();
        parties.from = std::string(group ? GROUP : FRIEND);
        parties.to = std::string(OWN);
        parties.member = group ? std::string(MEMBER) : std::string();
        parties.own_user_name = std::string(OWN);
        parties.card_user_name = "@00ff00ff00ff00ff00ff00ff00ff00ff";
        parties.card_nick_name = "Carol";
        parties.short_link_host = std::string(SHORT_LINK_HOST);
        parties.msg_id = std::to_string(3000000000000000001 + i);
        parties.hex_token = "0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef";
        news.messages.push_back(sim::BuildMessage(inputs[i], parties, era));
    }
    sim::SyncData data;
    data.news = &news;
    data.sync_key = {{1, 5}};
    const protocol::SyncAnswer answer = protocol::ReadSyncAnswer(sim::SyncAnswer(era, data));
    std::vector<ReceivedMessage> received;
    for (const protocol::SyncItem& item : answer.messages) {
        received.push_back(ReadMessageItem(item.text));
    }
    return received;
}

TEST(ClassifyMessageTest, KindsComeFromTheMessageTypeInEveryFormAndEra) {
    using Kind = sim::MessageKind;
    using Form = sim::MessageForm;
    struct Case {
        sim::MessageSpec wanted;
        std::string label_utf8;  // after the member's prefix in groups
        Answering answering = Answering::Chain;
    };
    const std::vector<Case> cases = {
        {{.kind = Kind::Text, .text = "天气 <b>"}, "天气 &lt;b&gt;"},
        {{.kind = Kind::Picture, .form = Form::Y2016}, "[图片]"},
        {{.kind = Kind::Picture, .form = Form::Y2017}, "[图片]"},
        {{.kind = Kind::Picture, .form = Form::Y2018}, "[图片]"},
        {{.kind = Kind::Picture, .member = "m", .form = Form::Y2017}, "[图片]"},
        {{.kind = Kind::Picture, .member = "m", .form = Form::Y2018}, "[图片]"},
        {{.kind = Kind::Voice, .form = Form::Y2016}, "[语音]"},
        {{.kind = Kind::Voice, .form = Form::Y2018}, "[语音]"},
        {{.kind = Kind::Video, .form = Form::Y2017}, "[视频]"},
        {{.kind = Kind::Video, .member = "m", .form = Form::Y2018}, "[视频]"},
        {{.kind = Kind::Sticker, .member = "m"}, "[表情]"},
        {{.kind = Kind::App, .text = "天气 文章", .url = "https://a.example/", .form = Form::Y2016},
         "[应用消息]"},
        {{.kind = Kind::App, .text = "天气 文章", .url = "https://a.example/", .form = Form::Y2017},
         "[应用消息]"},
        {{.kind = Kind::App, .text = "天气 文章", .url = "https://a.example/", .form = Form::Y2018},
         "[应用消息]"},
        {{.kind = Kind::File, .text = "天气.pdf", .form = Form::Y2017}, "[应用消息]"},
        {{.kind = Kind::File, .text = "天气.pdf", .form = Form::Y2018}, "[应用消息]"},
        {{.kind = Kind::Article, .text = "今日 天气"}, "[图文]"},
        {{.kind = Kind::Card, .member = "m"}, "[名片]"},
        {{.kind = Kind::Location, .text = "深圳市 南山区", .form = Form::Y2016},
         "[地理位置]深圳市 南山区"},
        {{.kind = Kind::Location, .member = "m", .text = "北京?海淀", .form = Form::Y2018},
         "[地理位置]北京?海淀"},
        {{.kind = Kind::VerifyRequest, .text = "我是你的同学"},
         "[好友请求]Carol",
         Answering::Never},
        {{.kind = Kind::Recall}, "\"Carol\" 撤回了一条消息", Answering::Never},
        {{.kind = Kind::Recall, .member = "m"}, "\"Carol\" 撤回了一条消息", Answering::Never},
        {{.kind = Kind::StatusNotify}, "[会话]", Answering::Never},
        {{.kind = Kind::SystemNotice, .notice = "invite", .actor = "A", .target = "B"},
         "\"A\"邀请\"B\"加入了群聊",
         Answering::GroupEventsOnly},
    };
    std::vector<sim::MessageSpec> inputs;
    for (const Case& c : cases) {
        inputs.push_back(c.wanted);
    }
    for (const sim::Era era : {sim::Era::Early2016, sim::Era::Late2018}) {
        const std::vector<ReceivedMessage> received = Received(inputs, era);
        ASSERT_EQ(received.size(), cases.size());
        for (std::size_t i = 0; i < cases.size(); ++i) {
            const Classified classified = ClassifyMessage(received[i], SHORT_LINK_HOST);
            const std::string prefix =
                cases[i].wanted.member.empty() ? "" : std::string(MEMBER) + ":<br/>";
            EXPECT_EQ(classified.content, prefix + Gbk(cases[i].label_utf8)) << "case " << i;
            EXPECT_EQ(classified.answering, cases[i].answering) << "case " << i;
            EXPECT_EQ(received[i].MsgId, std::to_string(3000000000000000001 + i));
        }
    }
}

TEST(ClassifyMessageTest, TheItemIsReadFromItsOwnIdOn) {
    const std::vector<ReceivedMessage> received = Received(
        {{.kind = sim::MessageKind::File, .text = "报告.pdf", .form = sim::MessageForm::Y2018},
         {.kind = sim::MessageKind::VerifyRequest, .text = "hi"},
         {.kind = sim::MessageKind::Location, .text = "x", .form = sim::MessageForm::Y2018}},
        sim::Era::Late2018);
    ASSERT_EQ(received.size(), 3u);
    EXPECT_EQ(received[0].FromUserName, FRIEND);
    EXPECT_EQ(received[0].ToUserName, OWN);
    EXPECT_EQ(received[0].MsgType, 49);
    EXPECT_EQ(received[0].AppMsgType, 6);
    EXPECT_EQ(received[0].FileName, Gbk("报告.pdf"));
    EXPECT_EQ(received[0].RecommendUserName, "");
    // The second item begins inside the first message, whose last key is a file name.
    EXPECT_EQ(received[1].MsgType, 37);
    EXPECT_EQ(received[1].FileName, "");
    EXPECT_EQ(received[1].RecommendUserName, "@00ff00ff00ff00ff00ff00ff00ff00ff");
    EXPECT_EQ(received[1].RecommendNickName, "Carol");
    EXPECT_EQ(received[2].MsgType, 1);
    EXPECT_EQ(received[2].Url.substr(0, 22), "http://apis.map.qq.com");
    // The whole item is read, the keys behind RecommendInfo too.
    EXPECT_EQ(received[2].SubMsgType, 48);

    // Any bytes give something bounded.
    const ReceivedMessage broken = ReadMessageItem(
        "{\"MsgId\": \"1\", \"MsgType\": 99999999999,"
        " \"Content\": \"unterminated");
    EXPECT_EQ(broken.MsgId, "1");
    EXPECT_EQ(broken.MsgType, 0);
    EXPECT_EQ(broken.Content, "");
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
