// Actions against a logged-in robot and the simulator: what the robot knows, texts that go
// out through its paced sender as webwxsendmsg, and the service's refusals as 34xxx codes.
#include <gtest/gtest.h>

#include <future>
#include <map>
#include <nlohmann/json.hpp>

#include "onebot/OneBotService.h"
#include "platform/Encoding.h"
#include "platform/Files.h"
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

class ActionsOnlineTest : public ::testing::Test {
protected:
    void SetUp() override {
        OnlineRobot::Options options;
        options.scenario_json = std::string(SCENARIO);
        options.synccheck_hold_ms = 200;
        online = std::make_unique<OnlineRobot>(options);
        ASSERT_EQ(online->Start(), "");
        app::Robot& robot = online->Robot();
        config::OneBotSettings settings;
        settings.启用 = true;
        settings.WS地址 = "127.0.0.1:0";
        settings.心跳间隔 = "0";
        service = std::make_unique<onebot::OneBotService>(
            onebot::OneBotParts{robot.Link(),
                                robot.Sessions(),
                                robot.Contacts(),
                                robot.Connection(),
                                robot.Sender(),
                                robot.ReplyGuard(),
                                robot.Settings(),
                                online->AccountDir() + "/onebot",
                                "1.0",
                                {}},
            settings);
        const std::vector<onebot::ListenerReport> reports = service->Start();
        ASSERT_EQ(reports.size(), 1U);
        port = reports[0].port;
        ASSERT_EQ(client.Connect(port, "/"), "");
        ASSERT_TRUE(client.Receive(WAIT));  // meta.connect
        // The members of the group come with a fetch of their own after the start-up.
        ASSERT_TRUE(online->Sim().WaitForRequest("webwxbatchgetcontact", WAIT));
    }
    void TearDown() override {
        online->Robot().Stop();  // the sender first: the service waits for its last text
        service.reset();
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

    std::string Id(std::string_view who) { return online->Sim().UserNameOf(who); }

    // The group's members, once the robot's own fetch of them has landed in its store.
    json Members() {
        json members;
        for (int tries = 0; tries < 500 && members.size() < 2; ++tries) {
            members = Call("get_group_member_list", {{"group_id", Id("team")}})["data"];
        }
        return members;
    }

    std::unique_ptr<OnlineRobot> online;
    std::unique_ptr<onebot::OneBotService> service;
    WsPeer client;
    int port = 0;
    int echo = 0;
};

TEST_F(ActionsOnlineTest, TheRobotsAccountFriendsGroupsAndMembersAsTheServiceGaveThem) {
    const json self = Call("get_self_info")["data"];
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
    EXPECT_EQ(Call("wx.get_contact_key", {{"username", Id("carol")}})["data"]["user_id"],
              Id("carol"));
    const json status = Call("get_status")["data"];
    EXPECT_EQ(status["good"], true);
    EXPECT_EQ(status["bots"][0]["online"], true);
}

TEST_F(ActionsOnlineTest, TextsGoOutThroughThePacedSenderAsWebwxsendmsg) {
    sim::Simulator& sim = online->Sim();
    const json sent =
        Call("send_message",
             {{"detail_type", "private"}, {"user_id", Id("alice")}, {"message", "第一条\n两行"}});
    ASSERT_EQ(sent["retcode"], 0) << sent.dump();
    EXPECT_TRUE(sent["data"]["time"].is_number_float());
    ASSERT_TRUE(sim.WaitForSentMessages(1, WAIT));
    EXPECT_EQ(sim.SentMessages()[0].to, Id("alice"));
    EXPECT_EQ(sim.SentMessages()[0].content, "第一条\n两行");

    // Segments: a mention by the name the group sees, everyone, a quote of the first text.
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
    EXPECT_EQ(sim.SentMessages()[1].to, Id("team"));
    EXPECT_EQ(sim.SentMessages()[1].content,
              "「Zelmo Demo：第一条\n两行」\n- - - - - - - - - - - - - - -\n@卡罗 看这里@所有人 ");

    const auto retcode = [&](const json& message) {
        return Call("send_message", {{"detail_type", "private"},
                                     {"user_id", Id("alice")},
                                     {"message", message}})["retcode"];
    };
    EXPECT_EQ(retcode({{"type", "image"}, {"data", {{"file_id", "x"}}}}), 10005);
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
    // This build's sender does not tell a text's MsgID, so nothing can name it to the service.
    EXPECT_EQ(Call("delete_message", {{"message_id", sent["data"]["message_id"]}})["retcode"],
              35002);
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
    ASSERT_TRUE(outbox.Post(Id("bob"), "later",
                            [&](const onebot::SendOutcome& result) { outcome.set_value(result); }));
    std::future<onebot::SendOutcome> ended = outcome.get_future();
    ASSERT_EQ(ended.wait_for(WAIT), std::future_status::ready);
    EXPECT_EQ(ended.get().retcode, 34002);
    EXPECT_EQ(Call("send_message", text)["retcode"], 0);
    ASSERT_TRUE(sim.WaitForSentMessages(1, WAIT));
    EXPECT_EQ(sim.SentMessages().size(), 1U);
}

TEST_F(ActionsOnlineTest, TheExampleClientAnswersAFriendsPingWithPong) {
    const std::string errors = online->DataRoot() + "/example.err";
    ChildProcess example(
        {"/usr/bin/python3", std::string(ZELMO_SOURCE_DIR) + "/examples/onebot/ping_pong.py",
         "ws://127.0.0.1:" + std::to_string(port) + "/"},
        {}, errors);
    std::size_t next = 0;
    ASSERT_TRUE(example.WaitForLine(&next, "connected", WAIT)) << platform::ReadFile(errors);
    // An item as the service sends it, as the intake hands it on.
    service->OnMessageItem(R"({"MsgId": "7001", "FromUserName": ")" + Id("alice") +
                           R"(", "ToUserName": ")" + Id("self") +
                           R"(", "MsgType": 1, "Content": "ping", "CreateTime": 1700000000})");
    ASSERT_TRUE(example.WaitForLine(&next, "-> pong", WAIT));
    ASSERT_TRUE(online->Sim().WaitForSentMessages(1, WAIT));
    EXPECT_EQ(online->Sim().SentMessages()[0].to, Id("alice"));
    EXPECT_EQ(online->Sim().SentMessages()[0].content, "pong");
}

TEST_F(ActionsOnlineTest, ARecallNamesTheSendsIdsAndTheServiceTakesItOnce) {
    app::Robot& robot = online->Robot();
    sim::Simulator& sim = online->Sim();
    ASSERT_EQ(robot.Sender().SendText(Id("alice"), "oops"), "0");
    const sim::SentMessage sent = sim.SentMessages().at(0);
    ASSERT_FALSE(sent.msg_id.empty());
    EXPECT_EQ(protocol::PostRevokeMsg(robot.Link(), *robot.State(), Id("alice"), sent.local_id,
                                      sent.msg_id),
              "0");
    EXPECT_TRUE(sim.SentMessages().at(0).revoked);
    EXPECT_EQ(protocol::PostRevokeMsg(robot.Link(), *robot.State(), Id("alice"), sent.local_id,
                                      sent.msg_id),
              "-1");
    EXPECT_TRUE(sim.Violations().empty());
}

}  // namespace
}  // namespace zelmo::test
