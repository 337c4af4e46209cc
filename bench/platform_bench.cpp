#include <benchmark/benchmark.h>

#include <string>

#include "platform/Encoding.h"
#include "platform/GbkText.h"
#include "platform/Regex.h"

namespace {

constexpr std::size_t MB = std::size_t{1024} * 1024;

std::string Repeat(const std::string& piece, std::size_t size) {
    std::string text;
    text.reserve(size + piece.size());
    while (text.size() < size) {
        text += piece;
    }
    return text;
}

// Chat-like UTF-8: short ASCII runs between Chinese words.
const std::string& Utf8Chat() {
    static const std::string text = Repeat(
        "hello \xE4\xBD\xA0\xE5\xA5\xBD\xEF\xBC\x8C\xE6\x9C\xBA\xE5\x99\xA8\xE4\xBA\xBA "
        "[mkname] 123 \xE4\xB8\xAD\xE6\x96\x87\xE6\xB5\x8B\xE8\xAF\x95\n",
        10 * MB);
    return text;
}

void Utf8ToGbkChatBench(benchmark::State& state) {
    const std::string& input = Utf8Chat();
    for (auto _ : state) {
        benchmark::DoNotOptimize(zelmo::platform::Utf8ToGbk(input));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * input.size()));
}
BENCHMARK(Utf8ToGbkChatBench)->Unit(benchmark::kMillisecond);

void Utf8ToGbkEmojiBench(benchmark::State& state) {
    // Every character unmappable: the old worst case.
    const std::string input = Repeat("\xF0\x9F\x98\x80\xE2\x9D\xA4\xE2\x84\xA2", 10 * MB);
    for (auto _ : state) {
        benchmark::DoNotOptimize(zelmo::platform::Utf8ToGbk(input));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * input.size()));
}
BENCHMARK(Utf8ToGbkEmojiBench)->Unit(benchmark::kMillisecond);

void GbkToUtf8ChatBench(benchmark::State& state) {
    const std::string input = zelmo::platform::Utf8ToGbk(Utf8Chat());
    for (auto _ : state) {
        benchmark::DoNotOptimize(zelmo::platform::GbkToUtf8(input));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * input.size()));
}
BENCHMARK(GbkToUtf8ChatBench)->Unit(benchmark::kMillisecond);

void ContainsGbkIgnoreCaseBench(benchmark::State& state) {
    // The needle is absent; its first letter is frequent, so every candidate is checked.
    const std::string text = zelmo::platform::Utf8ToGbk(
        Repeat("Hello \xE4\xBD\xA0\xE5\xA5\xBD robot, HELP list \xE4\xB8\xAD\xE6\x96\x87 ", MB));
    for (auto _ : state) {
        benchmark::DoNotOptimize(zelmo::platform::ContainsGbk(text, "helper", true));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(ContainsGbkIgnoreCaseBench)->Unit(benchmark::kMicrosecond);

void ContainsGbkChineseNeedleBench(benchmark::State& state) {
    const std::string text = zelmo::platform::Utf8ToGbk(Utf8Chat().substr(0, MB));
    const std::string needle = zelmo::platform::Utf8ToGbk("\xE4\xBD\xA0\xE5\xA5\xBD\xE5\x90\x97");
    for (auto _ : state) {
        benchmark::DoNotOptimize(zelmo::platform::ContainsGbk(text, needle, true));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(ContainsGbkChineseNeedleBench)->Unit(benchmark::kMicrosecond);

// One message object in the service's pretty-printed layout.
std::string SyncMessage(int index) {
    const std::string id = std::to_string(3000000000000000000LL + index);
    return "{\n\"MsgId\": \"" + id +
           "\",\n"
           "\"FromUserName\": "
           "\"@@0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef\",\n"
           "\"ToUserName\": \"@0123456789abcdef0123456789abcdef\",\n"
           "\"MsgType\": 1,\n"
           "\"Content\": \"@0123456789abcdef0123456789abcdef:<br/>\xE6\x80\xBB\xE7\xBB\x93\",\n"
           "\"Status\": 3,\n\"ImgStatus\": 1,\n\"CreateTime\": 1436409749,\n"
           "\"VoiceLength\": 0,\n\"PlayLength\": 0,\n\"FileName\": \"\",\n\"FileSize\": \"\",\n"
           "\"MediaId\": \"\",\n\"Url\": \"\",\n\"AppMsgType\": 0,\n\"StatusNotifyCode\": 0,\n"
           "\"StatusNotifyUserName\": \"\",\n\"RecommendInfo\": {\n\"UserName\": \"\",\n"
           "\"NickName\": \"\",\n\"QQNum\": 0,\n\"Province\": \"\",\n\"City\": \"\",\n"
           "\"Content\": \"\",\n\"Signature\": \"\",\n\"Alias\": \"\",\n\"Scene\": 0,\n"
           "\"VerifyFlag\": 0,\n\"AttrStatus\": 0,\n\"Sex\": 0,\n\"Ticket\": \"\",\n"
           "\"OpCode\": 0\n}\n,\n\"ForwardFlag\": 0,\n\"AppInfo\": {\n\"AppID\": \"\",\n"
           "\"Type\": 0\n}\n,\n\"HasProductId\": 0,\n\"Ticket\": \"\",\n\"ImgHeight\": 0,\n"
           "\"ImgWidth\": 0,\n\"SubMsgType\": 0,\n\"NewMsgId\": " +
           id + ",\n\"MD5\": \"\"\n}";
}

void RegexSyncMessagesBench(benchmark::State& state) {
    std::string answer =
        "{\n\"BaseResponse\": {\n\"Ret\": 0,\n\"ErrMsg\": \"\"\n}\n,\n"
        "\"AddMsgCount\": 1,\n\"AddMsgList\": [";
    for (int index = 0; answer.size() < 5 * MB; ++index) {
        answer += (index == 0 ? "" : ", ") + SyncMessage(index);
    }
    answer += "\n],\n\"ModContactCount\": 0\n}";
    const zelmo::platform::Regex pattern("MsgId.*?Ticket\": \".*?\"");
    std::size_t found = 0;
    for (auto _ : state) {
        found = pattern.FindAll(answer).size();
        benchmark::DoNotOptimize(found);
    }
    state.counters["matches"] = static_cast<double>(found);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * answer.size()));
}
BENCHMARK(RegexSyncMessagesBench)->Unit(benchmark::kMillisecond);

}  // namespace
