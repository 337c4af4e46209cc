#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "ai/ChatContext.h"
#include "ai/ModelQueue.h"
#include "config/SettingsStore.h"
#include "platform/GbkLiteral.h"
#include "sim/Simulator.h"
#include "support/FakeClock.h"
#include "support/TestSupport.h"

namespace zelmo::ai {
namespace {

using namespace std::chrono_literals;
using platform::Gbk;

constexpr char KEY[] = "sk-test-0123456789abcdef";
constexpr char MODEL[] = "sim-model";

// Every result, in the order they came; waits for one by its message id.
class Results {
public:
    void Add(const ModelResult& result) {
        std::lock_guard lock(m_mutex);
        m_all.push_back(result);
        m_changed.notify_all();
    }
    std::optional<ModelResult> For(const std::string& id) {
        std::unique_lock lock(m_mutex);
        std::optional<ModelResult> found;
        m_changed.wait_for(lock, 60s, [&] {
            for (const ModelResult& result : m_all) {
                if (result.message_id == id) {
                    found = result;
                }
            }
            return found.has_value();
        });
        return found;
    }
    std::vector<std::string> Ids() const {
        std::lock_guard lock(m_mutex);
        std::vector<std::string> ids;
        for (const ModelResult& result : m_all) {
            ids.push_back(result.message_id);
        }
        return ids;
    }

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<ModelResult> m_all;
};

// The run's threads as the robot keeps them: joined when the run ends.
class Threads {
public:
    ~Threads() {
        for (std::thread& thread : m_threads) {
            thread.join();
        }
    }
    jobs::ThreadStarter Starter() {
        return [this](std::function<void()> body) {
            m_threads.emplace_back(std::move(body));
            return true;
        };
    }

private:
    std::vector<std::thread> m_threads;
};

class ModelQueueTest : public ::testing::Test {
protected:
    void SetUp() override {
        sim::SimulatorOptions options;
        options.workdir = m_dir.Path();
        m_sim = std::make_unique<sim::Simulator>(options);
        ASSERT_TRUE(m_sim->Start());
        Change([&](config::AiSettings& ai) {
            ai.启用 = true;
            ai.接口地址 = m_sim->ModelBaseUrl();
            ai.密钥 = KEY;
            ai.模型 = MODEL;
        });
    }

    void Change(const std::function<void(config::AiSettings&)>& change) {
        m_settings.Update([&](config::Settings& settings) { change(settings.ai); });
    }

    // The queue with the robot's web config; `timeout_scale` shortens 超时秒数.
    void Begin(double timeout_scale = 1.0) {
        m_queue = std::make_unique<ModelQueue>(ModelQueueParts{
            platform::WebClientConfig{"", m_sim->CaFile(), timeout_scale}, m_settings, m_context,
            m_threads.Starter(), m_clock, [this](const ModelResult& r) { m_results.Add(r); }});
        ASSERT_TRUE(m_queue->Start());
    }

    void Ask(const std::string& chat, const std::string& id, const char* utf8,
             const char* speaker = "") {
        m_queue->Ask(Question{chat, ChatTurn{id, false, Gbk(speaker), Gbk(utf8)}});
    }
    ModelResult Answer(const std::string& chat, const std::string& id, const char* utf8) {
        Ask(chat, id, utf8);
        std::optional<ModelResult> result = m_results.For(id);
        EXPECT_TRUE(result.has_value()) << id;
        return result.value_or(ModelResult{});
    }
    void Script(sim::ModelScript script) { m_sim->QueueModelAnswer(std::move(script)); }
    std::size_t Calls() const { return m_sim->ModelCalls().size(); }

    test::TempDir m_dir;
    std::unique_ptr<sim::Simulator> m_sim;
    test::FakeClock m_clock;
    config::SettingsStore m_settings;
    MemoryContext m_context;
    Results m_results;
    Threads m_threads;  // joined after the queue has stopped
    std::unique_ptr<ModelQueue> m_queue;
};

TEST_F(ModelQueueTest, AsksWithTheContextOldestFirstAndOnlyTheNewestOfAChat) {
    m_settings.Update([](config::Settings& settings) {
        settings.机器人姓名 = Gbk("小智");
        settings.ai.系统提示 = Gbk("我是[mkname]。[enter]简短回答");
        settings.ai.上下文条数 = "3";
    });
    Begin();
    const std::string group = "@@group";
    m_context.Add(group, {"1", false, Gbk("张三"), Gbk("第一句")});
    m_context.Add(group, {"2", true, "", Gbk("回答一")});
    m_context.Add(group, {"3", false, Gbk("李四"), Gbk("第二句 \"引号\" \\ 反斜杠")});
    m_context.Add(group, {"4", false, Gbk("张三"), Gbk("第三句")});
    Script({.match = "第三句", .content = "回答三", .delay_ms = 30000});
    Ask(group, "4", "第三句", "张三");
    ASSERT_TRUE(m_sim->WaitForModelCalls(1, 60s));

    // While the chat's request runs, two more messages come: only the newer is asked.
    m_context.Add(group, {"5", false, Gbk("王五"), Gbk("第四句")});
    Ask(group, "5", "第四句", "王五");
    m_context.Add(group, {"6", false, Gbk("张三"), Gbk("第五句")});
    Ask(group, "6", "第五句", "张三");
    EXPECT_EQ(m_results.For("5")->outcome, ModelOutcome::Superseded);
    m_sim->EndModelStalls();
    const ModelResult first = *m_results.For("4");
    const ModelResult newest = *m_results.For("6");
    EXPECT_EQ(first.outcome, ModelOutcome::Answered);
    EXPECT_EQ(first.text, Gbk("回答三"));
    EXPECT_EQ(first.model, MODEL);
    EXPECT_GT(first.total_tokens, 0);
    EXPECT_EQ(newest.outcome, ModelOutcome::Answered);
    EXPECT_EQ(m_results.Ids(), (std::vector<std::string>{"5", "4", "6"}));

    const std::vector<sim::ModelCall> calls = m_sim->ModelCalls();
    ASSERT_EQ(calls.size(), 2u);
    const sim::ModelCall& asked = calls[0];
    EXPECT_TRUE(asked.valid) << asked.body;
    EXPECT_EQ(asked.model, MODEL);
    EXPECT_EQ(asked.stream, "false");
    EXPECT_GT(asked.max_tokens, 0);
    EXPECT_EQ(asked.authorization, std::string("Bearer ") + KEY);
    EXPECT_EQ(asked.content_type, "application/json");
    using Turns = std::vector<std::pair<std::string, std::string>>;
    EXPECT_EQ(asked.messages, (Turns{{"system", "我是小智。\n简短回答"},
                                     {"user", "张三: 第一句"},
                                     {"assistant", "回答一"},
                                     {"user", "李四: 第二句 \"引号\" \\ 反斜杠"},
                                     {"user", "张三: 第三句"}}));
    EXPECT_EQ(Turns(calls[1].messages.begin() + 1, calls[1].messages.end()),
              (Turns{{"user", "李四: 第二句 \"引号\" \\ 反斜杠"},
                     {"user", "张三: 第三句"},
                     {"user", "王五: 第四句"},
                     {"user", "张三: 第五句"}}));
}

TEST_F(ModelQueueTest, AStalledChatHoldsUpNoOtherAndAStopEndsItAtOnce) {
    Begin();
    Script({.match = "慢", .delay_ms = 30000});
    Ask("@slow", "slow", "慢慢想");
    ASSERT_TRUE(m_sim->WaitForModelCalls(1, 60s));
    for (const char* id : {"b", "c", "d", "e", "f"}) {
        Ask(std::string("@") + id, id, "快");
    }
    for (const char* id : {"b", "c", "d", "e", "f"}) {
        EXPECT_EQ(m_results.For(id)->outcome, ModelOutcome::Answered) << id;
    }
    EXPECT_EQ(m_results.Ids().size(), 5u) << "the stalled chat is still waiting";

    const auto stopping = std::chrono::steady_clock::now();
    m_queue->Stop();
    EXPECT_LT(std::chrono::steady_clock::now() - stopping, 10s) << "not the stall's 30 s";
    EXPECT_EQ(m_results.For("slow")->outcome, ModelOutcome::Stopped);
    Ask("@late", "late", "还在吗");
    EXPECT_EQ(m_results.For("late")->outcome, ModelOutcome::Stopped);
}

TEST_F(ModelQueueTest, SettingFaultsNameTheSettingOnceAndTheEndpointRests) {
    Begin();
    Script({.status = 401});
    ModelResult result = Answer("@a", "1", "你好");
    EXPECT_EQ(result.outcome, ModelOutcome::Failed);
    EXPECT_NE(result.reason.find("HTTP 401"), std::string::npos);
    EXPECT_NE(result.box.find(Gbk("密钥")), std::string::npos);
    EXPECT_EQ(result.box.find(KEY), std::string::npos);

    // Resting: the next question fails at once, without a request.
    result = Answer("@a", "2", "你好");
    EXPECT_NE(result.reason.find(Gbk("暂停")), std::string::npos);
    EXPECT_EQ(Calls(), 1u);
    m_clock.Advance(ModelQueue::BACKOFF_FIRST_MS);
    Script({.status = 401});
    result = Answer("@a", "3", "你好");
    EXPECT_NE(result.reason.find("HTTP 401"), std::string::npos);
    EXPECT_EQ(result.box, "") << "told once";

    m_clock.Advance(2LL * ModelQueue::BACKOFF_FIRST_MS);
    Script({.status = 404});
    result = Answer("@a", "4", "你好");
    EXPECT_NE(result.box.find(Gbk("里的模型")), std::string::npos) << result.reason;

    Change([&](config::AiSettings& ai) { ai.接口地址 = m_sim->ModelBaseUrl() + "/nothing"; });
    m_clock.Advance(4LL * ModelQueue::BACKOFF_FIRST_MS);
    result = Answer("@a", "5", "你好");
    EXPECT_NE(result.box.find(Gbk("接口地址")), std::string::npos) << result.reason;

    // A plain-http address elsewhere never gets a request.
    Change([](config::AiSettings& ai) { ai.接口地址 = "http://203.0.113.9/v1"; });
    const std::size_t before = Calls();
    result = Answer("@a", "6", "你好");
    EXPECT_NE(result.box.find("https://"), std::string::npos);
    EXPECT_EQ(Calls(), before);
}

TEST_F(ModelQueueTest, BadAnswersTimeOutsAndRateLimitsFailWithTheirReason) {
    Change([](config::AiSettings& ai) { ai.超时秒数 = "100"; });
    Begin(0.01);  // 100 s become one
    Script({.status = 500});
    ModelResult result = Answer("@a", "1", "你好");
    EXPECT_NE(result.reason.find("HTTP 500"), std::string::npos);
    EXPECT_EQ(result.box, "");

    m_clock.Advance(ModelQueue::BACKOFF_FIRST_MS);
    Script({.body = "<html><body>Bad gateway</body></html>", .content_type = "text/html"});
    result = Answer("@a", "2", "你好");
    EXPECT_EQ(result.outcome, ModelOutcome::Failed);
    EXPECT_NE(result.reason.find("Bad gateway"), std::string::npos);

    m_clock.Advance(2LL * ModelQueue::BACKOFF_FIRST_MS);
    Script({.delay_ms = 30000});
    result = Answer("@a", "3", "你好");
    EXPECT_NE(result.reason.find(Gbk("100 秒内")), std::string::npos) << result.reason;

    m_clock.Advance(4LL * ModelQueue::BACKOFF_FIRST_MS);
    Script({.status = 429, .retry_after_s = 7});
    result = Answer("@a", "4", "你好");
    EXPECT_NE(result.reason.find("HTTP 429"), std::string::npos);
    m_clock.Advance(6000);
    EXPECT_NE(Answer("@a", "5", "你好").reason.find(Gbk("暂停")), std::string::npos);
    m_clock.Advance(1000);
    EXPECT_EQ(Answer("@a", "6", "你好").outcome, ModelOutcome::Answered);

    // A refusal is the model's answer to one message: no rest follows it.
    Script({.null_content = true, .refusal = "I can't help with that."});
    result = Answer("@a", "7", "你好");
    EXPECT_EQ(result.outcome, ModelOutcome::Failed);
    EXPECT_NE(result.reason.find("I can't help"), std::string::npos);
    EXPECT_EQ(Answer("@a", "8", "你好").outcome, ModelOutcome::Answered);
}

TEST_F(ModelQueueTest, AnswersArePlainCutAtASentenceAndCountedAgainstTheDailyLimit) {
    Change([](config::AiSettings& ai) {
        ai.最长回复 = "20";
        ai.每日上限 = "2";
    });
    Begin();
    Script(
        {.content = "## 标题\n**重点**：第一句话说完了\xF0\x9F\x98\x80。第二句话很长很长很长很长。",
         .prompt_tokens = 11,
         .completion_tokens = 3});
    ModelResult result = Answer("@a", "1", "讲讲");
    EXPECT_EQ(result.text, Gbk("标题\n重点：第一句话说完了。"));
    EXPECT_EQ(result.total_tokens, 14);
    EXPECT_EQ(Answer("@b", "2", "再讲").outcome, ModelOutcome::Answered);

    result = Answer("@c", "3", "还讲");
    EXPECT_EQ(result.outcome, ModelOutcome::OverLimit);
    EXPECT_EQ(Calls(), 2u);
    m_clock.Advance(24LL * 60 * 60 * 1000);
    EXPECT_EQ(Answer("@c", "4", "明天再讲").outcome, ModelOutcome::Answered);
}

}  // namespace
}  // namespace zelmo::ai
