#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "app/Robot.h"
#include "config/AccountPaths.h"
#include "config/Settings.h"
#include "mass/MassSender.h"
#include "platform/Clock.h"
#include "platform/Files.h"
#include "platform/GbkLiteral.h"
#include "support/StubScreen.h"
#include "support/TestSupport.h"

namespace zelmo::mass {
namespace {

using platform::Gbk;

TEST(MassSenderTest, StatusWordsNameEveryAnswerAndNeverEchoLongGarbage) {
    EXPECT_EQ(MassStatusWord("0"), Gbk("成功"));
    EXPECT_EQ(MassStatusWord("-1"), Gbk("失败"));
    EXPECT_EQ(MassStatusWord("1025"), Gbk("频繁"));
    EXPECT_EQ(MassStatusWord(""), Gbk("无应答"));
    EXPECT_EQ(MassStatusWord("1101"), Gbk("未知") + "(1101)");
    EXPECT_EQ(MassStatusWord("-"), Gbk("未知"));
    EXPECT_EQ(MassStatusWord("12abc"), Gbk("未知"));
    EXPECT_EQ(MassStatusWord(std::string(400, '9')), Gbk("未知"));
}

TEST(MassSenderTest, PacingTextsReadAsLeadingIntegersAndOthersAsZero) {
    EXPECT_EQ(MassNumber("500"), 500);
    EXPECT_EQ(MassNumber(" 12ms"), 12);
    EXPECT_EQ(MassNumber("-3"), -3);
    EXPECT_EQ(MassNumber("+7"), 7);
    EXPECT_EQ(MassNumber("abc"), 0);
    EXPECT_EQ(MassNumber(""), 0);
    EXPECT_EQ(MassNumber("-"), 0);
    EXPECT_EQ(MassNumber("99999999999999999999999"), INT_MAX);
    EXPECT_EQ(MassNumber("-99999999999999999999999"), INT_MIN);
}

TEST(MassSenderTest, RunStateGoesIdleRunningStoppingIdleAndRefusesOtherSteps) {
    MassState state;
    EXPECT_FALSE(state.RequestStop());
    ASSERT_TRUE(state.BeginRun({{"@a", "A"}}, {{"L", "t"}}));
    EXPECT_EQ(state.Phase(), MassPhase::Running);
    EXPECT_FALSE(state.BeginRun({}, {}));
    EXPECT_EQ(state.SelectedMembers(), (std::vector<MassMember>{{"@a", "A"}}));
    EXPECT_TRUE(state.RequestStop());
    EXPECT_TRUE(state.StopRequested());
    EXPECT_TRUE(state.Running());
    EXPECT_FALSE(state.RequestStop());
    EXPECT_FALSE(state.BeginRun({}, {}));
    state.EndRun();
    EXPECT_FALSE(state.Running());
    EXPECT_EQ(MassCaption(MassPhase::Running), Gbk("停止群发"));
    EXPECT_EQ(MassCaption(MassPhase::Stopping), Gbk("开始群发"));
    EXPECT_EQ(MassCaption(MassPhase::Idle), Gbk("开始群发"));
}

TEST(MassSenderTest, TextListRowsKeepTheirTicksAndRefuseMissingRows) {
    MassState state;
    state.SetTexts({{"L", "a"}, {"L", "b"}, {"L", "c"}});
    EXPECT_TRUE(state.SetTicked(2, true));
    EXPECT_TRUE(state.SetTicked(0, true));
    EXPECT_FALSE(state.SetTicked(3, true));
    EXPECT_EQ(state.TickedTexts(), (std::vector<AdText>{{"L", "a"}, {"L", "c"}}));
    EXPECT_FALSE(state.ReplaceText(3, {"L", "x"}));
    EXPECT_FALSE(state.DeleteText(3));
    EXPECT_TRUE(state.DeleteText(0));
    EXPECT_EQ(state.TickedTexts(), (std::vector<AdText>{{"L", "c"}}));
    state.InsertText(99, {"L", "end"});
    EXPECT_EQ(state.TextAt(2), (AdText{"L", "end"}));
}

class MassWindowLogicTest : public ::testing::Test {
protected:
    MassWindowLogicTest()
        : robot(app::RunOptions{dir.Path(), "", app::AutoAnswer::No}, clock, screen) {
        robot.SetAccountDir(dir.Path() + "/acct");
        platform::MakeDirectories(robot.AccountDir() + "/config");
    }
    std::vector<std::string> Boxes() const { return screen.TextsOf("ShowMessageBox"); }
    std::string Box(const char* text) const { return Gbk("错误提示") + "\n" + Gbk(text); }

    test::TempDir dir;
    test::StubScreen screen;
    platform::SystemClock clock;
    app::Robot robot;
};

TEST_F(MassWindowLogicTest, AddedTextsStoreLineBreaksAsEnterAndReplaceTheSelectedRow) {
    ASSERT_TRUE(AddMassText(robot.Mass(), robot.Screen(), "one\r\ntwo\r\nthree", -1));
    ASSERT_TRUE(AddMassText(robot.Mass(), robot.Screen(), "top", -1));
    EXPECT_EQ(robot.Mass().TextAt(0), (AdText{Gbk("文本"), "top"}));
    EXPECT_EQ(robot.Mass().TextAt(1), (AdText{Gbk("文本"), "one[enter]two[enter]three"}));
    // Lone line feeds or returns are line breaks too.
    ASSERT_TRUE(AddMassText(robot.Mass(), robot.Screen(), "a\nb\rc", 0));
    EXPECT_EQ(robot.Mass().TextAt(0)->text, "a[enter]b[enter]c");
    EXPECT_EQ(robot.Mass().TextCount(), 2U);
    EXPECT_EQ(MassTextForEditing(robot.Mass(), 1), "one\r\ntwo\r\nthree");
    EXPECT_EQ(MassTextForEditing(robot.Mass(), 5), "");
    EXPECT_EQ(MassTextForEditing(robot.Mass(), -1), "");

    EXPECT_FALSE(AddMassText(robot.Mass(), robot.Screen(), "", -1));
    EXPECT_EQ(Boxes(), (std::vector<std::string>{Box("请输入内容！")}));
    EXPECT_EQ(robot.Mass().TextCount(), 2U);
    // Adding never writes the file.
    EXPECT_FALSE(
        platform::FileExists(config::ConfigPath(robot.AccountDir(), config::MASS_TEXTS_FILE)));
}

TEST_F(MassWindowLogicTest, DeletingAsksAndOnlyYesDeletes) {
    robot.Mass().SetTexts({{"L", "a"}, {"L", "b"}});
    EXPECT_FALSE(AskDeleteMassText(robot.Mass(), robot.Screen(), -1));
    EXPECT_EQ(screen.CountOf("AskYesNo"), 0U);
    screen.ScriptAnswers({false, true});
    EXPECT_FALSE(AskDeleteMassText(robot.Mass(), robot.Screen(), 1));
    EXPECT_TRUE(AskDeleteMassText(robot.Mass(), robot.Screen(), 1));
    EXPECT_EQ(screen.TextsOf("AskYesNo"),
              (std::vector<std::string>(2, Gbk("提示") + "\n" + Gbk("是否删除该广告词？"))));
    EXPECT_EQ(robot.Mass().Rows(), (std::vector<TextRow>{{{"L", "a"}, false}}));
}

TEST_F(MassWindowLogicTest, NoMembersIsRefusedAfterThePacingAndTextsWereKept) {
    robot.Mass().SetTexts({{"L", "a"}});
    robot.Mass().SetTicked(0, true);
    StartStopMass(robot.MassParts(), MassRequest{{"10", "3", "20"}, {}});
    EXPECT_EQ(Boxes(), (std::vector<std::string>{Box("请勾选要群发的成员！")}));
    EXPECT_EQ(screen.CountOf("AppendMassLog"), 0U);
    EXPECT_FALSE(robot.Mass().Running());
    const config::MassSettings pacing = *robot.Settings().GetMass();
    EXPECT_EQ(pacing.消息延时, "10");
    EXPECT_EQ(pacing.重复几遍, "3");
    EXPECT_EQ(pacing.重复延时, "20");
    EXPECT_EQ(platform::ReadFile(config::ConfigPath(robot.AccountDir(), config::MASS_TEXTS_FILE)),
              "L\r\na");
}

TEST_F(MassWindowLogicTest, MembersWithoutTextsLogTheMemberLinesThenRefuse) {
    robot.Mass().SetTexts({{"L", "unticked"}});
    StartStopMass(robot.MassParts(), MassRequest{{"0", "1", "0"}, {{"@a", "A"}, {"@b", "B"}}});
    EXPECT_EQ(
        screen.TextsOf("AppendMassLog"),
        (std::vector<std::string>{Gbk("启动群发程序，开始群发！"), Gbk("\r\n已选中2个微信成员")}));
    EXPECT_EQ(Boxes(), (std::vector<std::string>{Box("请勾选要群发的广告词！")}));
    EXPECT_FALSE(robot.Mass().Running());
    EXPECT_EQ(screen.CountOf("SetMassRunning"), 0U);
}

TEST_F(MassWindowLogicTest, AClickWhileStoppingIsRefusedAndAClickWhileRunningAsksToStop) {
    robot.Mass().SetTexts({{"L", "a"}});
    robot.Mass().SetTicked(0, true);
    ASSERT_TRUE(robot.Mass().BeginRun({{"@a", "A"}}, {{"L", "a"}}));
    StartStopMass(robot.MassParts(), MassRequest{{"0", "1", "0"}, {{"@a", "A"}}});
    EXPECT_TRUE(robot.Mass().StopRequested());
    EXPECT_EQ(screen.TextsOf("SetMassCaption"), (std::vector<std::string>{Gbk("开始群发")}));
    StartStopMass(robot.MassParts(), MassRequest{{"0", "1", "0"}, {{"@a", "A"}}});
    EXPECT_EQ(Boxes(), (std::vector<std::string>{Box("请操作不要太快！")}));
    EXPECT_TRUE(robot.Mass().StopRequested());
    EXPECT_EQ(screen.CountOf("AppendMassLog"), 0U);
}

TEST_F(MassWindowLogicTest, TheLogFlagSilencesTheLogBox) {
    config::MassSettings settings = *robot.Settings().GetMass();
    settings.监控日志 = false;
    robot.Settings().SetMass(settings);
    MassLog(robot.Mass(), robot.Settings(), robot.Screen(), "hidden");
    settings.监控日志 = true;
    robot.Settings().SetMass(settings);
    MassLog(robot.Mass(), robot.Settings(), robot.Screen(), "shown");
    EXPECT_EQ(screen.TextsOf("AppendMassLog"), (std::vector<std::string>{"shown"}));
}

TEST_F(MassWindowLogicTest, ClosingKeepsThePacingInBothFiles) {
    robot.Mass().SetTexts({{"L", "a"}, {"L", "b"}});
    ASSERT_TRUE(KeepMassWindow(robot.Mass(), robot.Settings(), robot.AccountDir(),
                               MassPacing{"700", "4", "9000"}));
    const std::string settings_path = config::ConfigPath(robot.AccountDir(), config::SETTINGS_FILE);
    const config::MassSettings saved = config::LoadMassSettings(settings_path);
    EXPECT_EQ(saved.消息延时, "700");
    EXPECT_EQ(saved.重复几遍, "4");
    EXPECT_EQ(saved.重复延时, "9000");
    EXPECT_TRUE(saved.监控日志);
    EXPECT_EQ(platform::ReadFile(config::ConfigPath(robot.AccountDir(), config::MASS_TEXTS_FILE)),
              "L\r\na\r\n\r\nL\r\nb");
}

TEST(MassSenderNoAccountTest, NothingIsWrittenWithoutAnAccountFolder) {
    test::TempDir dir;
    test::StubScreen screen;
    platform::SystemClock clock;
    app::Robot robot(app::RunOptions{dir.Path(), "", app::AutoAnswer::No}, clock, screen);
    robot.Mass().SetTexts({{"L", "a"}});
    EXPECT_FALSE(SaveMassTexts(robot.Mass(), robot.AccountDir()));
    EXPECT_FALSE(KeepMassWindow(robot.Mass(), robot.Settings(), robot.AccountDir(),
                                MassPacing{"1", "1", "1"}));
    EXPECT_FALSE(platform::FileExists("/config/mass.ini"));
}

}  // namespace
}  // namespace zelmo::mass
