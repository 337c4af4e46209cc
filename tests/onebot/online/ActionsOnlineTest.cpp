// Actions against a logged-in robot and the simulator: what the robot knows, texts that go
// out through its paced sender as webwxsendmsg, and the service's refusals as 34xxx codes.
#include <gtest/gtest.h>

#include <algorithm>
#include <future>
#include <map>
#include <nlohmann/json.hpp>

#include "contacts/ContactKeys.h"
#include "onebot/OneBotService.h"
#include "platform/Base64.h"
#include "platform/Encoding.h"
#include "platform/Files.h"
#include "platform/GbkLiteral.h"
#include "platform/Sha256.h"
#include "protocol/RevokeRequest.h"
#include "support/ChildProcess.h"
#include "support/OnlineRobot.h"
#include "support/WsPeer.h"

namespace zelmo::test {
namespace {

using nlohmann::json;
constexpr auto WAIT = std::chrono::seconds(20);

constexpr std::string_view SCENARIO = R"({
  "account": {"Uin": 2100000001, "NickName": "Zelmo Demo", "Sex": 1},
  "friends": [{"id": "alice", "NickName": "Alice", "Sex": 2, "RemarkName": "阿丽"},
              {"id": "bob", "NickName": "Bob", "Sex": 1}],
  "public_accounts": [{"id": "news", "NickName": "Daily News", "VerifyFlag": 24}],
  "groups": [{"id": "team", "NickName": "Team",
              "members": ["alice", {"id": "carol", "NickName": "Carol", "DisplayName": "卡罗"}]}]
})";

// The robot's own OneBot service, as its settings start it: a forward WebSocket on a port of
// the system's choice; a connected framework answers alone.
class ActionsOnlineTest : public ::testing::Test {
protected:
    void SetUp() override {
        OnlineRobot::Options options;
        options.scenario_json = std::string(SCENARIO);
        options.synccheck_hold_ms = 200;
        options.rename_at_login = true;
        options.prepare = [](const std::string& account_dir) {
            platform::WriteFileAtomic(account_dir + "/config/mzset.ini",
                                      platform::Gbk("[OneBot]\r\n启用=1\r\nWS地址=127.0.0.1:0\r\n"
                                                    "心跳间隔=0\r\n接管回复=1\r\n"));
        };
        online = std::make_unique<OnlineRobot>(options);
        ASSERT_EQ(online->Start(), "");
        service = online->Robot().OneBot();
        ASSERT_NE(service, nullptr);
        const std::vector<onebot::ListenerReport> listeners = service->Listeners();
        ASSERT_EQ(listeners.size(), 1U);
        port = listeners[0].port;
        ASSERT_EQ(client.Connect(port, "/"), "");
        ASSERT_TRUE(client.Receive(WAIT));  // meta.connect
        // The members of the group come with a fetch of their own after the start-up.
        ASSERT_TRUE(online->Sim().WaitForRequest("webwxbatchgetcontact", WAIT));
    }

    json Call(std::string_view action, const json& params = json::object()) {
        const json request = {{"action", action}, {"params", params}, {"echo", ++echo}};
        client.SendText(request.dump());
        const std::optional<std::string> answer = client.ReceiveResponse(WAIT);
        if (!answer) {
            return {{"retcode", -1}};
        }
        json response = json::parse(*answer);
        EXPECT_EQ(response["echo"], echo);
        return response;
    }

    // The id frameworks see for a contact of the scenario: its key.
    std::string Id(std::string_view who) {
        return online->Robot().Keys().KeyOf(online->Sim().UserNameOf(who));
    }

    // The group's members, once the robot's own fetch of them has landed in its store and
    // given them their keys.
    json Members() {
        const auto keyed = [](const json& members) {
            return members.size() == 2 &&
                   std::all_of(members.begin(), members.end(), [](const json& member) {
                       return contacts::IsContactKey(member["user_id"].get<std::string>());
                   });
        };
        json members;
        for (int tries = 0; tries < 500 && !keyed(members); ++tries) {
            members = Call("get_group_member_list", {{"group_id", Id("team")}})["data"];
        }
        return members;
    }

    // The next event of this type and detail type; null when none came in time.
    json NextEvent(std::string_view type, std::string_view detail_type) {
        while (const std::optional<std::string> frame = client.Receive(WAIT)) {
            json event = json::parse(*frame);
            if (event["type"] == type && event["detail_type"] == detail_type) {
                return event;
            }
        }
        return nullptr;
    }

    std::unique_ptr<OnlineRobot> online;
    onebot::OneBotService* service = nullptr;
    WsPeer client;
    int port = 0;
    int echo = 0;
};

TEST_F(ActionsOnlineTest, TheRobotsAccountFriendsGroupsAndMembersAsTheServiceGaveThem) {
    const json self = Call("get_self_info")["data"];
    EXPECT_TRUE(contacts::IsContactKey(self["user_id"].get<std::string>())) << self;
    EXPECT_EQ(self["user_id"], Id("self"));
    EXPECT_EQ(self["user_name"], "Zelmo Demo");
    EXPECT_EQ(self["user_displayname"], "");

    const json friends = Call("get_friend_list")["data"];
    std::map<std::string, json> by_id;
    for (const json& person : friends) {
        by_id[person["user_id"]] = person;
    }
    EXPECT_EQ(by_id.size(), 2U);  // no group, no official account, not the robot
    EXPECT_EQ(by_id[Id("alice")]["user_name"], "Alice");
    EXPECT_EQ(by_id[Id("alice")]["user_remark"], "阿丽");
    EXPECT_EQ(Call("get_user_info", {{"user_id", Id("bob")}})["data"], by_id[Id("bob")]);
    EXPECT_EQ(Call("get_user_info", {{"user_id", Id("team")}})["retcode"], 35003);

    EXPECT_EQ(Call("get_group_list")["data"],
              json::array({{{"group_id", Id("team")}, {"group_name", "Team"}}}));
    ASSERT_EQ(Members().size(), 2U);
    const json carol =
        Call("get_group_member_info", {{"group_id", Id("team")}, {"user_id", Id("carol")}});
    EXPECT_EQ(
        carol["data"],
        json({{"user_id", Id("carol")}, {"user_name", "Carol"}, {"user_displayname", "卡罗"}}));
    EXPECT_EQ(Call("wx.get_contact_key",
                   {{"username", online->Sim().UserNameOf("carol")}})["data"]["user_id"],
              Id("carol"));
    const json status = Call("get_status")["data"];
    EXPECT_EQ(status["good"], true);
    EXPECT_EQ(status["bots"][0]["online"], true);

    // A friend added and one deleted, as the service's contact changes tell them.
    sim::ContactSpec dave;
    dave.id = "dave";
    dave.nick_name = "Dave";
    online->Sim().ChangeContact(dave);
    const json added = NextEvent("notice", "friend_increase");
    EXPECT_TRUE(contacts::IsContactKey(added["user_id"].get<std::string>())) << added;
    EXPECT_EQ(added["user_id"], Id("dave"));
    const std::string bob = Id("bob");
    online->Sim().DeleteContact("bob");
    EXPECT_EQ(NextEvent("notice", "friend_decrease")["user_id"], bob);
}

TEST_F(ActionsOnlineTest, TextsGoOutThroughThePacedSenderAsWebwxsendmsg) {
    sim::Simulator& sim = online->Sim();
    const json sent =
        Call("send_message",
             {{"detail_type", "private"}, {"user_id", Id("alice")}, {"message", "第一条\n两行"}});
    ASSERT_EQ(sent["retcode"], 0) << sent.dump();
    EXPECT_TRUE(sent["data"]["time"].is_number_float());
    ASSERT_TRUE(sim.WaitForSentMessages(1, WAIT));
    EXPECT_EQ(sim.SentMessages()[0].to, sim.UserNameOf("alice"));
    EXPECT_EQ(sim.SentMessages()[0].content, "第一条\n两行");
    EXPECT_EQ(sent["data"]["message_id"], sim.SentMessages()[0].msg_id);

    // Segments: a mention by the name the group sees, everyone, a quote of the first text;
    // the service's own separator after each mention.
    ASSERT_EQ(Members().size(), 2U);
    const json group = Call(
        "send_message",
        {{"detail_type", "group"},
         {"group_id", Id("team")},
         {"message",
          json::array({{{"type", "reply"}, {"data", {{"message_id", sent["data"]["message_id"]}}}},
                       {{"type", "mention"}, {"data", {{"user_id", Id("carol")}}}},
                       {{"type", "text"}, {"data", {{"text", "看这里"}}}},
                       {{"type", "mention_all"}, {"data", json::object()}}})}});
    ASSERT_EQ(group["retcode"], 0) << group.dump();
    ASSERT_TRUE(sim.WaitForSentMessages(2, WAIT));
    EXPECT_EQ(sim.SentMessages()[1].to, sim.UserNameOf("team"));
    EXPECT_EQ(sim.SentMessages()[1].content,
              "「Zelmo Demo：第一条\n两行」\n- - - - - - - - - - - - - - -\n"
              "@卡罗\u2005看这里@所有人\u2005");

    const auto retcode = [&](const json& message) {
        return Call("send_message", {{"detail_type", "private"},
                                     {"user_id", Id("alice")},
                                     {"message", message}})["retcode"];
    };
    EXPECT_EQ(retcode({{"type", "voice"}, {"data", {{"file_id", "x"}}}}), 10005);
    EXPECT_EQ(retcode({{"type", "text"}, {"data", {{"txt", "x"}}}}), 10006);
    EXPECT_EQ(retcode(42), 10003);
    EXPECT_EQ(retcode(json::array({{{"type", "reply"}, {"data", {{"message_id", "nope"}}}}})),
              35001);
    EXPECT_EQ(
        Call("send_message",
             {{"detail_type", "group"}, {"group_id", Id("alice")}, {"message", "x"}})["retcode"],
        35003);
    EXPECT_EQ(Call("send_message", {{"detail_type", "channel"}, {"message", "x"}})["retcode"],
              10004);
    EXPECT_EQ(sim.SentMessages().size(), 2U);

    EXPECT_EQ(Call("wx.set_remark", {{"user_id", Id("bob")}, {"remark", "老 \"B\""}})["retcode"],
              0);
    bool remark_sent = false;
    for (const sim::RecordedRequest& request : sim.Requests()) {
        remark_sent = remark_sent || (request.path.find("webwxoplog") != std::string::npos &&
                                      json::parse(request.body)["RemarkName"] == "老 \"B\"");
    }
    EXPECT_TRUE(remark_sent);
}

TEST_F(ActionsOnlineTest, RefusalsOfTheServiceAndALoggedOutRobotAnswer34xxxAndSendNothing) {
    sim::Simulator& sim = online->Sim();
    const json text = {{"detail_type", "private"}, {"user_id", Id("bob")}, {"message", "hi"}};
    sim.RefuseSends(1204, 1);
    const json refused = Call("send_message", text);
    EXPECT_EQ(refused["retcode"], 34001);
    EXPECT_NE(refused["message"].get<std::string>().find("1204"), std::string::npos);
    sim.RefuseSends(1205, -1);
    EXPECT_EQ(Call("send_message", text)["retcode"], 34003);
    sim.RefuseSends(0, 0);
    EXPECT_TRUE(sim.SentMessages().empty());

    // A text waits for a logged-out robot a bounded time, then fails unsent. (The robot's own
    // state is the heartbeat's to set: the outbox watches one that stays logged out.)
    app::Robot& robot = online->Robot();
    protocol::Connection logged_out;
    logged_out.Set(protocol::STATE_OFFLINE);
    onebot::Outbox outbox(robot.Sender(), logged_out, robot.Settings(), robot.Clock(),
                          onebot::OUTBOX_CAPACITY, 100);
    std::promise<onebot::SendOutcome> outcome;
    ASSERT_TRUE(outbox.Post(sim.UserNameOf("bob"), "later",
                            [&](const onebot::SendOutcome& result) { outcome.set_value(result); }));
    std::future<onebot::SendOutcome> ended = outcome.get_future();
    ASSERT_EQ(ended.wait_for(WAIT), std::future_status::ready);
    EXPECT_EQ(ended.get().retcode, 34002);
    EXPECT_EQ(Call("send_message", text)["retcode"], 0);
    ASSERT_TRUE(sim.WaitForSentMessages(1, WAIT));
    EXPECT_EQ(sim.SentMessages().size(), 1U);
}

// A file a framework kept goes out under its own name, not the id it is kept under; a text
// and a picture in one message are two sends, in order, recalled together; a received
// picture comes with an id get_file serves its bytes under.
TEST_F(ActionsOnlineTest, PicturesAndFilesGoOutUnderTheirNamesAndReceivedOnesComeByGetFile) {
    sim::Simulator& sim = online->Sim();
    const auto upload = [&](std::string_view name, std::string_view bytes) {
        const json kept =
            Call("upload_file",
                 {{"type", "data"}, {"name", name}, {"data", platform::Base64Encode(bytes)}});
        EXPECT_EQ(kept["retcode"], 0) << kept;
        return kept["data"]["file_id"].get<std::string>();
    };
    const auto send = [&](const json& message) {
        return Call("send_message",
                    {{"detail_type", "private"}, {"user_id", Id("alice")}, {"message", message}});
    };
    const std::string picture(3000, 'p');
    const json both = send(
        json::array({{{"type", "text"}, {"data", {{"text", "看"}}}},
                     {{"type", "image"}, {"data", {{"file_id", upload("猫.png", picture)}}}}}));
    ASSERT_EQ(both["retcode"], 0) << both;
    ASSERT_TRUE(sim.WaitForSentMessages(1, WAIT));
    ASSERT_TRUE(sim.WaitForMediaSends(1, WAIT));
    EXPECT_EQ(sim.SentMessages()[0].content, "看");
    EXPECT_EQ(both["data"]["message_id"], sim.SentMessages()[0].msg_id);
    const sim::MediaSendRecord image = sim.MediaSends()[0];
    EXPECT_EQ(image.endpoint, "webwxsendmsgimg");
    EXPECT_EQ(image.to, sim.UserNameOf("alice"));
    EXPECT_EQ(image.file_name, "猫.png");
    EXPECT_EQ(sim.UploadedBytes(image.media_id), picture);
    EXPECT_EQ(Call("delete_message", {{"message_id", both["data"]["message_id"]}})["retcode"], 0);
    EXPECT_TRUE(sim.SentMessages()[0].revoked);
    EXPECT_TRUE(sim.MediaSends()[0].revoked);

    ASSERT_EQ(send({{"type", "file"},
                    {"data", {{"file_id", upload("报告.pdf", "%PDF-1.4")}}}})["retcode"],
              0);
    ASSERT_TRUE(sim.WaitForMediaSends(2, WAIT));
    EXPECT_EQ(sim.MediaSends()[1].endpoint, "webwxsendappmsg");
    EXPECT_NE(sim.MediaSends()[1].content.find("<title>报告.pdf</title>"), std::string::npos)
        << sim.MediaSends()[1].content;

    // An id nobody gave: nothing goes out, the text before it neither.
    const std::string unknown(32, 'a');
    EXPECT_EQ(send(json::array({{{"type", "text"}, {"data", {{"text", "x"}}}},
                                {{"type", "image"}, {"data", {{"file_id", unknown}}}}}))["retcode"],
              35007);
    EXPECT_EQ(Call("get_file", {{"file_id", unknown}, {"type", "data"}})["retcode"], 35007);
    EXPECT_EQ(sim.SentMessages().size(), 1U);
    EXPECT_EQ(sim.MediaSends().size(), 2U);

    sim::MessageSpec received;
    received.kind = sim::MessageKind::Picture;
    received.from = "alice";
    sim.DeliverMessage(received);
    const json event = NextEvent("message", "private");
    ASSERT_TRUE(event.is_object());
    EXPECT_EQ(event["alt_message"], "[图片]");
    ASSERT_EQ(event["message"][0]["type"], "image") << event;
    const json file =
        Call("get_file", {{"file_id", event["message"][0]["data"]["file_id"]}, {"type", "data"}});
    ASSERT_EQ(file["retcode"], 0) << file;
    const std::string bytes = sim.MediaOf(event["message_id"].get<std::string>());
    ASSERT_FALSE(bytes.empty());
    EXPECT_EQ(platform::Base64Decode(file["data"]["data"].get<std::string>()), bytes);
    EXPECT_EQ(file["data"]["sha256"], platform::Sha256Hex(bytes));

    // Videos are not kept by default (媒体下载=1): a code, not a wait or a crash.
    received.kind = sim::MessageKind::Video;
    sim.DeliverMessage(received);
    const json video = NextEvent("message", "private");
    ASSERT_EQ(video["message"][0]["type"], "video") << video;
    EXPECT_EQ(Call("get_file", {{"file_id", video["message"][0]["data"]["file_id"]},
                                {"type", "path"}})["retcode"],
              35008);
    EXPECT_EQ(send({{"type", "image"}, {"data", {{"file_id", upload("空.png", "")}}}})["retcode"],
              32005);
    EXPECT_TRUE(sim.Violations().empty());
}

// 接管回复=1: while a framework is connected only it answers; once none is, the robot's own
// knowledge base answers again.
TEST_F(ActionsOnlineTest, TheExampleClientAnswersAFriendsPingWithPongAndTheRobotStaysQuiet) {
    sim::Simulator& sim = online->Sim();
    online->Robot().Knowledge().LearnPair("ping", "the robot's own answer");
    const std::string errors = online->DataRoot() + "/example.err";
    auto example = std::make_unique<ChildProcess>(
        std::vector<std::string>{"/usr/bin/python3",
                                 std::string(ZELMO_SOURCE_DIR) + "/examples/onebot/ping_pong.py",
                                 "ws://127.0.0.1:" + std::to_string(port) + "/"},
        std::vector<std::string>{}, errors);
    std::size_t next = 0;
    ASSERT_TRUE(example->WaitForLine(&next, "connected", WAIT)) << platform::ReadFile(errors);
    sim::MessageSpec ping;
    ping.from = "alice";
    ping.text = "ping";
    sim.DeliverMessage(ping);
    ASSERT_TRUE(example->WaitForLine(&next, "-> pong", WAIT));
    ASSERT_TRUE(sim.WaitForSentMessages(1, WAIT));
    EXPECT_EQ(sim.SentMessages()[0].to, sim.UserNameOf("alice"));
    EXPECT_EQ(sim.SentMessages()[0].content, "pong");
    // A picture comes back by its file_id.
    sim::MessageSpec picture;
    picture.from = "alice";
    picture.kind = sim::MessageKind::Picture;
    sim.DeliverMessage(picture);
    ASSERT_TRUE(example->WaitForLine(&next, "-> sent back", WAIT));
    ASSERT_TRUE(sim.WaitForMediaSends(1, WAIT));
    EXPECT_EQ(sim.MediaSends()[0].endpoint, "webwxsendmsgimg");
    EXPECT_EQ(sim.MediaSends()[0].to, sim.UserNameOf("alice"));

    example.reset();
    client.Close();
    const std::string closed = platform::Gbk("连接已断开");
    ASSERT_TRUE(online->Screen().WaitUntil(
        [&](const std::vector<StubScreen::Call>& calls) {
            return std::count_if(calls.begin(), calls.end(), [&](const StubScreen::Call& call) {
                       return call.name == "LogEvent" &&
                              call.text.find(closed) != std::string::npos;
                   }) == 2;
        },
        WAIT));
    sim.DeliverMessage(ping);
    ASSERT_TRUE(sim.WaitForSentMessages(3, WAIT));
    EXPECT_EQ(sim.SentMessages()[2].content, "the robot's own answer");
    EXPECT_EQ(sim.SentMessages().size(), 3U);
}

// The service names everyone anew at a re-login: the frameworks' ids stay, a message of
// the same friend carries the same id, and a text sent before is recalled under the chat's
// new name with the ids the service gave it.
TEST_F(ActionsOnlineTest, IdsStayAcrossAReloginThatRenamesEveryoneAndARecallFindsTheChat) {
    sim::Simulator& sim = online->Sim();
    ASSERT_EQ(Members().size(), 2U);
    const json self = Call("get_self_info")["data"]["user_id"];
    const json friends = Call("get_friend_list")["data"];
    const json groups = Call("get_group_list")["data"];
    const json members = Members();
    const json sent =
        Call("send_message",
             {{"detail_type", "private"}, {"user_id", Id("alice")}, {"message", "oops"}});
    ASSERT_EQ(sent["retcode"], 0) << sent;
    const std::string alice_before = sim.UserNameOf("alice");
    const std::string alice = Id("alice");

    sim.EndSession(1101);
    const json offline = NextEvent("meta", "status_update");
    EXPECT_EQ(offline["status"]["bots"][0]["online"], false) << offline;
    const json back = NextEvent("meta", "status_update");
    EXPECT_EQ(back["status"]["bots"][0]["online"], true) << back;
    ASSERT_NE(sim.UserNameOf("alice"), alice_before);

    EXPECT_EQ(Call("get_self_info")["data"]["user_id"], self);
    EXPECT_EQ(Call("get_friend_list")["data"], friends);
    EXPECT_EQ(Call("get_group_list")["data"], groups);
    EXPECT_EQ(Members(), members);
    sim::MessageSpec text;
    text.from = "alice";
    text.text = "back again";
    sim.DeliverMessage(text);
    const json event = NextEvent("message", "private");
    EXPECT_EQ(event["user_id"], alice);
    EXPECT_EQ(Id("alice"), alice);
    EXPECT_EQ(event["self"]["user_id"], self);

    EXPECT_EQ(Call("delete_message", {{"message_id", sent["data"]["message_id"]}})["retcode"], 0);
    const sim::SentMessage recalled = sim.SentMessages().at(0);
    EXPECT_TRUE(recalled.revoked);
    const std::vector<sim::RecordedRequest> requests = sim.Requests();
    const auto revoke = std::find_if(requests.begin(), requests.end(), [](const auto& request) {
        return request.path.find("webwxrevokemsg") != std::string::npos;
    });
    ASSERT_NE(revoke, requests.end());
    const json body = json::parse(revoke->body);
    EXPECT_EQ(body["ToUserName"], sim.UserNameOf("alice"));
    EXPECT_EQ(body["SvrMsgId"], recalled.msg_id);
    EXPECT_EQ(body["ClientMsgId"], recalled.local_id);
    // Once only.
    EXPECT_EQ(Call("delete_message", {{"message_id", sent["data"]["message_id"]}})["retcode"],
              34004);
    EXPECT_TRUE(sim.Violations().empty());
}

}  // namespace
}  // namespace zelmo::test
