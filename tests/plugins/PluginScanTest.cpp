#include <dlfcn.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/Files.h"
#include "platform/GbkLiteral.h"
#include "plugins/EnableState.h"
#include "plugins/PluginCall.h"
#include "plugins/PluginHost.h"
#include "plugins/PluginScan.h"
#include "support/PluginTestRobot.h"

namespace zelmo::test {
namespace {

using platform::Gbk;

std::vector<std::string> Names(const plugins::PluginTable& table) {
    std::vector<std::string> names;
    for (const plugins::PluginRecord& record : table) {
        names.push_back(record.Name + "(" + record.FileName + ")");
    }
    return names;
}

class PluginScanTest : public ::testing::Test {
protected:
    plugins::PluginTableSnapshot Scan(bool from_settings = false) {
        plugins::ScanPlugins(t.plugins, t.account_dir, t.screen, from_settings);
        plugins::LoadEnableStates(t.plugins, t.account_dir);
        return t.plugins.Table();
    }

    PluginTestRobot t;
};

TEST_F(PluginScanTest, OneLibraryWithTwoValidEntriesAmongInvalidOnesGivesTwoRecords) {
    ASSERT_TRUE(t.Install(TestPlugin("mixed"), "mixed.mzp.so"));
    const auto table = Scan();
    ASSERT_EQ(Names(*table),
              (std::vector<std::string>{Gbk("甲(mixed.mzp.so)"), Gbk("乙(mixed.mzp.so)")}));
    EXPECT_TRUE((*table)[0].WantsAccount);
    EXPECT_FALSE((*table)[1].WantsAccount);
    EXPECT_EQ((*table)[1].Prefix, Gbk("乙"));
    EXPECT_EQ((*table)[1].ParamHint, Gbk("参数"));
    EXPECT_EQ((*table)[1].Suffix, Gbk("尾"));
    EXPECT_EQ((*table)[1].Listed, 2);
    EXPECT_EQ((*table)[0].Library, (*table)[1].Library);  // one load for both records
    ASSERT_NE((*table)[0].Library, nullptr);

    // Each record has its own key in the library's one enable file.
    ASSERT_TRUE(t.SetEnableValue("mixed.mzp.so", Gbk("乙"), "1"));
    const auto reloaded = Scan();
    EXPECT_FALSE((*reloaded)[0].Enabled);
    EXPECT_TRUE((*reloaded)[1].Enabled);
    plugins::SetRecordEnabled(t.plugins, 0, true);
    plugins::SetRecordEnabled(t.plugins, 1, false);
    plugins::SaveEnableStates(t.plugins, t.account_dir);
    EXPECT_EQ(t.EnableValue("mixed.mzp.so", Gbk("甲")), "1");
    EXPECT_EQ(t.EnableValue("mixed.mzp.so", Gbk("乙")), "0");
}

TEST_F(PluginScanTest, FilesThatDescribeNothingAddNothingAndCrashNothing) {
    ASSERT_TRUE(t.Install(TestPlugin("noinfo"), "a-noinfo.mzp.so"));
    ASSERT_TRUE(t.Install(TestPlugin("nullinfo"), "b-nullinfo.mzp.so"));
    ASSERT_TRUE(t.Install(TestPlugin("unresolved"), "c-unresolved.mzp.so"));
    ASSERT_TRUE(t.Install(TestPlugin("throwinginfo"), "d-throwinginfo.mzp.so"));
    ASSERT_TRUE(platform::WriteFileAtomic(t.PluginPath("e-junk.mzp.so"), "not a library"));
    ASSERT_TRUE(platform::WriteFileAtomic(t.PluginPath("f-empty.mzp.so"), ""));
    ASSERT_TRUE(t.Install(ExamplePlugin("weather"), "g-weather.mzp.so"));
    ASSERT_TRUE(t.Install(ExamplePlugin("weather"), "weather.so"));  // not a plugin name
    const auto table = Scan();
    EXPECT_EQ(Names(*table), (std::vector<std::string>{Gbk("天气预报(g-weather.mzp.so)")}));
    // Every candidate file was still announced, in the folder's order.
    EXPECT_EQ(t.screen.TextsOf("ShowStatus"),
              (std::vector<std::string>{"[4/5] a-noinfo.mzp.so", "[4/5] b-nullinfo.mzp.so",
                                        "[4/5] c-unresolved.mzp.so", "[4/5] d-throwinginfo.mzp.so",
                                        "[4/5] e-junk.mzp.so", "[4/5] f-empty.mzp.so",
                                        "[4/5] g-weather.mzp.so"}));
}

TEST_F(PluginScanTest, StatusTextsAndTheClosingOfThePopupFollowWhereTheScanRuns) {
    Scan(true);  // nothing found: the popup is neither shown nor closed
    EXPECT_EQ(t.screen.CountOf("ShowStatus"), 0u);
    EXPECT_EQ(t.screen.CountOf("CloseStatus"), 0u);

    ASSERT_TRUE(t.Install(ExamplePlugin("weather"), "weather.mzp.so"));
    Scan(false);  // the start-up keeps the popup open
    EXPECT_EQ(t.screen.CountOf("CloseStatus"), 0u);
    Scan(true);
    EXPECT_EQ(t.screen.TextsOf("ShowStatus"),
              (std::vector<std::string>{"[4/5] weather.mzp.so", Gbk("载入:weather.mzp.so")}));
    const std::vector<StubScreen::Call> calls = t.screen.Calls();
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls.back().name, "CloseStatus");
    EXPECT_EQ(calls[calls.size() - 2].number, 0);  // shown without a fade
}

TEST_F(PluginScanTest, ANonAsciiFileNameIsShownInGbkAndStillNamesTheFiles) {
    const std::string utf8_name = "\xe5\xa4\xa9\xe6\xb0\x94.mzp.so";  // "天气.mzp.so" on disk
    ASSERT_TRUE(t.Install(ExamplePlugin("weather"), utf8_name));
    ASSERT_TRUE(t.SetEnableValue(utf8_name, Gbk("天气预报"), "1"));
    const auto table = Scan();
    ASSERT_EQ(table->size(), 1u);
    EXPECT_EQ((*table)[0].FileName, utf8_name);
    EXPECT_TRUE((*table)[0].Enabled);
    EXPECT_EQ(t.screen.TextsOf("ShowStatus"), (std::vector<std::string>{Gbk("[4/5] 天气.mzp.so")}));
    EXPECT_EQ(plugins::DisplayFileName(utf8_name), Gbk("天气.mzp.so"));
}

TEST_F(PluginScanTest, EnableFilesDecideTheFlagsAndANewPluginStartsDisabled) {
    ASSERT_TRUE(t.Install(ExamplePlugin("weather"), "weather.mzp.so"));
    const std::string key = Gbk("天气预报");
    EXPECT_FALSE((*Scan())[0].Enabled);
    EXPECT_FALSE(platform::FileExists(t.EnablePath("weather.mzp.so")));  // scanning writes nothing
    for (const auto& [value, enabled] : std::vector<std::pair<std::string, bool>>{
             {"1", true}, {"0", false}, {Gbk("假"), false}, {Gbk("真"), true}, {"yes", true}}) {
        ASSERT_TRUE(t.SetEnableValue("weather.mzp.so", key, value));
        EXPECT_EQ((*Scan())[0].Enabled, enabled) << value;
    }
    // Another library's keys and unrelated keys of the same file do not count.
    ASSERT_TRUE(t.SetEnableValue("weather.mzp.so", key, "0"));
    ASSERT_TRUE(t.SetEnableValue("weather.mzp.so", "other", "1"));
    EXPECT_FALSE((*Scan())[0].Enabled);
    // Saving keeps the file's other keys.
    plugins::SetRecordEnabled(t.plugins, 0, true);
    plugins::SaveEnableStates(t.plugins, t.account_dir);
    EXPECT_EQ(t.EnableValue("weather.mzp.so", key), "1");
    EXPECT_EQ(t.EnableValue("weather.mzp.so", "other"), "1");
}

TEST_F(PluginScanTest, ChecksReachTheTableOnlyForTheRowsThereAre) {
    ASSERT_TRUE(t.Install(TestPlugin("mixed"), "mixed.mzp.so"));
    ASSERT_TRUE(t.Install(ExamplePlugin("weather"), "weather.mzp.so"));
    Scan();
    plugins::SetRecordEnabled(t.plugins, 2, true);
    plugins::ReadChecksIntoTable(t.plugins, {true, false});  // the third record keeps its flag
    const auto table = t.plugins.Table();
    ASSERT_EQ(table->size(), 3u);
    EXPECT_TRUE((*table)[0].Enabled);
    EXPECT_FALSE((*table)[1].Enabled);
    EXPECT_TRUE((*table)[2].Enabled);
    plugins::SetRecordEnabled(t.plugins, 3, true);  // out of range: nothing
    EXPECT_EQ(t.plugins.Table()->size(), 3u);
}

TEST_F(PluginScanTest, AnEntryWantingTheAccountIsEnabledOnlyAfterAYes) {
    ASSERT_TRUE(t.Install(ExamplePlugin("account"), "account.mzp.so"));
    ASSERT_TRUE(t.Install(ExamplePlugin("weather"), "weather.mzp.so"));
    Scan();
    t.screen.ScriptAnswers({false, true});
    EXPECT_FALSE(plugins::ToggleRecord(t.plugins, t.screen, 0, true));
    EXPECT_FALSE((*t.plugins.Table())[0].Enabled);
    EXPECT_TRUE(plugins::ToggleRecord(t.plugins, t.screen, 0, true));
    EXPECT_TRUE((*t.plugins.Table())[0].Enabled);
    const std::string question =
        Gbk("提示\n帐号助手插件试图获取您的帐号信息，是否允许？\r\n注意:"
            "请只给您信任的插件此信息，以免账号被盗！");
    EXPECT_EQ(t.screen.TextsOf("AskYesNo"), (std::vector<std::string>{question, question}));

    // Clearing asks nothing, nor does checking an entry that does not want the account.
    EXPECT_FALSE(plugins::ToggleRecord(t.plugins, t.screen, 0, false));
    EXPECT_TRUE(plugins::ToggleRecord(t.plugins, t.screen, 1, true));
    EXPECT_EQ(t.screen.CountOf("AskYesNo"), 2u);
    EXPECT_FALSE((*t.plugins.Table())[0].Enabled);
    EXPECT_TRUE((*t.plugins.Table())[1].Enabled);
}

TEST_F(PluginScanTest, UninstallRemovesBothFilesAndACopiedBackLibraryStartsDisabled) {
    ASSERT_TRUE(t.Install(TestPlugin("mixed"), "mixed.mzp.so"));
    ASSERT_TRUE(t.Install(ExamplePlugin("weather"), "weather.mzp.so"));
    ASSERT_TRUE(t.SetEnableValue("mixed.mzp.so", Gbk("甲"), "1"));
    ASSERT_TRUE(t.SetEnableValue("weather.mzp.so", Gbk("天气预报"), "1"));
    ASSERT_EQ(Scan()->size(), 3u);

    plugins::UninstallPlugin(t.plugins, t.account_dir, t.screen,
                             1);  // the second record of mixed.mzp.so
    EXPECT_FALSE(platform::FileExists(t.PluginPath("mixed.mzp.so")));
    EXPECT_FALSE(platform::FileExists(t.EnablePath("mixed.mzp.so")));
    const auto after = t.plugins.Table();
    ASSERT_EQ(Names(*after), (std::vector<std::string>{Gbk("天气预报(weather.mzp.so)")}));
    EXPECT_TRUE((*after)[0].Enabled);
    EXPECT_EQ(t.screen.TextsOf("ShowStatus").back(), Gbk("载入:weather.mzp.so"));

    ASSERT_TRUE(t.Install(TestPlugin("mixed"), "mixed.mzp.so"));
    const auto back = Scan();
    ASSERT_EQ(back->size(), 3u);
    EXPECT_FALSE((*back)[0].Enabled);

    plugins::UninstallPlugin(t.plugins, t.account_dir, t.screen,
                             7);  // out of range: nothing happens
    EXPECT_TRUE(platform::FileExists(t.PluginPath("mixed.mzp.so")));
    EXPECT_EQ(plugins::UninstallQuestion(Gbk("甲")), Gbk("您真的要卸载插件\"甲\"吗？"));
}

// The number of echo_answer calls the loaded echo library counted; -1 when it is not loaded.
int LoadedEchoCalls(const std::string& path, bool call_first) {
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (handle == nullptr) {
        return -1;
    }
    if (call_first) {
        auto answer = reinterpret_cast<plugins::MessageHandler>(dlsym(handle, "echo_answer"));
        answer("m", "1", "f", nullptr, "");
    }
    auto calls = reinterpret_cast<int (*)(const char*)>(dlsym(handle, "echo_calls"));
    const int count = calls("echo_answer");
    dlclose(handle);
    return count;
}

TEST_F(PluginScanTest, ARescanKeepsTheLibraryAndItsStateAndUninstallUnloadsIt) {
    ASSERT_TRUE(t.Install(TestPlugin("echo"), "echo.mzp.so"));
    const std::string path = t.PluginPath("echo.mzp.so");
    Scan();
    EXPECT_EQ(LoadedEchoCalls(path, true), 1);
    Scan();
    EXPECT_EQ(LoadedEchoCalls(path, false), 1);  // the same mapping, its counter kept
    plugins::UninstallPlugin(t.plugins, t.account_dir, t.screen, 0);
    EXPECT_TRUE(t.plugins.Table()->empty());
    EXPECT_EQ(LoadedEchoCalls(path, false), -1);  // nothing holds it: unloaded
}

}  // namespace
}  // namespace zelmo::test
