// The language model as the robot's last reply source, against the simulator's endpoint:
// what reaches it, with which context, what goes out, and what the chats get when it fails.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/Encoding.h"
#include "platform/Files.h"
#include "platform/GbkLiteral.h"
#include "store/ArchiveReader.h"
#include "support/FakeClock.h"
#include "support/OnlineRobot.h"

namespace zelmo::test {
namespace {

using namespace std::chrono_literals;
using platform::Gbk;
using Turns = std::vector<std::pair<std::string, std::string>>;

constexpr auto WAIT = 15s;
constexpr char KEY[] = "sk-test-0123456789abcdef";
constexpr char MODEL[] = "sim-model";

sim::MessageSpec Text(std::string from, std::string text, std::string member = {}) {
    sim::MessageSpec message;
    message.from = std::move(from);
    message.member = std::move(member);
    message.text = std::move(text);
    return message;
}

class ModelRepliesTest : public ::testing::Test {
protected:
    void SetUp() override {
        OnlineRobot::Options options;
        options.synccheck_hold_ms = 200;
        options.clock = &m_clock;
        options.prepare = [this](const std::string& account_dir) {
            platform::WriteFileAtomic(account_dir + "/config/reply.ini",
                                      Gbk("天气\r\n晴天\r\n\r\n[noword]\r\n听不懂"));
            platform::WriteFileAtomic(account_dir + "/config/mzset.ini",
                                      Gbk("[AI回复]\r\n启用=1\r\n模型=") + MODEL +
                                          Gbk("\r\n密钥=") + KEY + Gbk("\r\n接口地址=") +
                                          m_online->Sim().ModelBaseUrl() + "\r\n");
        };
        m_online = std::make_unique<OnlineRobot>(options);
        ASSERT_EQ(m_online->Start(), "");
    }

    sim::Simulator& Sim() { return m_online->Sim(); }
    void Change(const std::function<void(config::Settings&)>& change) {
        m_online->Robot().Settings().Update(change);
    }

    // Delivers a text and returns the count-th text sent (UTF-8).
    std::string Reply(const sim::MessageSpec& message, std::size_t count) {
        Sim().DeliverMessage(message);
        return Sent(count);
    }
    std::string Sent(std::size_t count) {
        if (!Sim().WaitForSentMessages(count, WAIT)) {
            return "<no answer>";
        }
        return Sim().SentMessages()[count - 1].content;
    }
    std::vector<std::string> SentTexts() {
        std::vector<std::string> texts;
        for (const sim::SentMessage& sent : Sim().SentMessages()) {
            texts.push_back(sent.content);
        }
        return texts;
    }
    // The message-log rows (UTF-8, cells joined by tabs) that hold `part`.
    static std::vector<std::string> RowsIn(const std::vector<StubScreen::Call>& calls,
                                           std::string_view part) {
        std::vector<std::string> rows;
        for (const StubScreen::Call& call : calls) {
            std::string text = platform::GbkToUtf8(call.text);
            if (call.name == "AddLogRow" && text.find(part) != std::string::npos) {
                rows.push_back(std::move(text));
            }
        }
        return rows;
    }
    std::vector<std::string> Rows(std::string_view part) const {
        return RowsIn(m_online->Screen().Calls(), part);
    }
    // The predicate runs under the screen's lock: it reads the calls it is given.
    bool WaitForRow(std::string_view part) {
        return m_online->Screen().WaitUntil(
            [&](const std::vector<StubScreen::Call>& calls) {
                return !RowsIn(calls, part).empty();
            },
            WAIT);
    }
    // The sender adds a text to the chat's context once the service took it, a moment
    // after the simulator saw it; a question asked sooner goes without it. Nothing tells
    // that moment, so this looks until the context holds `turns`.
    bool WaitForContext(const std::string& chat, std::size_t turns) {
        const auto end = std::chrono::steady_clock::now() + WAIT;
        while (m_online->Robot().Context().Recent(Sim().UserNameOf(chat), turns, {}).size() <
               turns) {
            if (std::chrono::steady_clock::now() > end) {
                return false;
            }
            std::this_thread::sleep_for(2ms);
        }
        return true;
    }
    // A sent text is archived once the service's answer is read, a moment after the
    // simulator saw it; nothing tells that moment, so this reads the archive until it is there.
    std::optional<store::ArchiveRow> WaitForArchived(std::string_view text) {
        const auto end = std::chrono::steady_clock::now() + WAIT;
        while (std::chrono::steady_clock::now() < end) {
            std::string error;
            if (std::optional<store::ArchiveReader> reader =
                    store::ArchiveReader::Open(m_online->Robot().Archive().Path(), &error)) {
                for (store::ArchiveRow& row : reader->LastRows(20).rows) {
                    if (row.text == text) {
                        return std::move(row);
                    }
                }
            }
            std::this_thread::sleep_for(5ms);
        }
        return std::nullopt;
    }
    std::size_t Boxes() const { return m_online->Screen().CountOf("ShowMessageBox"); }

    FakeClock m_clock;
    std::unique_ptr<OnlineRobot> m_online;
};

TEST_F(ModelRepliesTest, AnswersWhatTheBaseDoesNotKnowWithTheChatsContextPlainAndCut) {
    Sim().QueueModelAnswer({.match = "你好吗", .content = "## 好\n**我很好**，谢谢。"});
    EXPECT_EQ(Reply(Text("alice", "你好吗"), 1), "好\n我很好，谢谢。");
    EXPECT_EQ(Reply(Text("alice", "天气怎么样"), 2), "晴天") << "the base comes first";
    ASSERT_TRUE(WaitForContext("alice", 4));

    Change([](config::Settings& settings) { settings.ai.最长回复 = "8"; });
    Sim().QueueModelAnswer({.match = "再说", .content = "第一句话。第二句话还要更长一些。"});
    EXPECT_EQ(Reply(Text("alice", "再说一句"), 3), "第一句话。");

    const std::vector<sim::ModelCall> calls = Sim().ModelCalls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[1].model, MODEL);
    EXPECT_EQ(calls[1].authorization, std::string("Bearer ") + KEY);
    // Both directions, oldest first: what alice wrote, the model's and the base's answers.
    EXPECT_EQ(Turns(calls[1].messages.begin() + 1, calls[1].messages.end()),
              (Turns{{"user", "你好吗"},
                     {"assistant", "好\n我很好，谢谢。"},
                     {"user", "天气怎么样"},
                     {"assistant", "晴天"},
                     {"user", "再说一句"}}));
    // The model's answers are marked as its own in the log.
    EXPECT_EQ(Rows("[AI回复 sim-model] ").size(), 2u);
    EXPECT_TRUE(Rows("[AI回复 sim-model] 晴天").empty());

    // After a restart the chat's past comes from the archive. The service stamps received
    // texts with its own time: this clock runs an hour ahead of it.
    const std::optional<store::ArchiveRow> answer = WaitForArchived("第一句话。");
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->origin, std::string("model:") + MODEL);
    m_clock.SetUnixMs(std::chrono::duration_cast<std::chrono::milliseconds>(
                          std::chrono::system_clock::now().time_since_epoch() + 1h)
                          .count());
    ASSERT_EQ(m_online->Restart(), "");
    Sim().QueueModelAnswer({.match = "还记得", .content = "记得。"});
    EXPECT_EQ(Reply(Text("alice", "还记得吗"), 4), "记得。");
    const std::vector<sim::ModelCall> later = Sim().ModelCalls();
    ASSERT_EQ(later.size(), 3u);
    Turns heard(later[2].messages.begin() + 1, later[2].messages.end());
    ASSERT_EQ(heard.size(), 7u);
    EXPECT_EQ(heard.back(), Turns::value_type("user", "还记得吗"));
    // The archive keeps the order texts passed the robot: an answer the sender took a moment
    // over may come after the next question.
    heard.pop_back();
    std::sort(heard.begin(), heard.end());
    Turns earlier{{"user", "你好吗"},     {"assistant", "好\n我很好，谢谢。"},
                  {"user", "天气怎么样"}, {"assistant", "晴天"},
                  {"user", "再说一句"},   {"assistant", "第一句话。"}};
    std::sort(earlier.begin(), earlier.end());
    EXPECT_EQ(heard, earlier);
}

TEST_F(ModelRepliesTest, GroupsAskOnlyWhatAddressesTheRobotAndLabelsNeverReachTheModel) {
    Change([](config::Settings& settings) {
        settings.群默认 = true;
        settings.机器人姓名 = Gbk("小精灵");
    });
    // Not addressed: the base's default reply, as without the model.
    EXPECT_EQ(Reply(Text("team", "今天吃什么", "bob"), 1), "听不懂");
    // The service writes a mention as "@", the account's name and U+2005.
    Sim().QueueModelAnswer({.match = "今天吃什么", .content = "吃面"});
    EXPECT_EQ(Reply(Text("team", "@Zelmo Demo\u2005今天吃什么？", "bob"), 2), "吃面");
    Sim().QueueModelAnswer({.match = "明天呢", .content = "吃饭"});
    EXPECT_EQ(Reply(Text("team", "小精灵，明天呢", "carol"), 3), "吃饭");
    sim::MessageSpec picture = Text("alice", "");
    picture.kind = sim::MessageKind::Picture;
    EXPECT_EQ(Reply(picture, 4), "听不懂");

    const std::vector<sim::ModelCall> calls = Sim().ModelCalls();
    ASSERT_EQ(calls.size(), 2u);
    const std::pair<std::string, std::string>& mentioned = calls[0].messages.back();
    EXPECT_EQ(mentioned.first, "user");
    EXPECT_TRUE(mentioned.second.ends_with(": 今天吃什么？")) << mentioned.second;
    EXPECT_EQ(mentioned.second.find('@'), std::string::npos) << mentioned.second;
    EXPECT_TRUE(calls[1].messages.back().second.ends_with(": 明天呢"))
        << calls[1].messages.back().second;
    EXPECT_EQ(SentTexts()[1], "吃面");
    EXPECT_EQ(Sim().SentMessages()[1].to, Sim().UserNameOf("team"));
}

TEST_F(ModelRepliesTest, FailuresAndTheDailyLimitGiveTheDefaultReplyAndAWrongKeyIsToldOnce) {
    Sim().QueueModelAnswer({.status = 401});
    EXPECT_EQ(Reply(Text("alice", "一"), 1), "听不懂");
    ASSERT_TRUE(m_online->Screen().WaitForCall("ShowMessageBox", WAIT));
    const std::string box = platform::GbkToUtf8(m_online->Screen().TextsOf("ShowMessageBox")[0]);
    EXPECT_TRUE(box.starts_with("错误提示\n")) << box;
    EXPECT_NE(box.find("HTTP 401"), std::string::npos) << box;
    EXPECT_NE(box.find("里的密钥"), std::string::npos) << box;
    EXPECT_EQ(box.find(KEY), std::string::npos);
    EXPECT_FALSE(Rows("[AI]未回答").empty());

    // Once the rest is over, the same key fails again without a second box.
    m_clock.Advance(2000);
    Sim().QueueModelAnswer({.status = 401});
    EXPECT_EQ(Reply(Text("alice", "二"), 2), "听不懂");
    m_clock.Advance(4000);
    Sim().QueueModelAnswer({.status = 500});
    EXPECT_EQ(Reply(Text("bob", "三"), 3), "听不懂");
    ASSERT_TRUE(WaitForRow("HTTP 500"));
    m_clock.Advance(8000);
    Sim().QueueModelAnswer({.body = "<html>upstream down</html>", .content_type = "text/html"});
    EXPECT_EQ(Reply(Text("bob", "四"), 4), "听不懂");
    ASSERT_TRUE(WaitForRow("upstream down"));
    EXPECT_EQ(Boxes(), 1u);
    EXPECT_EQ(Sim().ModelCalls().size(), 4u);

    // Four requests so far today; a limit of five answers one more.
    m_clock.Advance(16000);
    Change([](config::Settings& settings) { settings.ai.每日上限 = "5"; });
    Sim().QueueModelAnswer({.content = "好的"});
    EXPECT_EQ(Reply(Text("alice", "五"), 5), "好的");
    EXPECT_EQ(Reply(Text("alice", "六"), 6), "听不懂");
    ASSERT_TRUE(WaitForRow("每日上限"));
    EXPECT_EQ(Sim().ModelCalls().size(), 5u);
}

TEST_F(ModelRepliesTest, AStalledChatHoldsUpNoOtherAndItsLateAnswerIsNotSent) {
    Change([](config::Settings& settings) { settings.回复过期秒数 = "20"; });
    Sim().QueueModelAnswer({.match = "慢慢想", .content = "终于想好了", .delay_ms = 30000});
    Sim().DeliverMessage(Text("alice", "慢慢想"));
    ASSERT_TRUE(Sim().WaitForModelCalls(1, WAIT));

    // Other chats are answered at once, by the base and by the model.
    EXPECT_EQ(Reply(Text("bob", "天气"), 1), "晴天");
    Sim().QueueModelAnswer({.match = "你是谁", .content = "我是机器人"});
    EXPECT_EQ(Reply(Text("bob", "你是谁"), 2), "我是机器人");

    // The stalled answer comes too late for the reply's age; the chat's newer message
    // waits for it and is answered.
    m_clock.Advance(25000);
    Sim().QueueModelAnswer({.match = "还在吗", .content = "在的"});
    Sim().DeliverMessage(Text("alice", "还在吗"));
    Sim().EndModelStalls();
    EXPECT_EQ(Sent(3), "在的");
    ASSERT_TRUE(WaitForRow("已过期"));
    EXPECT_NE(Rows("已过期")[0].find("终于想好了"), std::string::npos);
    EXPECT_EQ(SentTexts(), (std::vector<std::string>{"晴天", "我是机器人", "在的"}));

    const std::vector<sim::ModelCall> calls = Sim().ModelCalls();
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(Turns(calls[2].messages.begin() + 1, calls[2].messages.end()),
              (Turns{{"user", "慢慢想"}, {"user", "还在吗"}}));
}

}  // namespace
}  // namespace zelmo::test
