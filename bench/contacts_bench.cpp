// A webwxgetcontact answer of realistic records (names with emoji markup and entities,
// signatures, remarks, public accounts, groups) from its bytes to a filled store, for
// 10,000 and 20,000 contacts: the one-pass read (AddContacts) and, beside it, the cuts the
// program used before (the whole answer to GBK, then ParseContacts). The second size
// should cost about twice the first.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <map>
#include <memory>
#include <string>

#include "RealisticAnswers.h"
#include "contacts/ContactParsing.h"
#include "jobs/JobQueue.h"
#include "platform/Encoding.h"

namespace {

using namespace zelmo;

const std::string& AnswerFor(int contacts) {
    static std::map<int, std::string> answers;
    auto it = answers.find(contacts);
    if (it == answers.end()) {
        it = answers.emplace(contacts, bench::RealisticAnswers().GetContact(contacts)).first;
    }
    return it->second;
}

double ThreadCpuMs() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

struct Timing {
    double wall_ms = 0;
    double cpu_ms = 0;  // this thread's: what other work on a shared machine cannot inflate
};

enum class Path { OnePass, Reference };

// One fill of a fresh store from the answer's bytes; the store's teardown is not counted.
Timing FillOnce(Path path, const std::string& answer, std::size_t& added) {
    auto store = std::make_unique<contacts::ContactStore>();
    jobs::JobQueue queue;
    const double cpu_start = ThreadCpuMs();
    const auto start = std::chrono::steady_clock::now();
    added = path == Path::OnePass
                ? contacts::AddContacts(*store, queue, answer)
                : contacts::ParseContacts(*store, queue, platform::Utf8ToGbk(answer));
    const auto end = std::chrono::steady_clock::now();
    return {std::chrono::duration<double, std::milli>(end - start).count(),
            ThreadCpuMs() - cpu_start};
}

void BenchFillStore(benchmark::State& state, Path path) {
    const std::string& answer = AnswerFor(static_cast<int>(state.range(0)));
    std::size_t added = 0;
    for (auto _ : state) {
        state.SetIterationTime(FillOnce(path, answer, added).wall_ms / 1000.0);
    }
    state.counters["contacts"] = static_cast<double>(added);
    state.counters["answer_MB"] = static_cast<double>(answer.size()) / 1e6;
}
void BenchAddContacts(benchmark::State& state) {
    BenchFillStore(state, Path::OnePass);
}
void BenchParseContactsReference(benchmark::State& state) {
    BenchFillStore(state, Path::Reference);
}
BENCHMARK(BenchAddContacts)
    ->Arg(10000)
    ->Arg(20000)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(21);
BENCHMARK(BenchParseContactsReference)
    ->Arg(10000)
    ->Arg(20000)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(11);

// Both sizes in each iteration, best of three each: the ratio shows whether the work
// grows linearly (about 2) or faster.
void BenchAddContactsScaling(benchmark::State& state) {
    const std::string& small = AnswerFor(10000);
    const std::string& large = AnswerFor(20000);
    Timing best_small{1e9, 1e9};
    Timing best_large{1e9, 1e9};
    std::size_t added = 0;
    const auto keep_best = [](Timing& best, const Timing& run) {
        best.wall_ms = std::min(best.wall_ms, run.wall_ms);
        best.cpu_ms = std::min(best.cpu_ms, run.cpu_ms);
    };
    for (auto _ : state) {
        for (int i = 0; i < 3; ++i) {
            keep_best(best_small, FillOnce(Path::OnePass, small, added));
            keep_best(best_large, FillOnce(Path::OnePass, large, added));
        }
    }
    state.counters["ms_10k"] = best_small.wall_ms;
    state.counters["ms_20k"] = best_large.wall_ms;
    state.counters["ratio"] = best_large.wall_ms / best_small.wall_ms;
    state.counters["cpu_ms_10k"] = best_small.cpu_ms;
    state.counters["cpu_ms_20k"] = best_large.cpu_ms;
    state.counters["cpu_ratio"] = best_large.cpu_ms / best_small.cpu_ms;
}
BENCHMARK(BenchAddContactsScaling)->Unit(benchmark::kMillisecond)->Iterations(2);

}  // namespace
