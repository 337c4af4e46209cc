// What the model source costs the robot beside the request itself: the choice whether a
// message is asked (run for every message while the source is on), the request body, the
// context memory and the answer's cleanup.
#include <benchmark/benchmark.h>

#include <string>

#include "ai/AnswerCleanup.h"
#include "ai/AskRules.h"
#include "ai/ChatContext.h"
#include "ai/ChatRequest.h"
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

}  // namespace
