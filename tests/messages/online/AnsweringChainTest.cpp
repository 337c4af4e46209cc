// Messages delivered by the simulator and answered by the whole robot: intake, the reply
// chain, the knowledge base and sending.
#include <gtest/gtest.h>

#include <chrono>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>
#include <vector>

#include "messages/Intake.h"
#include "messages/ReplyChain.h"
#include "platform/Files.h"
#include "platform/GbkLiteral.h"
#include "support/OnlineRobot.h"

namespace zelmo::test {
namespace {

using platform::Gbk;
constexpr auto WAIT = std::chrono::seconds(15);

class AnsweringChainTest : public ::testing::Test {
protected:
    void SetUp() override {
        OnlineRobot::Options options;
        options.synccheck_hold_ms = 200;
        options.prepare = [](const std::string& account_dir) {
            platform::WriteFileAtomic(account_dir + "/config/reply.ini",
                                      Gbk("你好\r\n你好呀，我是[mkname]\r\n\r\n大家好\r\n"
                                          "大家好！我是群里的[mkname]"));
        };
        online = std::make_unique<OnlineRobot>(options);
        ASSERT_EQ(online->Start(), "");
        online->Robot().Settings().Update([](config::Settings& settings) {
            settings.机器人姓名 = Gbk("小精灵");
            settings.群管_邀 = Gbk("欢迎[name]加入本群！");
        });
    }

    // Delivers a text and waits for the count-th send; the text that was sent.
    std::string Answer(const sim::MessageSpec& message, std::size_t count) {
        online->Sim().DeliverMessage(message);
        if (!online->Sim().WaitForRequests("webwxsendmsg", count, WAIT)) {
            return "<no answer>";
        }
        online->Sim().WaitForSentMessages(count, WAIT);
        const std::vector<sim::SentMessage> sent = online->Sim().SentMessages();
        if (sent.size() < count) {
            std::string refused = "<refused>";
            for (const std::string& violation : online->Sim().Violations()) {
                refused += " " + violation;
            }
            return refused;
        }
        return sent[count - 1].content;
    }

    std::string FirstReceiver() const {
        const std::vector<sim::SentMessage> sent = online->Sim().SentMessages();
        return sent.empty() ? std::string("<nothing sent>") : sent[0].to;
    }

    static sim::MessageSpec Text(std::string from, std::string text, std::string member = {}) {
        sim::MessageSpec message;
        message.from = std::move(from);
        message.member = std::move(member);
        message.text = std::move(text);
        return message;
    }

    std::unique_ptr<OnlineRobot> online;
};

TEST_F(AnsweringChainTest, AFriendGetsTheKnowledgeBaseReplyInAWellFormedRequest) {
    EXPECT_EQ(Answer(Text("alice", "你好，机器人！"), 1), "你好呀，我是小精灵");
    EXPECT_EQ(FirstReceiver(), online->Sim().UserNameOf("alice"));
    for (const sim::RecordedRequest& request : online->Sim().Requests()) {
        if (request.path.find("webwxsendmsg") != std::string::npos) {
            EXPECT_FALSE(nlohmann::json::parse(request.body, nullptr, false).is_discarded());
        }
    }
}

TEST_F(AnsweringChainTest, AGroupTextIsAnsweredToTheGroup) {
    EXPECT_EQ(Answer(Text("team", "大家好", "bob"), 1), "大家好！我是群里的小精灵");
    EXPECT_EQ(FirstReceiver(), online->Sim().UserNameOf("team"));
}

TEST_F(AnsweringChainTest, ALearnedQuestionIsAnsweredNextTime) {
    EXPECT_EQ(Answer(Text("alice", "问：天气 答：晴"), 1), "学习成功！对我说天气试试吧！");
    EXPECT_EQ(Answer(Text("alice", "天气"), 2), "晴");
    EXPECT_TRUE(online->Robot().Knowledge().Dirty());
}

TEST_F(AnsweringChainTest, TheListWordAnswersWithTheFunctionList) {
    EXPECT_EQ(Answer(Text("alice", "功能"), 1),
              "欢迎使用小精灵机器人！\r\n以下是支持命令：\r\n"
              "回复：问：XX 答：XX\r\n功能：教小精灵说话吧~\r\n");
}

TEST_F(AnsweringChainTest, AJoinNoticeSendsTheWelcomeWithTheName) {
    sim::MessageSpec notice;
    notice.kind = sim::MessageKind::SystemNotice;
    notice.from = "team";
    notice.notice = "invite";
    notice.actor = "Alice";
    notice.target = "Eve";
    EXPECT_EQ(Answer(notice, 1), "欢迎Eve加入本群！");
    EXPECT_EQ(FirstReceiver(), online->Sim().UserNameOf("team"));
}

}  // namespace
}  // namespace zelmo::test
