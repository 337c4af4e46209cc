#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/Robot.h"
#include "config/AccountPaths.h"
#include "mass/MassTexts.h"
#include "platform/Clock.h"
#include "platform/Files.h"
#include "platform/GbkLiteral.h"
#include "support/StubScreen.h"
#include "support/TestSupport.h"

namespace zelmo::mass {
namespace {

std::vector<TextRow> Unticked(const std::vector<AdText>& texts) {
    std::vector<TextRow> rows;
    for (const AdText& text : texts) {
        rows.push_back(TextRow{text, false});
    }
    return rows;
}

TEST(MassTextsTest, BlocksGiveOneTextPerLineUnderTheirLabel) {
    const std::string label = platform::Gbk("文本");
    const std::vector<AdText> texts = ParseMassTexts(
        label + "\r\nA\r\nB\r\n\r\nother\r\nC\r\n\r\nlonely\r\n\r\n" + label + "\r\nx[enter]y");
    const std::vector<AdText> expected = {
        {label, "A"}, {label, "B"}, {"other", "C"}, {label, "x[enter]y"}};
    EXPECT_EQ(texts, expected);
}

TEST(MassTextsTest, SavedRowsReadBackInOrderAndTheLayoutIsTheBlockFormat) {
    const std::string label = platform::Gbk("文本");
    const std::vector<AdText> texts = {{label, platform::Gbk("你好[enter]世界")}, {label, "2"}};
    const std::string file = SerializeMassTexts(Unticked(texts));
    EXPECT_EQ(file,
              label + "\r\n" + platform::Gbk("你好[enter]世界") + "\r\n\r\n" + label + "\r\n2");
    EXPECT_EQ(ParseMassTexts(file), texts);
    EXPECT_EQ(SerializeMassTexts({}), "");
}

TEST(MassTextsTest, StrayLinesAndForeignLineBreaksDoNotBecomeTexts) {
    // Extra blank lines between blocks, a trailing break and a file with bare line feeds.
    const std::vector<AdText> texts =
        ParseMassTexts("L\r\nA\r\n\r\n\r\n\r\nL\r\nB\r\n\r\nL\nC\n\nL\nD\r\n");
    const std::vector<AdText> expected = {{"L", "A"}, {"L", "B"}, {"L", "C"}, {"L", "D"}};
    EXPECT_EQ(texts, expected);
    EXPECT_TRUE(ParseMassTexts("").empty());
    EXPECT_TRUE(ParseMassTexts("\r\n\r\n\r\n").empty());
}

TEST(MassTextsTest, AnyBytesGiveABoundedList) {
    std::string noise;
    for (int i = 0; i < 4096; ++i) {
        noise += static_cast<char>((i * 131 + 7) % 256);
    }
    const std::vector<AdText> texts = ParseMassTexts(noise);
    std::size_t bytes = 0;
    for (const AdText& text : texts) {
        bytes += text.text.size();
        EXPECT_FALSE(text.text.empty());
    }
    EXPECT_LE(bytes, noise.size());
}

class MassTextFileTest : public ::testing::Test {
protected:
    MassTextFileTest()
        : robot(app::RunOptions{dir.Path(), "", app::AutoAnswer::No}, clock, screen) {
        robot.SetAccountDir(dir.Path() + "/acct");
        platform::MakeDirectories(robot.AccountDir() + "/config");
    }
    std::string FilePath() const {
        return config::ConfigPath(robot.AccountDir(), config::MASS_TEXTS_FILE);
    }

    test::TempDir dir;
    test::StubScreen screen;
    platform::SystemClock clock;
    app::Robot robot;
};

TEST_F(MassTextFileTest, LoadFillsTheListUntickedAndTellsTheWindow) {
    ASSERT_TRUE(platform::WriteFileAtomic(FilePath(), "L\r\nA\r\nB"));
    robot.Mass().SetTexts({{"old", "x"}});
    robot.Mass().SetTicked(0, true);
    LoadMassTexts(robot.Mass(), robot.AccountDir(), robot.Screen());
    const std::vector<TextRow> expected = {{{"L", "A"}, false}, {{"L", "B"}, false}};
    EXPECT_EQ(robot.Mass().Rows(), expected);
    EXPECT_EQ(screen.CountOf("ShowMassTexts"), 1U);

    // A missing file is an empty list, and a save then creates the file.
    platform::DeleteFile(FilePath());
    LoadMassTexts(robot.Mass(), robot.AccountDir(), robot.Screen());
    EXPECT_EQ(robot.Mass().TextCount(), 0U);
    robot.Mass().InsertText(0, {"L", "new"});
    EXPECT_TRUE(SaveMassTexts(robot.Mass(), robot.AccountDir()));
    EXPECT_EQ(platform::ReadFile(FilePath()), "L\r\nnew");

    // A UTF-8 file ("文本" and "你好") is converted, its original kept, and written back
    // as GBK with the file it replaces as the .bak.
    const std::string utf8 = "\xE6\x96\x87\xE6\x9C\xAC\r\n\xE4\xBD\xA0\xE5\xA5\xBD";
    ASSERT_TRUE(platform::WriteFileAtomic(FilePath(), utf8));
    const platform::TextFileReport report =
        LoadMassTexts(robot.Mass(), robot.AccountDir(), robot.Screen());
    EXPECT_EQ(report.state, platform::TextFileState::Converted);
    EXPECT_EQ(platform::ReadFile(report.backup_path), utf8);
    EXPECT_EQ(robot.Mass().Rows(),
              (std::vector<TextRow>{{{platform::Gbk("文本"), platform::Gbk("你好")}, false}}));
    EXPECT_TRUE(SaveMassTexts(robot.Mass(), robot.AccountDir()));
    EXPECT_EQ(platform::ReadFile(FilePath()), platform::Gbk("文本\r\n你好"));
    EXPECT_EQ(platform::ReadFile(platform::BackupPath(FilePath())), utf8);
}

TEST_F(MassTextFileTest, AFolderInPlaceOfTheFileIsNotMistakenForAnEmptyList) {
    // Unreadable for root too: a folder where the file should be.
    ASSERT_TRUE(platform::MakeDirectories(FilePath()));
    const platform::TextFileReport report =
        LoadMassTexts(robot.Mass(), robot.AccountDir(), robot.Screen());
    EXPECT_EQ(report.state, platform::TextFileState::Unreadable);
    EXPECT_EQ(report.reason, "Is a directory");
    EXPECT_FALSE(robot.Mass().MaySaveTexts());
    EXPECT_FALSE(SaveMassTexts(robot.Mass(), robot.AccountDir()));
    EXPECT_TRUE(platform::FileExists(FilePath()));
}

}  // namespace
}  // namespace zelmo::mass
