// Plugin dispatch: a message offered to 50 enabled entries whose triggers miss, and to one
// entry that answers, beside the answering export called directly (the plugin's own time).
#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "platform/GbkLiteral.h"
#include "platform/SharedLibrary.h"
#include "plugins/PluginCall.h"
#include "plugins/PluginDispatch.h"
#include "plugins/PluginHost.h"
#include "support/PluginTestRobot.h"

namespace {

using zelmo::platform::Gbk;
using zelmo::plugins::PluginRecord;
using zelmo::plugins::PluginTable;

constexpr int MISSES = 50;

// A robot whose account folder holds the echo test plugin, loaded as a scan would.
struct Bench {
    Bench() {
        robot.Install(zelmo::test::TestPlugin("echo"), "echo.mzp.so");
        load = std::make_shared<zelmo::platform::SharedLibrary>();
        load->Open(robot.PluginPath("echo.mzp.so"));
    }

    PluginRecord Record(std::string prefix, std::string hint, std::string suffix) const {
        PluginRecord record;
        record.Name = "bench";
        record.Prefix = std::move(prefix);
        record.ParamHint = std::move(hint);
        record.Suffix = std::move(suffix);
        record.Function = "echo_answer";
        record.FileName = "echo.mzp.so";
        record.Enabled = true;
        record.Library = load;
        return record;
    }

    zelmo::test::PluginTestRobot robot;
    std::shared_ptr<zelmo::platform::SharedLibrary> load;
};

Bench& Shared() {
    static Bench bench;
    return bench;
}

const std::string& ChatText() {
    static const std::string text = Gbk("今天下午三点在会议室开会，记得带上周的报告和 PPT 哦");
    return text;
}

// Triggers of the three searching kinds, none of which occurs in the chat text.
void PublishMisses(Bench& bench) {
    PluginTable table;
    for (int i = 0; i < MISSES; ++i) {
        const std::string word = Gbk("查询") + std::to_string(i);
        switch (i % 3) {
            case 0:
                table.push_back(bench.Record(word, "", ""));
                break;
            case 1:
                table.push_back(bench.Record(word, Gbk("参数"), ""));
                break;
            default:
                table.push_back(bench.Record("<" + word, "", ">"));
                break;
        }
    }
    bench.robot.plugins.Publish(std::move(table));
}

void DispatchFiftyMissesBench(benchmark::State& state) {
    Bench& bench = Shared();
    PublishMisses(bench);
    const zelmo::protocol::ChatMessage message{ChatText(), 1, "@friend", ""};
    for (auto _ : state) {
        benchmark::DoNotOptimize(zelmo::plugins::DispatchToPlugins(
            bench.robot.plugins, bench.robot.account_dir, "", message));
    }
}
BENCHMARK(DispatchFiftyMissesBench)->Unit(benchmark::kMicrosecond);

void DispatchOneMatchBench(benchmark::State& state) {
    Bench& bench = Shared();
    bench.robot.plugins.Publish({bench.Record(Gbk("会议室"), Gbk("内容"), "")});
    const zelmo::protocol::ChatMessage message{ChatText(), 2, "@@group", "@member"};
    for (auto _ : state) {
        benchmark::DoNotOptimize(zelmo::plugins::DispatchToPlugins(
            bench.robot.plugins, bench.robot.account_dir, "", message));
    }
}
BENCHMARK(DispatchOneMatchBench)->Unit(benchmark::kMicrosecond);
BENCHMARK(DispatchOneMatchBench)->Unit(benchmark::kMicrosecond)->Threads(2);

// The same export called straight through its address, with the argument the dispatch
// would select: what the plugin itself costs.
void PluginOwnTimeBench(benchmark::State& state) {
    Bench& bench = Shared();
    auto handler =
        reinterpret_cast<zelmo::plugins::MessageHandler>(bench.load->Symbol("echo_answer"));
    const std::string argument = ChatText().substr(ChatText().find(Gbk("会议室")) + 6);
    for (auto _ : state) {
        const char* answer = handler(argument.c_str(), "2", "@@group", "@member", "");
        benchmark::DoNotOptimize(std::string(answer));
    }
}
BENCHMARK(PluginOwnTimeBench)->Unit(benchmark::kMicrosecond);

}  // namespace
