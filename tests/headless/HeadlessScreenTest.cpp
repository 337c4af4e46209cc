#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <ctime>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "headless/HeadlessScreen.h"
#include "headless/QrReading.h"
#include "platform/Files.h"
#include "platform/GbkLiteral.h"
#include "sim/QrPng.h"
#include "support/FakeClock.h"
#include "support/TestSupport.h"

namespace zelmo::test {
namespace {

using headless::HeadlessScreen;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

// "YYYY-MM-DD HH:MM:SS " with digits where the pattern has "9".
constexpr std::string_view STAMP = "9999-99-99 99:99:99 ";

bool IsStamped(std::string_view line) {
    if (line.size() < STAMP.size()) {
        return false;
    }
    for (std::size_t i = 0; i < STAMP.size(); ++i) {
        const bool digit = line[i] >= '0' && line[i] <= '9';
        if (STAMP[i] == '9' ? !digit : line[i] != STAMP[i]) {
            return false;
        }
    }
    return true;
}

// A screen whose output lands in a list of lines; the clock runs in UTC.
class ScreenRig {
public:
    explicit ScreenRig(app::AutoAnswer answer = app::AutoAnswer::Ask,
                       headless::QrScheme scheme = headless::QrScheme::LightOnDark,
                       std::string qr_file = {})
        : m_qr_file(qr_file.empty() ? m_dir.Path() + "/qr.png" : std::move(qr_file)),
          m_screen(
              {answer, m_qr_file, scheme}, m_clock,
              [this](std::string_view text) {
                  std::lock_guard lock(m_mutex);
                  m_output += text;
              },
              [this](int code) { m_end_codes.push_back(code); }) {
        setenv("TZ", "UTC", 1);
        tzset();
    }

    HeadlessScreen& Screen() { return m_screen; }
    FakeClock& Clock() { return m_clock; }
    const std::string& QrFile() const { return m_qr_file; }
    const std::vector<int>& EndCodes() const { return m_end_codes; }
    std::string Output() {
        std::lock_guard lock(m_mutex);
        return m_output;
    }
    // The output's lines without their time stamps; every stamped line must have one.
    std::vector<std::string> Lines() {
        std::vector<std::string> lines;
        const std::string text = Output();
        std::size_t start = 0;
        while (start < text.size()) {
            const std::size_t end = text.find('\n', start);
            lines.push_back(text.substr(start, end - start));
            start = end + 1;
        }
        return lines;
    }
    std::vector<std::string> Unstamped() {
        std::vector<std::string> rest;
        for (const std::string& line : Lines()) {
            rest.push_back(IsStamped(line) ? line.substr(STAMP.size()) : "UNSTAMPED " + line);
        }
        return rest;
    }

private:
    TempDir m_dir;
    FakeClock m_clock;
    std::string m_qr_file;
    std::mutex m_mutex;
    std::string m_output;
    std::vector<int> m_end_codes;
    HeadlessScreen m_screen;
};

TEST(HeadlessScreenTest, EventsAreStampedUtf8LinesAndRepeatedCaptionsPrintOnce) {
    ScreenRig rig;
    HeadlessScreen& screen = rig.Screen();
    screen.ShowStatus(platform::Gbk("[1/5] 初始化　"), false);
    screen.SetLoginCaption(platform::Gbk("还未确认或者还未扫码"));
    screen.SetLoginCaption(platform::Gbk("还未确认或者还未扫码"));
    screen.SetMainCaption(platform::Gbk("Zelmo 5.3  在线"));
    screen.SetMainCaption(platform::Gbk("Zelmo 5.3  在线"));
    rig.Clock().Advance(61'000);
    screen.SetMainCaption(platform::Gbk("Zelmo 5.3  离线"));
    screen.SetMainCaption(platform::Gbk("Zelmo 5.3  在线"));
    screen.AddLogRow(platform::Gbk("[↓]好友"), "9:5:7", platform::Gbk("小爱"), "Zelmo",
                     platform::Gbk("你好"));
    screen.LogRowFile("1234", "/d/media/2024-01/1234_价目表.jpg");
    screen.ShowMessageBox(platform::Gbk("错误提示"), platform::Gbk("二维码加载失败"));
    // Events the robot notes for the log come out the same way, without their tokens.
    screen.LogEvent("relogin", platform::Gbk("重新登录 wxsid=Ab3\r\n"));
    EXPECT_THAT(rig.Unstamped(),
                ElementsAre("status [1/5] 初始化　", "login 还未确认或者还未扫码",
                            "main Zelmo 5.3  在线", "main Zelmo 5.3  离线", "main Zelmo 5.3  在线",
                            "log [↓]好友 9:5:7 小爱 -> Zelmo: 你好",
                            "log saved /d/media/2024-01/1234_价目表.jpg (MsgId 1234)",
                            "box 错误提示: 二维码加载失败", "relogin 重新登录 wxsid=***\\r\\n"));
    EXPECT_EQ(rig.Lines().front().substr(0, 19), "2024-01-01 00:00:00");
    EXPECT_EQ(rig.Lines().back().substr(0, 19), "2024-01-01 00:01:01");
}

TEST(HeadlessScreenTest, ControlCharactersFromChatPartnersCannotReachTheTerminal) {
    EXPECT_EQ(headless::PrintableLine("a\r\nb\tc\x1b[2J\x07\x7f"),
              "a\\r\\nb\\tc\\x1b[2J\\x07\\x7f");
    ScreenRig rig;
    // A row's further lines follow indented, behind blanks where a stamp would stand, so a
    // chat partner cannot forge a line of the robot's own.
    rig.Screen().AddLogRow("L", "1:2:3", "src", "dst",
                           "line1\r\n2024-01-01 00:00:00 box x\nline3\x1b]0;title\x07\r\n");
    rig.Screen().AddLogRow("L", "1:2:4", "src", "dst", "one\rline");
    const std::string indent(24, ' ');
    EXPECT_THAT(rig.Unstamped(), ElementsAre("log L 1:2:3 src -> dst: line1",
                                             "UNSTAMPED " + indent + "2024-01-01 00:00:00 box x",
                                             "UNSTAMPED " + indent + "line3\\x1b]0;title\\x07",
                                             "log L 1:2:4 src -> dst: one\\rline"));
}

TEST(HeadlessScreenTest, TheContactsLineCountsEveryKind) {
    using contacts::KIND_FEMALE;
    using contacts::KIND_GROUP;
    using contacts::KIND_MALE;
    using contacts::KIND_PUBLIC;
    using contacts::KIND_UNKNOWN;
    std::map<std::string, std::size_t, std::less<>> kinds = {{std::string(KIND_MALE), 4},
                                                             {std::string(KIND_FEMALE), 3},
                                                             {std::string(KIND_UNKNOWN), 2},
                                                             {std::string(KIND_GROUP), 3},
                                                             {std::string(KIND_PUBLIC), 2}};
    EXPECT_EQ(headless::ContactsLine(kinds), "contacts 14 (friends 9, groups 3, official 2)");
    EXPECT_EQ(headless::ContactsLine({}), "contacts 0 (friends 0, groups 0, official 0)");
}

TEST(HeadlessScreenTest, QuestionsGetTheAnswerThatLosesNothingUnlessOneWasGiven) {
    const std::string title = platform::Gbk("提示");
    const std::string save = platform::Gbk("您还有未储存的的词库，是否保存？");
    const std::string quit = platform::Gbk("您确定要退出微信机器人吗");
    const std::string uninstall = platform::Gbk("您真的要卸载插件\"天气\"吗？");
    {
        ScreenRig rig;
        EXPECT_TRUE(rig.Screen().AskYesNo(title, save));
        EXPECT_TRUE(rig.Screen().AskYesNo(title, platform::Gbk("您已修改了词库，是否保存")));
        EXPECT_FALSE(rig.Screen().AskYesNo(title, quit));
        EXPECT_FALSE(rig.Screen().AskYesNo(title, uninstall));
        EXPECT_THAT(rig.Unstamped(),
                    ElementsAre("ask 提示: 您还有未储存的的词库，是否保存？ -> yes",
                                "ask 提示: 您已修改了词库，是否保存 -> yes",
                                "ask 提示: 您确定要退出微信机器人吗 -> no",
                                "ask 提示: 您真的要卸载插件\"天气\"吗？ -> no"));
    }
    ScreenRig no(app::AutoAnswer::No);
    EXPECT_FALSE(no.Screen().AskYesNo(title, save));
    ScreenRig yes(app::AutoAnswer::Yes);
    EXPECT_TRUE(yes.Screen().AskYesNo(title, uninstall));
}

TEST(HeadlessScreenTest, MassLogTextBecomesOneLinePerLineItCarries) {
    ScreenRig rig;
    rig.Screen().AppendMassLog(platform::Gbk("发送给 小爱\r\n成功\r\n\r\n"));
    rig.Screen().AppendMassLog("");
    rig.Screen().AppendMassLog("last\nno break");
    rig.Screen().SetMassRunning(true);
    EXPECT_THAT(rig.Unstamped(), ElementsAre("mass 发送给 小爱", "mass 成功", "mass last",
                                             "mass no break", "mass run started"));
}

TEST(HeadlessScreenTest, QrImageIsWrittenAndDrawnBelowItsPath) {
    const std::string url = "https://login.weixin.qq.com/l/QR-cycle-1";
    const std::string png = sim::QrCodePng(url, 5);
    for (const auto scheme : {headless::QrScheme::LightOnDark, headless::QrScheme::DarkOnLight}) {
        ScreenRig rig(app::AutoAnswer::Ask, scheme);
        rig.Screen().ShowQrImage(png);
        EXPECT_EQ(platform::ReadFile(rig.QrFile()), png);
        // It carries the login's uuid.
        struct stat status {};
        ASSERT_EQ(::stat(rig.QrFile().c_str(), &status), 0);
        EXPECT_EQ(status.st_mode & 0777, 0600u);
        const std::string output = rig.Output();
        const std::size_t first_break = output.find('\n');
        ASSERT_NE(first_break, std::string::npos);
        EXPECT_THAT(output.substr(0, first_break), HasSubstr(" qr " + rig.QrFile()));
        const platform::GrayImage drawn =
            ReadHalfBlocks(std::string_view(output).substr(first_break + 1),
                           scheme == headless::QrScheme::DarkOnLight);
        EXPECT_EQ(DecodeQrSymbols(drawn), std::vector<std::string>{url});
    }
}

TEST(HeadlessScreenTest, AnImageThatCannotBeDrawnIsStillSavedAndAFailedWriteIsSaid) {
    ScreenRig rig;
    const std::string jpeg_like = "\xff\xd8\xff\xe0 not a png";
    rig.Screen().ShowQrImage(jpeg_like);
    EXPECT_EQ(platform::ReadFile(rig.QrFile()), jpeg_like);
    EXPECT_THAT(rig.Unstamped(), ElementsAre("qr " + rig.QrFile() +
                                             " (not a QR code picture that can be drawn here)"));

    ScreenRig unwritable(app::AutoAnswer::Ask, headless::QrScheme::LightOnDark,
                         "/proc/no-such-folder/qr.png");
    unwritable.Screen().ShowQrImage(sim::QrCodePng("x", 2));
    const std::vector<std::string> lines = unwritable.Unstamped();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.front(), "qr could not write /proc/no-such-folder/qr.png");
    // The code is drawn all the same: a camera can still read it from the terminal.
    EXPECT_GT(lines.size(), 10u);
}

TEST(HeadlessScreenTest, TheEndOfTheProgramReachesTheMainThreadWithItsCode) {
    ScreenRig rig;
    rig.Screen().EndProgram(3);
    rig.Screen().EndProgram(0);
    EXPECT_THAT(rig.EndCodes(), ElementsAre(3, 0));
    EXPECT_FALSE(rig.Screen().HandedOver());
    rig.Screen().OpenMainWindow();
    EXPECT_TRUE(rig.Screen().HandedOver());
}

}  // namespace
}  // namespace zelmo::test
