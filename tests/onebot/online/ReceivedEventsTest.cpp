// What the simulator delivers becomes OneBot events on a connected client: the service's
// own items, read from a real webwxsync answer, through the service's event path.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "../OneBotRig.h"
#include "platform/GbkLiteral.h"
#include "protocol/SyncAnswer.h"
#include "protocol/Templates.h"
#include "support/SimSession.h"
#include "support/WsPeer.h"

namespace zelmo::test {
namespace {

using nlohmann::json;
using platform::Gbk;

constexpr std::string_view SYNC_PATH =
    "/cgi-bin/mmwebwx-bin/webwxsync?sid={sid}&skey=%40{skey}&r={time}&skey=%40{skey}"
    "&pass_ticket={pass_ticket}";

class ReceivedEventsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(session.LogIn(), "");
        protocol::ProtocolState state = session.State();
        state.own.NickName = Gbk("小泽");
        config::OneBotSettings settings = RigSettings();
        settings.HTTP地址.clear();
        settings.访问令牌.clear();
        rig = std::make_unique<OneBotRig>(settings, state);
        sim::Simulator& sim = session.Sim();
        for (const sim::ContactInfo& contact : sim.Contacts()) {
            rig->contacts.AppendIfNew(
                Contact(contact.user_name, contact.nick_name, contact.is_group ? "微群" : "女"));
        }
        team = sim.UserNameOf("team");
        alice = sim.UserNameOf("alice");
        rig->contacts.SetGroupMembers(rig->contacts.FindContactIndex(team), "1", "0",
                                      {{"0", Gbk("Alice"), alice, Gbk("阿丽")}});
        ASSERT_EQ(client.Connect(rig->PortOf("WebSocket"), "/"), "");
        ASSERT_TRUE(client.Receive(WAIT));  // meta.connect
    }

    // Delivers the messages, fetches them as the heartbeat would, and hands each item on;
    // the events the client got, in order.
    std::vector<json> EventsOf(const std::vector<sim::MessageSpec>& messages) {
        for (const sim::MessageSpec& message : messages) {
            session.Sim().DeliverMessage(message);
        }
        const protocol::SyncAnswer answer =
            protocol::ReadSyncAnswer(session.PostWeb(SYNC_PATH, session.Fill(protocol::SYNC_BODY)));
        EXPECT_EQ(answer.messages.size(), messages.size());
        for (const protocol::SyncItem& item : answer.messages) {
            rig->service->OnMessageItem(item.text);
        }
        std::vector<json> events;
        while (std::optional<std::string> frame = client.Receive(std::chrono::seconds(2))) {
            events.push_back(json::parse(*frame));
        }
        return events;
    }

    static sim::MessageSpec Message(sim::MessageKind kind, std::string from, std::string text,
                                    std::string member = {}) {
        sim::MessageSpec message;
        message.kind = kind;
        message.from = std::move(from);
        message.text = std::move(text);
        message.member = std::move(member);
        return message;
    }

    interop::SimSession session{sim::Era::Early2016};
    std::unique_ptr<OneBotRig> rig;
    WsPeer client;
    std::string team;
    std::string alice;
};

TEST_F(ReceivedEventsTest, MessagesArriveWithSegmentsAltMessageAndStableIds) {
    using Kind = sim::MessageKind;
    sim::MessageSpec group_text =
        Message(Kind::Text, "team", "@小泽\u2005看看 <这个> & 那个\n好吗", "alice");
    const std::vector<json> events = EventsOf({Message(Kind::Text, "alice", "你好 😹 <b>&amp;"),
                                               group_text, Message(Kind::Picture, "alice", ""),
                                               Message(Kind::Location, "alice", "市民中心")});
    ASSERT_EQ(events.size(), 4U);

    const json& private_text = events[0];
    EXPECT_EQ(private_text["type"], "message");
    EXPECT_EQ(private_text["detail_type"], "private");
    EXPECT_EQ(private_text["sub_type"], "");
    EXPECT_EQ(private_text["user_id"], alice);
    EXPECT_EQ(private_text["self"],
              json({{"platform", "wechat"}, {"user_id", session.State().own.UserName}}));
    EXPECT_EQ(private_text["alt_message"], "你好 😹 <b>&amp;");
    EXPECT_EQ(private_text["message"],
              json::array({{{"type", "text"}, {"data", {{"text", "你好 😹 <b>&amp;"}}}}}));
    EXPECT_FALSE(private_text["message_id"].get<std::string>().empty());
    EXPECT_TRUE(private_text["time"].is_number());

    const json& group = events[1];
    EXPECT_EQ(group["detail_type"], "group");
    EXPECT_EQ(group["group_id"], team);
    EXPECT_EQ(group["user_id"], alice);
    EXPECT_EQ(group["message"][0],
              json({{"type", "mention"}, {"data", {{"user_id", session.State().own.UserName}}}}));
    EXPECT_EQ(group["message"][1]["data"]["text"], "看看 <这个> & 那个\n好吗");
    EXPECT_EQ(group["alt_message"], "@小泽\u2005看看 <这个> & 那个\n好吗");

    // The picture's id is known before its download: the same for the same message.
    const std::string picture_id = events[2]["message"][0]["data"]["file_id"];
    EXPECT_EQ(events[2]["message"][0]["type"], "image");
    EXPECT_EQ(picture_id.size(), 32U);
    EXPECT_EQ(picture_id, onebot::ReceivedFileId(events[2]["message_id"].get<std::string>()));
    EXPECT_EQ(events[2]["alt_message"], "[图片]");
    const json location = events[3]["message"][0];
    EXPECT_EQ(location["type"], "location");
    EXPECT_EQ(location["data"]["title"], "市民中心");
    EXPECT_NEAR(location["data"]["latitude"].get<double>(), 22.543099, 1e-9);
    EXPECT_NEAR(location["data"]["longitude"].get<double>(), 114.057868, 1e-9);
}

TEST_F(ReceivedEventsTest, RecallsRequestsAndMemberNoticesBecomeNoticeAndRequestEvents) {
    using Kind = sim::MessageKind;
    sim::MessageSpec invite = Message(Kind::SystemNotice, "team", "");
    invite.notice = "invite";
    invite.actor = "Alice";
    invite.targets = {"Dave", "Erin"};
    sim::MessageSpec removed = Message(Kind::SystemNotice, "team", "");
    removed.notice = "remove";
    removed.target = "阿丽";
    const std::vector<json> events =
        EventsOf({Message(Kind::Recall, "alice", ""),
                  Message(Kind::VerifyRequest, "alice", "我是 Zed"), invite, removed});
    ASSERT_EQ(events.size(), 5U);

    EXPECT_EQ(events[0]["type"], "notice");
    EXPECT_EQ(events[0]["detail_type"], "private_message_delete");
    EXPECT_EQ(events[0]["user_id"], alice);
    EXPECT_FALSE(events[0]["message_id"].get<std::string>().empty());

    EXPECT_EQ(events[1]["type"], "request");
    EXPECT_EQ(events[1]["detail_type"], "wx.friend_request");
    EXPECT_EQ(events[1]["wx.message"], "我是 Zed");
    EXPECT_TRUE(events[1]["wx.ticket"].get<std::string>().starts_with("v2_"));
    EXPECT_EQ(events[1]["wx.user_name"], events[1]["user_id"]);

    for (int i : {2, 3}) {
        EXPECT_EQ(events[i]["detail_type"], "group_member_increase");
        EXPECT_EQ(events[i]["sub_type"], "invite");
        EXPECT_EQ(events[i]["group_id"], team);
        EXPECT_EQ(events[i]["operator_id"], alice);
    }
    EXPECT_EQ(events[2]["wx.user_name"], "Dave");
    EXPECT_EQ(events[3]["wx.user_name"], "Erin");
    EXPECT_EQ(events[4]["detail_type"], "group_member_decrease");
    EXPECT_EQ(events[4]["sub_type"], "kick");
    EXPECT_EQ(events[4]["user_id"], alice);  // found by the group's name card
    EXPECT_EQ(events[4]["operator_id"], session.State().own.UserName);
}

}  // namespace
}  // namespace zelmo::test
