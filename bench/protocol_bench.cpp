#include <benchmark/benchmark.h>

#include <string>

#include "protocol/JsonText.h"
#include "protocol/Session.h"
#include "protocol/TextHelpers.h"

namespace {

using namespace zelmo::protocol;

// A contact-heavy answer in the service's layout with GBK nicknames, about `bytes` long,
// followed by the SyncKey.
std::string LongAnswer(std::size_t bytes) {
    std::string answer = "{\n\"BaseResponse\": {\n\"Ret\": 0,\n\"ErrMsg\": \"\"\n}\n,\n";
    answer += "\"ContactList\": [{\n";
    int i = 0;
    while (answer.size() < bytes) {
        answer += "\"UserName\": \"@" + std::to_string(i++) +
                  "abcdef0123456789\",\n\"NickName\": \"\xD6\xD0\xCE\xC4\x81\x41\x81\x5D\","
                  "\n\"Sex\": 1,\n}\n,{\n";
    }
    answer +=
        "}\n],\n\"SyncKey\": {\n\"Count\": 4,\n\"List\": [{\n\"Key\": 1,\n\"Val\": 658070058\n}"
        "\n,{\n\"Key\": 2,\n\"Val\": 658070346\n}\n,{\n\"Key\": 3,\n\"Val\": 658070192\n}\n,{"
        "\n\"Key\": 1000,\n\"Val\": 1492994161\n}\n]\n}\n,\n\"SKey\": \"\"\n}\n";
    return answer;
}

void BenchExtractBetweenNearEnd(benchmark::State& state) {
    const std::string answer = LongAnswer(1 << 20);
    for (auto _ : state) {
        benchmark::DoNotOptimize(ExtractBetween(answer, "\"SKey\": \"", "\""));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * answer.size()));
}
BENCHMARK(BenchExtractBetweenNearEnd);

// A marker made of trail-range bytes forces the character-boundary walk.
void BenchExtractBetweenLetterMarker(benchmark::State& state) {
    const std::string answer = LongAnswer(1 << 20);
    for (auto _ : state) {
        benchmark::DoNotOptimize(ExtractBetween(answer, "SKey\": \"", "\""));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * answer.size()));
}
BENCHMARK(BenchExtractBetweenLetterMarker);

void BenchUpdateSyncKey(benchmark::State& state) {
    const std::string answer = LongAnswer(64 << 10);
    SyncKey key;
    for (auto _ : state) {
        benchmark::DoNotOptimize(UpdateSyncKey(answer, key));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * answer.size()));
}
BENCHMARK(BenchUpdateSyncKey);

void BenchStripSpanTagsNicknameList(benchmark::State& state) {
    std::string names;
    for (int i = 0; i < 5000; ++i) {
        names += "\xD6\xD0\xCE\xC4" + std::to_string(i) + "<span class=\"emoji emoji1f6" +
                 std::to_string(i % 50) + "\"></span>?\n";
    }
    for (auto _ : state) {
        benchmark::DoNotOptimize(StripSpanTags(names));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * names.size()));
}
BENCHMARK(BenchStripSpanTagsNicknameList);

void BenchFindJsonEndMemberList(benchmark::State& state) {
    const std::string answer = LongAnswer(1 << 20);
    const std::size_t open = answer.find('[');
    for (auto _ : state) {
        benchmark::DoNotOptimize(FindJsonEnd(answer, open));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * answer.size()));
}
BENCHMARK(BenchFindJsonEndMemberList);

}  // namespace
