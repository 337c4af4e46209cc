#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "sim/Answers.h"
#include "sim/LayoutJson.h"

namespace {

// Mirrors a non-greedy find-all of "A.*?B.*?C" (dot matching LF): each match starts at
// the first A, then takes the first B after it, and so on.
std::vector<std::string> FindAllChain(const std::string& text,
                                      const std::vector<std::string>& parts) {
    std::vector<std::string> matches;
    std::size_t pos = 0;
    for (;;) {
        const std::size_t start = text.find(parts[0], pos);
        if (start == std::string::npos) {
            return matches;
        }
        std::size_t at = start + parts[0].size();
        for (std::size_t i = 1; i < parts.size() && at != std::string::npos; ++i) {
            at = text.find(parts[i], at);
            if (at != std::string::npos) {
                at += parts[i].size();
            }
        }
        if (at == std::string::npos) {
            return matches;
        }
        matches.push_back(text.substr(start, at - start));
        pos = at;
    }
}

// The client's AddMsgList regex `MsgId.*?Ticket": ".*?"`.
std::vector<std::string> MessageItems(const std::string& answer) {
    const std::size_t begin = answer.find("\n\"AddMsgList\": ");
    const std::size_t end = answer.find("\"ModContactCount\": ");
    return FindAllChain(answer.substr(begin, end - begin), {"MsgId", "Ticket\": \"", "\""});
}

std::string Cut(const std::string& text, const std::string& before, const std::string& after) {
    const std::size_t p1 = text.find(before);
    if (p1 == std::string::npos) {
        return {};
    }
    const std::size_t p2 = text.find(after, p1 + before.size());
    return p2 == std::string::npos ? std::string()
                                   : text.substr(p1 + before.size(), p2 - p1 - before.size());
}

sim::MessageObject Message(const std::string& id, const std::string& from,
                           const std::string& content) {
    sim::MessageObject msg;
    msg.msg_id = id;
    msg.from = from;
    msg.to = "@self";
    msg.content = content;
    return msg;
}

}  // namespace

TEST(AnswerLayout, SmallAnswersHaveTheCapturedLengths) {
    EXPECT_EQ(sim::JsLoginAnswer("xxxxxxxxxx==").size(), 64u);
    EXPECT_EQ(sim::JsLoginAnswer("Ab3_-xyzQ0=="),
              "window.QRLogin.code = 200; window.QRLogin.uuid = \"Ab3_-xyzQ0==\";");
    EXPECT_EQ(sim::PollAnswer(408), "window.code=408;");
    const std::string redirect =
        "https://wx.qq.com/cgi-bin/mmwebwx-bin/webwxnewloginpage?ticket=" + std::string(24, 'x') +
        "@qrticket_0&uuid=xxxxxxxxxx==&lang=zh_CN&scan=1546211468";
    const std::string poll = sim::PollRedirectAnswer(redirect);
    EXPECT_EQ(poll.size(), 183u);
    EXPECT_EQ(poll.substr(0, 17), "window.code=200;\n");
    EXPECT_EQ(sim::SyncCheckAnswer("0", "0").size(), 43u);

    const std::string notify = sim::StatusNotifyAnswer(0, std::string(19, '8'));
    EXPECT_EQ(notify.size(), 80u);
    EXPECT_EQ(notify, "{\n\"BaseResponse\": {\n\"Ret\": 0,\n\"ErrMsg\": \"\"\n}\n,\n\"MsgID\": \"" +
                          std::string(19, '8') + "\"\n}\n");
    EXPECT_EQ(sim::SendMsgAnswer(0, std::string(19, '3'), std::string(17, '1')).size(), 112u);
    // Errors keep the skeleton with empty ids.
    EXPECT_NE(sim::SendMsgAnswer(1204, "123", "456").find("\"MsgID\": \"\",\n\"LocalID\": \"\""),
              std::string::npos);
    EXPECT_EQ(sim::BaseResponseAnswer(0),
              "{\n\"BaseResponse\": {\n\"Ret\": 0,\n\"ErrMsg\": \"\"\n}\n}\n");
}

TEST(AnswerLayout, RedirectXmlFollowsTheEra) {
    const std::string early =
        sim::RedirectXml(sim::Era::Early2016, "@crypt_1_2", "sid", "42", "p%2B");
    EXPECT_NE(early.find("<ret>0</ret><message>OK</message>"), std::string::npos);
    EXPECT_NE(early.find("<skey>@crypt_1_2</skey>"), std::string::npos);
    const std::string late = sim::RedirectXml(sim::Era::Late2018, "@crypt_1_2", "sid", "42", "p");
    EXPECT_NE(late.find("<message></message>"), std::string::npos);
}

TEST(AnswerLayout, WriterPlacesBracesAndCommasAsTheService) {
    sim::LayoutWriter out;
    out.BeginArray("List");
    out.NextElement();
    out.Number("Key", 1);
    out.NextElement();
    out.String("Q", "a\"b/c\\");
    out.EndArray();
    out.BeginObject("O");
    out.Number("N", -1);
    out.EndObject();
    out.EmptyArray("E");
    EXPECT_EQ(out.Finish(),
              "{\n\"List\": [{\n\"Key\": 1\n}\n,{\n\"Q\": \"a\\\"b/c\\\\\"\n}\n],\n\"O\": {\n"
              "\"N\": -1\n}\n,\n\"E\": []\n}\n");
}

TEST(AnswerLayout, ClientRegexCutsOneItemPerMessageInBothEras) {
    for (const sim::Era era : {sim::Era::Early2016, sim::Era::Late2018}) {
        sim::SyncNews news;
        news.messages.push_back(Message("1000000000000000001", "@a", "hello"));
        news.messages.push_back(Message("1000000000000000002", "@@g", "@m:<br/>group \"text\""));
        sim::MessageObject notice =
            Message("1000000000000000003", "@@g", "\"A\"邀请\"B\"加入了群聊");
        notice.msg_type = 10000;
        notice.recommend.ticket = "v2_abc@stranger";
        news.messages.push_back(notice);
        sim::SyncData data;
        data.news = &news;
        data.sync_key = {{1, 5}, {2, 6}};
        const std::string answer = sim::SyncAnswer(era, data);
        ASSERT_FALSE(nlohmann::json::parse(answer, nullptr, false).is_discarded());

        const auto items = MessageItems(answer);
        ASSERT_EQ(items.size(), 3u);
        EXPECT_EQ(Cut(items[0], "\"FromUserName\": \"", "\""), "@a");
        EXPECT_EQ(Cut(items[1], "\"Content\": \"", "\","), "@m:<br/>group \\\"text\\\"");
        EXPECT_EQ(Cut(items[2], "\"MsgId\": \"", "\""), "1000000000000000003");
        EXPECT_EQ(Cut(items[2], "\"FromUserName\": \"", "\""), "@@g");
        EXPECT_EQ(Cut(answer, "\"AddMsgCount\": ", ","), "3");
        // The first "]" after the SyncKey marker closes its list.
        EXPECT_EQ(Cut(answer, "\"SyncKey\": ", "]"),
                  "{\n\"Count\": 2,\n\"List\": [{\n\"Key\": 1,\n\"Val\": 5\n}\n,{\n\"Key\": 2,\n"
                  "\"Val\": 6\n}\n");
        EXPECT_EQ(answer.find("SyncCheckKey") != std::string::npos, era == sim::Era::Late2018);
    }
}

TEST(AnswerLayout, GroupWithMembersIsCutAsOneContact) {
    sim::ContactSpec friend_a;
    friend_a.user_name = "@a";
    friend_a.nick_name = "A]}";
    sim::ContactSpec group;
    group.user_name = "@@" + std::string(64, 'f');
    group.nick_name = "Team";
    group.is_group = true;
    group.contact_flag = 2;
    group.members = {friend_a, friend_a};
    sim::InitData data;
    data.contacts = {&group, &friend_a};
    data.account.uin = 777;
    data.account.user_name = "@self";
    data.account.sex = 1;
    data.sync_key = {{1, 1}};
    for (const sim::Era era : {sim::Era::Early2016, sim::Era::Late2018}) {
        const std::string answer = sim::InitAnswer(era, data);
        ASSERT_FALSE(nlohmann::json::parse(answer, nullptr, false).is_discarded());
        const auto contacts = FindAllChain(answer, {"Uin", "UserName", "ChatRoomId", "}"});
        // Two contacts, then the account's own "Uin" after the SyncKey never reaches a
        // ChatRoomId.
        ASSERT_EQ(contacts.size(), 2u);
        EXPECT_EQ(Cut(contacts[0], "\"UserName\": \"", "\","), group.user_name);
        EXPECT_EQ(Cut(contacts[0], "\"MemberCount\": ", ","), "2");
        EXPECT_EQ(Cut(contacts[1], "\"UserName\": \"", "\","), "@a");
        const std::string after_key = answer.substr(answer.find("\"SyncKey\": "));
        EXPECT_EQ(Cut(after_key, "Uin\": ", ","), "777");
        EXPECT_EQ(Cut(after_key, "\"UserName\": \"", "\""), "@self");
        EXPECT_EQ(Cut(after_key, "\"Sex\": ", ","), "1");
        EXPECT_NE(answer.find("\"ChatSet\": \"" + group.user_name + ",@a,\""), std::string::npos);
    }
}
