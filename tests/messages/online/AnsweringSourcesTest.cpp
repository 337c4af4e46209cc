// The reply sources against the simulator, called directly as the reply chain calls
// them, with their answers sent the way a reply job sends them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "messages/GroupEvents.h"
#include "messages/HelpReply.h"
#include "messages/Intake.h"
#include "messages/Sending.h"
#include "platform/Encoding.h"
#include "platform/Files.h"
#include "platform/GbkLiteral.h"
#include "support/OnlineRobot.h"

namespace zelmo::test {
namespace {

using platform::Gbk;

OnlineRobot::Options WithReplyBase(const std::string& reply_file) {
    OnlineRobot::Options options;
    options.prepare = [reply_file](const std::string& account_dir) {
        platform::WriteFileAtomic(account_dir + "/config/reply.ini", reply_file);
    };
    return options;
}

std::string LastSentText(sim::Simulator& simulator) {
    const std::vector<sim::SentMessage> sent = simulator.SentMessages();
    return sent.empty() ? std::string("<nothing sent>") : sent.back().content;
}

TEST(AnsweringSourcesTest, TheStartUpsKnowledgeBaseAnswersAFriend) {
    OnlineRobot online(WithReplyBase(Gbk("你好\r\n你好呀，我是[mkname]\r\n\r\n天气\r\n晴")));
    ASSERT_EQ(online.Start(), "");
    app::Robot& robot = online.Robot();
    robot.Settings().Update(
        [](config::Settings& settings) { settings.机器人姓名 = Gbk("小精灵"); });
    // The start-up's load reached the editor.
    EXPECT_GE(online.Screen().CountOf("ReplyBaseChanged"), 1u);

    const std::string reply = robot.Knowledge().LookupReply(
        Gbk("你好，机器人！"), messages::CHAT_FRIEND, *robot.Settings().Get(), robot.Clock());
    ASSERT_EQ(reply, Gbk("你好呀，我是[mkname]"));
    const std::string alice = online.Sim().UserNameOf("alice");
    EXPECT_EQ(robot.Sender().SendText(alice, reply), "0");
    EXPECT_EQ(LastSentText(online.Sim()), "你好呀，我是小精灵");
    EXPECT_EQ(online.Sim().SentMessages().back().to, alice);
}

TEST(AnsweringSourcesTest, ALearnedPairAnswersAndItsLineBreaksArrive) {
    OnlineRobot online;
    ASSERT_EQ(online.Start(), "");
    app::Robot& robot = online.Robot();
    const std::size_t shown = online.Screen().CountOf("ReplyBaseChanged");
    robot.Knowledge().LearnPair(Gbk("天气"), Gbk("晴\n有\"风\""));
    EXPECT_EQ(online.Screen().CountOf("ReplyBaseChanged"), shown + 1);
    EXPECT_TRUE(robot.Knowledge().Dirty());

    const std::string reply = robot.Knowledge().LookupReply(
        Gbk("今天天气？"), messages::CHAT_FRIEND, *robot.Settings().Get(), robot.Clock());
    EXPECT_EQ(robot.Sender().SendText(online.Sim().UserNameOf("alice"), reply), "0");
    EXPECT_EQ(LastSentText(online.Sim()), "晴\r\n有\"风\"");
}

TEST(AnsweringSourcesTest, AJoinWelcomeNamesThePersonWithoutTheQuotesOfTheNotice) {
    OnlineRobot online;
    ASSERT_EQ(online.Start(), "");
    app::Robot& robot = online.Robot();
    robot.Settings().Update([](config::Settings& settings) {
        settings.群管_邀 = Gbk("欢迎[name]加入本群！");
        settings.群管_加 = Gbk("欢迎[name]扫码入群！");
    });
    const config::Settings& settings = *robot.Settings().Get();
    const std::string team = online.Sim().UserNameOf("team");

    const auto invite = messages::GroupEventReply(settings, Gbk("\"Alice\"邀请\"Eve\"加入了群聊"));
    ASSERT_TRUE(invite);
    EXPECT_EQ(robot.Sender().SendText(team, *invite), "0");
    EXPECT_EQ(LastSentText(online.Sim()), "欢迎Eve加入本群！");

    const auto scan =
        messages::GroupEventReply(settings, Gbk("\" Frank\"通过扫描\"Bob\"分享的二维码加入群聊"));
    ASSERT_TRUE(scan);
    EXPECT_EQ(robot.Sender().SendText(team, *scan), "0");
    EXPECT_EQ(LastSentText(online.Sim()), "欢迎Frank扫码入群！");
    EXPECT_EQ(online.Sim().SentMessages().back().to, team);
}

TEST(AnsweringSourcesTest, TheFunctionListArrivesWithItsLineBreaks) {
    OnlineRobot online;
    ASSERT_EQ(online.Start(), "");
    app::Robot& robot = online.Robot();
    const std::string list = messages::BuildHelpReply(robot.Templates(), *robot.Settings().Get(),
                                                      robot.Plugins(), messages::CHAT_FRIEND);
    EXPECT_EQ(robot.Sender().SendText(online.Sim().UserNameOf("alice"), list), "0");
    EXPECT_EQ(LastSentText(online.Sim()),
              "欢迎使用Zelmo机器人！\r\n以下是支持命令：\r\n"
              "回复：问：XX 答：XX\r\n功能：教Zelmo说话吧~\r\n");
}

}  // namespace
}  // namespace zelmo::test
