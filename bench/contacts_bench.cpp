// ParseContacts of the simulator's webwxgetcontact answer for the 10,000-friend scenario and
// for the same scenario at 20,000: the second should cost about twice the first.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "contacts/ContactParsing.h"
#include "jobs/JobQueue.h"
#include "platform/Encoding.h"
#include "sim/Answers.h"
#include "sim/Scenario.h"

namespace {

using namespace zelmo;

std::filesystem::path ScenarioFile() {
    return std::filesystem::path(__FILE__).parent_path().parent_path() / "tools" / "sim" /
           "scenarios" / "bench10k.json";
}

// The scenario with `friends` generated friends, answered as the simulator answers
// webwxgetcontact, in GBK as FetchContactList hands it on.
std::string BuildAnswer(int friends) {
    const std::filesystem::path path = ScenarioFile();
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    nlohmann::json root = nlohmann::json::parse(text.str(), nullptr, false);
    if (root.is_discarded()) {
        return {};
    }
    root["generate_friends"] = friends;
    sim::Scenario scenario;
    std::string error;
    if (!sim::ParseScenario(root.dump(), path.parent_path().string(), scenario, error)) {
        return {};
    }
    std::vector<const sim::ContactSpec*> list;
    for (const sim::ContactSpec& contact : scenario.contacts) {
        list.push_back(&contact);
    }
    return platform::Utf8ToGbk(sim::GetContactAnswer(
        sim::Era::Early2016, 0, list, "@crypt_0123abcd_0123456789abcdef0123456789abcdef"));
}

const std::string& AnswerFor(int friends) {
    static std::map<int, std::string> answers;
    auto it = answers.find(friends);
    if (it == answers.end()) {
        it = answers.emplace(friends, BuildAnswer(friends)).first;
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

// One parse into a fresh store; the store's teardown is not counted.
Timing ParseOnce(const std::string& answer, std::size_t& added) {
    auto store = std::make_unique<contacts::ContactStore>();
    jobs::JobQueue queue;
    const double cpu_start = ThreadCpuMs();
    const auto start = std::chrono::steady_clock::now();
    added = contacts::ParseContacts(*store, queue, answer);
    const auto end = std::chrono::steady_clock::now();
    return {std::chrono::duration<double, std::milli>(end - start).count(),
            ThreadCpuMs() - cpu_start};
}

void BenchParseContacts(benchmark::State& state) {
    const std::string& answer = AnswerFor(static_cast<int>(state.range(0)));
    if (answer.empty()) {
        state.SkipWithError("scenario not readable");
        return;
    }
    std::size_t added = 0;
    for (auto _ : state) {
        state.SetIterationTime(ParseOnce(answer, added).wall_ms / 1000.0);
    }
    state.counters["contacts"] = static_cast<double>(added);
    state.counters["answer_MB"] = static_cast<double>(answer.size()) / 1e6;
}
BENCHMARK(BenchParseContacts)
    ->Arg(10000)
    ->Arg(20000)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(10);

// Both sizes in each iteration, best of three each: the ratio shows whether the work
// grows linearly (about 2) or faster.
void BenchParseContactsScaling(benchmark::State& state) {
    const std::string& small = AnswerFor(10000);
    const std::string& large = AnswerFor(20000);
    if (small.empty() || large.empty()) {
        state.SkipWithError("scenario not readable");
        return;
    }
    Timing best_small{1e9, 1e9};
    Timing best_large{1e9, 1e9};
    std::size_t added = 0;
    const auto keep_best = [](Timing& best, const Timing& run) {
        best.wall_ms = std::min(best.wall_ms, run.wall_ms);
        best.cpu_ms = std::min(best.cpu_ms, run.cpu_ms);
    };
    for (auto _ : state) {
        for (int i = 0; i < 3; ++i) {
            keep_best(best_small, ParseOnce(small, added));
            keep_best(best_large, ParseOnce(large, added));
        }
    }
    state.counters["ms_10k"] = best_small.wall_ms;
    state.counters["ms_20k"] = best_large.wall_ms;
    state.counters["ratio"] = best_large.wall_ms / best_small.wall_ms;
    state.counters["cpu_ms_10k"] = best_small.cpu_ms;
    state.counters["cpu_ms_20k"] = best_large.cpu_ms;
    state.counters["cpu_ratio"] = best_large.cpu_ms / best_small.cpu_ms;
}
BENCHMARK(BenchParseContactsScaling)->Unit(benchmark::kMillisecond)->Iterations(2);

}  // namespace
