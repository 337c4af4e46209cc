// What the model source costs the robot beside the request itself: the choice whether a
// message is asked (run for every message while the source is on), the request body, the
// context memory and the answer's cleanup; and one received message through the intake and
// the reply chain to its send job, with the source off and on:
//   ReplyPath/0: model off, a text the knowledge base answers
//   ReplyPath/1: model on,  the same text (the base answers: the model is never asked)
//   ReplyPath/2: model off, a text the base does not know (its default reply)
#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>

#include "QuietScreen.h"
#include "ai/AnswerCleanup.h"
#include "ai/AskRules.h"
#include "ai/ChatContext.h"
#include "ai/ChatRequest.h"
#include "app/Robot.h"
#include "messages/Intake.h"
#include "platform/Clock.h"
#include "platform/Files.h"
#include "platform/GbkLiteral.h"

namespace {

using zelmo::platform::Gbk;

zelmo::config::AiSettings Enabled() {
    zelmo::config::AiSettings settings;
    settings.启用 = true;
    return settings;
}

// A group text of ordinary length that does not address the robot: the usual case.
void QuestionForGroupTextBench(benchmark::State& state) {
    const zelmo::config::AiSettings settings = Enabled();
    const std::string text =
        Gbk("今天晚上大家一起去吃火锅吧，七点在老地方见，不见不散？@张三?你来吗");
    const std::string name = Gbk("小智");
    zelmo::ai::IncomingFacts facts;
    facts.group = true;
    facts.content = text;
    facts.own_nickname = name;
    facts.robot_name = "Zelmo";
    for (auto _ : state) {
        benchmark::DoNotOptimize(zelmo::ai::QuestionFor(facts, settings));
    }
}
BENCHMARK(QuestionForGroupTextBench);

// Ten turns of context and a question, as a group asks with the default 上下文条数.
void ChatRequestBodyBench(benchmark::State& state) {
    zelmo::ai::ChatRequest request;
    request.model = "qwen2.5:7b";
    request.system_prompt = zelmo::ai::SystemPrompt(zelmo::config::DefaultAiPrompt(), "Zelmo");
    const std::string said = Gbk("这是一句普通长度的聊天消息，里面有\"引号\"和一些标点符号。");
    for (int i = 0; i < 10; ++i) {
        request.context.push_back({std::to_string(i), i % 3 == 2, Gbk("张三"), said});
    }
    request.question = {"q", false, Gbk("李四"), said};
    request.max_tokens = zelmo::ai::MaxTokensFor(500);
    for (auto _ : state) {
        benchmark::DoNotOptimize(zelmo::ai::ChatRequestBody(request));
    }
}
BENCHMARK(ChatRequestBodyBench);

void MemoryContextBench(benchmark::State& state) {
    zelmo::ai::MemoryContext context;
    const std::string said = Gbk("这是一句普通长度的聊天消息。");
    std::size_t n = 0;
    for (auto _ : state) {
        const std::string chat = "@chat" + std::to_string(n % 200);
        context.Add(chat, {std::to_string(n), false, "", said});
        benchmark::DoNotOptimize(context.Recent(chat, 10, std::to_string(n)));
        ++n;
    }
}
BENCHMARK(MemoryContextBench);

// A long markdown answer (about 4 KB) made into the chat's text of 500 characters.
void ChatAnswerTextBench(benchmark::State& state) {
    std::string answer = "## 回答\n\n";
    while (answer.size() < 4096) {
        answer += "**要点**：这是模型给出的一句比较长的回答，里面有 `代码` 和标点。\n- 列表项\n";
    }
    for (auto _ : state) {
        benchmark::DoNotOptimize(zelmo::ai::ChatAnswerText(answer, 500));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * answer.size()));
}
BENCHMARK(ChatAnswerTextBench);

// An AddMsgList item as the service writes a friend's text.
std::string FriendText(const std::string& utf8) {
    return R"({"MsgId": "4823197309181283410", "FromUserName": "@0f1e2d3c4b5a69788796a5b4c3d2e1f0", )"
           R"("ToUserName": "@a1b2c3d4e5f60718293a4b5c6d7e8f90", "MsgType": 1, "Content": ")" +
           utf8 +
           R"(", "Status": 3, "ImgStatus": 1, "CreateTime": 1733750000, )"
           R"("NewMsgId": 4823197309181283410})";
}

void ReplyPathBench(benchmark::State& state) {
    const int variant = static_cast<int>(state.range(0));
    zelmo::bench::QuietScreen screen;
    zelmo::platform::SystemClock clock;
    zelmo::app::Robot robot(zelmo::app::RunOptions{}, clock, screen);
    const std::string base = "/tmp/zelmo-ai-bench-reply.ini";
    zelmo::platform::WriteFileAtomic(
        base, Gbk("天气\r\n晴\r\n\r\n你好\r\n你好呀\r\n\r\n[noword]\r\n听不懂"));
    robot.Knowledge().Load(base);
    robot.Settings().Update([&](zelmo::config::Settings& settings) {
        settings.每分钟回复上限 = "0";
        settings.ai.启用 = variant == 1;
        settings.ai.接口地址 = "http://127.0.0.1:9/v1";
        settings.ai.模型 = "bench";
    });
    const std::string item =
        FriendText(variant == 2 ? "明天要不要带伞出门呢" : "今天天气怎么样，要不要带伞");
    for (auto _ : state) {
        zelmo::messages::HandleIncomingMessage(robot.Intake(), item);
        while (robot.Queue().TryTake()) {
        }
    }
    std::filesystem::remove(base);
}
BENCHMARK(ReplyPathBench)->Arg(0)->Arg(1)->Arg(2);

}  // namespace
