#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "platform/GbkLiteral.h"
#include "platform/SharedLibrary.h"
#include "plugins/PluginCall.h"
#include "plugins/PluginDispatch.h"
#include "plugins/PluginHost.h"
#include "plugins/PluginScan.h"
#include "support/PluginTestRobot.h"
#include "zelmo_plugin.h"

namespace zelmo::test {
namespace {

using platform::Gbk;

static_assert(std::is_same_v<plugins::MessageHandler, zelmo_message_handler>);
static_assert(std::is_same_v<plugins::InfoFunction, zelmo_info_function>);

protocol::ChatMessage Friend(std::string_view content) {
    return {content, 1, "@friend", ""};
}

class PluginDispatchTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(t.Install(TestPlugin("echo"), "echo.mzp.so"));
        // Tables made here hold a load of the library as a scan's table would.
        m_echo_load = std::make_shared<platform::SharedLibrary>();
        ASSERT_TRUE(m_echo_load->Open(t.PluginPath("echo.mzp.so")));
        t.cookies = "wxuin=2100000001; wxsid=secret";
    }

    // Scans the folder and enables every record.
    void ScanAllEnabled() {
        plugins::ScanPlugins(t.plugins, t.account_dir, t.screen, false);
        t.plugins.Modify([](plugins::PluginTable& table) {
            for (plugins::PluginRecord& record : table) {
                record.Enabled = true;
            }
        });
    }

    // An enabled record of the echo library with this trigger and export.
    plugins::PluginRecord Echo(std::string prefix, std::string hint, std::string suffix,
                               std::string function = "echo_answer") const {
        plugins::PluginRecord record;
        record.Name = "echo-" + function;
        record.Prefix = std::move(prefix);
        record.ParamHint = std::move(hint);
        record.Suffix = std::move(suffix);
        record.Function = std::move(function);
        record.FileName = "echo.mzp.so";
        record.Enabled = true;
        record.Library = m_echo_load;
        return record;
    }

    std::string Dispatch(const protocol::ChatMessage& message) {
        return plugins::DispatchToPlugins(t.plugins, t.account_dir, t.cookies, message);
    }

    // How often the echo library counted calls of one export (its state lives on).
    int Calls(std::string_view function) {
        platform::SharedLibrary library;
        if (!library.Open(t.PluginPath("echo.mzp.so"))) {
            return -1;
        }
        auto calls = reinterpret_cast<int (*)(const char*)>(library.Symbol("echo_calls"));
        return calls != nullptr ? calls(std::string(function).c_str()) : -1;
    }

    PluginTestRobot t;
    std::shared_ptr<platform::SharedLibrary> m_echo_load;
};

TEST_F(PluginDispatchTest, TheTriggerDecidesWhatThePluginReceives) {
    t.plugins.Publish({Echo(Gbk("天气"), Gbk("城市"), "")});
    EXPECT_EQ(Dispatch(Friend(Gbk("天气北京"))), Gbk("北京|1|@friend|(null)|"));
    EXPECT_EQ(Dispatch(Friend(Gbk("天气"))), "|1|@friend|(null)|");  // called with nothing
    EXPECT_EQ(Dispatch(Friend(Gbk("北京"))), "");
    EXPECT_EQ(Calls("echo_answer"), 2);

    t.plugins.Publish({Echo("[", "", "]")});
    EXPECT_EQ(Dispatch(Friend("a[b]c")), "b|1|@friend|(null)|");
    EXPECT_EQ(Dispatch(Friend("a[]c")), "");
    EXPECT_EQ(Dispatch(Friend("a[b")), "");
    EXPECT_EQ(Calls("echo_answer"), 3);  // the two misses called nothing

    t.plugins.Publish({Echo("hello", "", "")});
    EXPECT_EQ(Dispatch(Friend("Hello")), "Hello|1|@friend|(null)|");
}

TEST_F(PluginDispatchTest, GroupMessagesCarryKindFromAndSender) {
    t.plugins.Publish({Echo("", "", "")});
    EXPECT_EQ(Dispatch({"hi", 2, "@@group", "@member"}), "hi|2|@@group|@member|");
    EXPECT_EQ(Dispatch({"[x]", 2, "@@group", ""}), "[x]|2|@@group|(null)|");
}

TEST_F(PluginDispatchTest, TheFirstNonEmptyAnswerWinsAndLaterPluginsAreNotCalled) {
    t.plugins.Publish({Echo("", "", "", "echo_silent"), Echo("", "", "", "echo_blank"),
                       Echo("zz", "", ""), Echo("", "", ""), Echo("", "", "", "echo_silent")});
    EXPECT_EQ(Dispatch(Friend("x")), "x|1|@friend|(null)|");
    EXPECT_EQ(Calls("echo_silent"), 1);  // only the one before the answer
    EXPECT_EQ(Calls("echo_blank"), 1);
    EXPECT_EQ(Calls("echo_answer"), 1);
}

TEST_F(PluginDispatchTest, DisabledRecordsAndMissingLibrariesOrExportsAnswerNothing) {
    plugins::PluginRecord disabled = Echo("", "", "");
    disabled.Enabled = false;
    plugins::PluginRecord gone = Echo("", "", "");
    gone.FileName = "missing.mzp.so";
    t.plugins.Publish(
        {disabled, gone, Echo("", "", "", "no_such_export"), Echo("", "", "", "echo_silent")});
    EXPECT_EQ(Dispatch(Friend("x")), "");
    EXPECT_EQ(Calls("echo_answer"), 0);
    EXPECT_EQ(Calls("echo_silent"), 1);  // the search went on past every failure
}

TEST_F(PluginDispatchTest, APluginThrowingThroughTheCBoundaryCountsAsNoAnswer) {
    ASSERT_TRUE(t.Install(TestPlugin("throwing"), "a-throwing.mzp.so"));
    ScanAllEnabled();  // a-throwing (every message) comes before echo ("echo")
    ASSERT_EQ(t.plugins.Table()->size(), 2u);
    EXPECT_EQ(Dispatch(Friend("echo me")), "echo me|1|@friend|(null)|");
    EXPECT_EQ(Dispatch(Friend("other")), "");
}

TEST_F(PluginDispatchTest, NoReplyIsAnAnswerThatStopsTheSearch) {
    ASSERT_TRUE(t.Install(ExamplePlugin("quiet"), "a-quiet.mzp.so"));
    ScanAllEnabled();
    t.plugins.Modify(
        [](plugins::PluginTable& table) { table[1].Prefix.clear(); });  // echo sees all
    EXPECT_EQ(Dispatch(Friend(Gbk("嘘，别说话"))), "[noreply]");
    EXPECT_EQ(Calls("echo_answer"), 0);
    EXPECT_EQ(Dispatch(Friend(Gbk("说话"))), Gbk("说话|1|@friend|(null)|"));
    // "嘘" is D0 EA: a trail byte D0 followed by EA inside other characters is no match.
    EXPECT_EQ(Dispatch(Friend("\xb0\xd0\xea\xa1")), "\xb0\xd0\xea\xa1|1|@friend|(null)|");
}

TEST_F(PluginDispatchTest, OnlyAConsentedAccountEntryEverReceivesTheCookies) {
    ASSERT_TRUE(t.Install(ExamplePlugin("account"), "account.mzp.so"));
    plugins::ScanPlugins(t.plugins, t.account_dir, t.screen, false);
    plugins::LoadEnableStates(t.plugins, t.account_dir);
    const std::string ask = Gbk("我的帐号");
    const std::string granted =
        Gbk("已获得帐号信息，共") + std::to_string(t.cookies.size()) + Gbk("字节");

    EXPECT_EQ(Dispatch(Friend(ask)), "");  // new: disabled, not called
    t.screen.ScriptAnswers({false});
    plugins::ToggleRecord(t.plugins, t.screen, 0, true);
    EXPECT_EQ(Dispatch(Friend(ask)), "");  // refused: still not called

    // The echo entry does not want the account: enabled, it gets an empty account text.
    plugins::SetRecordEnabled(t.plugins, 1, true);
    t.plugins.Modify([](plugins::PluginTable& table) { table[1].Prefix.clear(); });
    EXPECT_EQ(Dispatch(Friend(ask)), ask + "|1|@friend|(null)|");

    t.screen.ScriptAnswers({true});
    plugins::ToggleRecord(t.plugins, t.screen, 0, true);
    EXPECT_EQ(Dispatch(Friend(ask)), granted);
    EXPECT_EQ(Dispatch(Friend("other")), "other|1|@friend|(null)|");

    // The consent is kept in the enable file, so the next start-up passes the cookies again.
    plugins::SaveEnableStates(t.plugins, t.account_dir);
    plugins::ScanPlugins(t.plugins, t.account_dir, t.screen, false);
    plugins::LoadEnableStates(t.plugins, t.account_dir);
    EXPECT_EQ(Dispatch(Friend(ask)), granted);
}

TEST_F(PluginDispatchTest, TheExamplePluginsAnswerAsTheirGuideSays) {
    ASSERT_TRUE(platform::DeleteFile(t.PluginPath("echo.mzp.so")));
    for (const char* name : {"weather", "bracket"}) {
        ASSERT_TRUE(t.Install(ExamplePlugin(name), std::string(name) + ".mzp.so"));
    }
    ScanAllEnabled();
    ASSERT_EQ(t.plugins.Table()->size(), 2u);
    EXPECT_EQ(Dispatch(Friend(Gbk("天气北京"))), Gbk("北京今天晴，气温 20℃"));
    EXPECT_EQ(Dispatch(Friend(Gbk("天气"))), Gbk("请在天气后面加上城市名，例如：天气北京"));
    EXPECT_EQ(Dispatch(Friend(Gbk("a[你好]b"))), Gbk("你说了：你好"));
    EXPECT_EQ(Dispatch(Friend(Gbk("a[]b"))), "");
    EXPECT_EQ(Dispatch(Friend(Gbk("你好"))), "");
}

TEST_F(PluginDispatchTest, CallPluginCopiesTheAnswerAndReleasesOnlyItsOwnLoad) {
    m_echo_load.reset();
    const std::string path = t.PluginPath("echo.mzp.so");
    plugins::PluginArguments arguments{"m", "1", "f", "", "acc"};
    EXPECT_EQ(plugins::CallPlugin(path, "echo_answer", arguments), "m|1|f|(null)|acc");
    EXPECT_EQ(plugins::CallPlugin(path, "echo_answer", arguments), "m|1|f|(null)|acc");
    // Without the scan's load the library goes away between calls; with it, it keeps
    // counting.
    EXPECT_EQ(Calls("echo_answer"), 0);
    ScanAllEnabled();
    plugins::CallPlugin(path, "echo_answer", arguments);
    plugins::CallPlugin(path, "echo_answer", arguments);
    EXPECT_EQ(Calls("echo_answer"), 2);
    EXPECT_EQ(plugins::CallPlugin(path, "echo_blank", arguments), "");
    EXPECT_EQ(plugins::CallPlugin(path, "", arguments), "");
    EXPECT_EQ(plugins::CallPlugin(t.PluginPath("none.mzp.so"), "echo_answer", arguments), "");
}

TEST_F(PluginDispatchTest, RescansWhileTwentyWorkersDispatchNeverBreakADispatch) {
    ASSERT_TRUE(t.Install(ExamplePlugin("weather"), "weather.mzp.so"));
    ASSERT_TRUE(t.SetEnableValue("weather.mzp.so", Gbk("天气预报"), "1"));
    plugins::ScanPlugins(t.plugins, t.account_dir, t.screen, false);
    plugins::LoadEnableStates(t.plugins, t.account_dir);
    const std::string answer = Gbk("北京今天晴，气温 20℃");
    const std::string message = Gbk("天气北京");

    std::atomic<bool> stop{false};
    std::atomic<int> answered{0};
    std::atomic<int> wrong{0};
    std::vector<std::thread> workers;
    workers.reserve(20);
    for (int i = 0; i < 20; ++i) {
        workers.emplace_back([&] {
            while (!stop.load()) {
                const std::string got = Dispatch(Friend(message));
                if (got == answer) {
                    answered.fetch_add(1);
                } else if (!got.empty()) {  // empty: a table between scan and flags
                    wrong.fetch_add(1);
                }
            }
        });
    }
    // Rescans, and uninstall / copy-back cycles that unload the library under the workers.
    for (int round = 0; round < 40; ++round) {
        plugins::ScanPlugins(t.plugins, t.account_dir, t.screen, true);
        plugins::LoadEnableStates(t.plugins, t.account_dir);
        if (round % 4 == 3) {
            ASSERT_EQ(t.plugins.Table()->back().FileName, "weather.mzp.so");
            plugins::UninstallPlugin(t.plugins, t.account_dir, t.screen,
                                     t.plugins.Table()->size() - 1);
            ASSERT_FALSE(platform::FileExists(t.PluginPath("weather.mzp.so")));
            ASSERT_TRUE(t.Install(ExamplePlugin("weather"), "weather.mzp.so"));
            ASSERT_TRUE(t.SetEnableValue("weather.mzp.so", Gbk("天气预报"), "1"));
        }
    }
    plugins::ScanPlugins(t.plugins, t.account_dir, t.screen, true);
    plugins::LoadEnableStates(t.plugins, t.account_dir);
    while (answered.load() < 100) {
        std::this_thread::yield();
    }
    stop = true;
    for (std::thread& worker : workers) {
        worker.join();
    }
    EXPECT_EQ(wrong.load(), 0);
    EXPECT_EQ(Dispatch(Friend(message)), answer);
}

}  // namespace
}  // namespace zelmo::test
