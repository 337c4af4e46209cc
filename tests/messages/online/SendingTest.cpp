#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "messages/Sending.h"
#include "platform/Encoding.h"
#include "platform/GbkLiteral.h"
#include "support/OnlineRobot.h"
#include "support/RecordingObserver.h"

namespace zelmo::test {
namespace {

using platform::Gbk;

std::vector<sim::RecordedRequest> SendRequests(sim::Simulator& simulator) {
    std::vector<sim::RecordedRequest> sends;
    for (sim::RecordedRequest& request : simulator.Requests()) {
        if (request.path.find("webwxsendmsg") != std::string::npos) {
            sends.push_back(std::move(request));
        }
    }
    return sends;
}

TEST(SendingTest, TextsArriveExactlyWithTheirPlaceholdersExpanded) {
    OnlineRobot online;
    ASSERT_EQ(online.Start(), "");
    app::Robot& robot = online.Robot();
    robot.Settings().Update(
        [](config::Settings& settings) { settings.机器人姓名 = Gbk("小精灵"); });
    const std::string alice = online.Sim().UserNameOf("alice");

    // Quotes, backslashes (one a GBK second byte), a tab, placeholders in any case,
    // placeholder-like words of the request template, and an attempt to add a field.
    const std::string text =
        Gbk("我是[MKNAME]，\"引号\" \\ 淺\t[Enter]第二行[mzname] {to} {message} {sid}") +
        R"(","ToUserName":"filehelper)";
    EXPECT_EQ(robot.Sender().SendText(alice, text), "0");

    const std::vector<sim::SentMessage> sent = online.Sim().SentMessages();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].content,
              std::string("我是小精灵，\"引号\" \\ 淺\t\r\n第二行[mzname] {to} {message} {sid}") +
                  R"(","ToUserName":"filehelper)");
    EXPECT_EQ(sent[0].to, alice);
    EXPECT_EQ(sent[0].from, robot.State()->own.UserName);
    EXPECT_EQ(sent[0].type, 1);
    EXPECT_EQ(sent[0].client_msg_id, sent[0].local_id);
    EXPECT_TRUE(online.Sim().Violations().empty());

    // The body is one well-formed JSON object in the request's field order.
    const std::vector<sim::RecordedRequest> sends = SendRequests(online.Sim());
    ASSERT_EQ(sends.size(), 1u);
    const nlohmann::json body = nlohmann::json::parse(sends[0].body, nullptr, false);
    ASSERT_FALSE(body.is_discarded()) << sends[0].body;
    EXPECT_EQ(body["Msg"]["ToUserName"], alice);
    EXPECT_EQ(body["BaseRequest"]["Skey"], online.Sim().Session().skey);
    EXPECT_TRUE(body["BaseRequest"]["Uin"].is_number());
    EXPECT_EQ(sends[0].method, "post");
    EXPECT_EQ(sends[0].body.find(R"({"BaseRequest":{"Uin":)"), 0u);
    EXPECT_NE(sends[0].query.find("&r="), std::string::npos);
    EXPECT_NE(sends[0].query.find("&pass_ticket="), std::string::npos);
}

// The caller and the observers hear what became of each text: the service's Ret, and for a
// sent one the MsgID a recall will name.
TEST(SendingTest, TheAnswersRetIsReturnedAndAMissingOneIsEmpty) {
    RecordingObserver observer;  // outlives the robot, whose threads tell it
    OnlineRobot online;
    ASSERT_EQ(online.Start(), "");
    app::Robot& robot = online.Robot();
    robot.Observers().Add(observer);
    EXPECT_EQ(robot.Sender().SendText("@nobody", "hello"), "1204");
    online.Sim().SetFault("webwxsendmsg", sim::Fault{sim::FaultKind::Empty200});
    EXPECT_EQ(robot.Sender().SendText(online.Sim().UserNameOf("alice"), "lost"), "");
    online.Sim().SetFault("webwxsendmsg", sim::Fault{sim::FaultKind::Http500});
    EXPECT_EQ(robot.Sender().SendText(online.Sim().UserNameOf("alice"), "lost"), "");
    const messages::SendReceipt receipt =
        robot.Sender().Send("filehelper", "note", {messages::SendOrigin::Mass, {}});
    const std::vector<sim::SentMessage> sent = online.Sim().SentMessages();
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[1].content, "note");
    EXPECT_EQ(receipt.ret, "0");
    EXPECT_FALSE(receipt.msg_id.empty());
    EXPECT_EQ(receipt.msg_id, sent[1].msg_id);
    EXPECT_EQ(receipt.local_id, sent[1].local_id);

    const std::vector<RecordingObserver::Sent> told = observer.SentEvents();
    ASSERT_EQ(told.size(), 4u);
    EXPECT_FALSE(told[0].sent);
    EXPECT_NE(told[0].reason.find("1204"), std::string::npos);
    EXPECT_EQ(told[0].origin, messages::SendOrigin::Chat);
    EXPECT_FALSE(told[1].sent);
    EXPECT_TRUE(told[1].msg_id.empty());
    EXPECT_TRUE(told[3].sent);
    EXPECT_EQ(told[3].origin, messages::SendOrigin::Mass);
    EXPECT_EQ(told[3].msg_id, sent[1].msg_id);
    EXPECT_EQ(told[3].to, "filehelper");
}

}  // namespace
}  // namespace zelmo::test
