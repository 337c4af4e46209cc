#include <gtest/gtest.h>

#include <QApplication>
#include <QSystemTrayIcon>
#include <string>
#include <vector>

#include "TrayHost.h"
#include "app/Robot.h"
#include "app/ui/MainWindow.h"
#include "app/ui/TrayIcon.h"
#include "config/AccountPaths.h"
#include "config/MinimiseNotice.h"
#include "platform/Clock.h"
#include "platform/Files.h"
#include "platform/GbkLiteral.h"
#include "platform/GbkText.h"
#include "support/StubScreen.h"
#include "support/TestSupport.h"
#include "support/gui/QtPump.h"
#include "widgets/QtText.h"

namespace zelmo::app {
namespace {

// A tray host takes a moment to start.
constexpr auto HOST_WAIT = std::chrono::seconds(15);

QString U(const char* utf8) {
    return QString::fromUtf8(utf8);
}

// Qt shows tray balloons as top-level widgets of this class.
std::vector<QWidget*> VisibleBalloons() {
    std::vector<QWidget*> balloons;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->isVisible() &&
            std::string(widget->metaObject()->className()) == "QBalloonTip") {
            balloons.push_back(widget);
        }
    }
    return balloons;
}

class TrayTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::TrayHost& host = test::TrayHost::Instance();
        if (!host.Missing().empty()) {
            GTEST_SKIP() << host.Missing() << " is not installed (scripts/setup installs it)";
        }
        ASSERT_TRUE(host.Running()) << host.Failure();
        ASSERT_TRUE(host.StartTray());
        ASSERT_TRUE(
            test::PumpUntil([] { return QSystemTrayIcon::isSystemTrayAvailable(); }, HOST_WAIT))
            << "the tray host did not come up";
        robot.SetAccountDir(dir.Path() + "/acct");
        platform::MakeDirectories(robot.AccountDir() + "/config");
        robot.Sessions().Update(
            [](protocol::ProtocolState& state) { state.own.NickName = platform::Gbk("小爱"); });
        window = std::make_unique<MainWindow>(robot, [] {});
        window->show();
        ASSERT_TRUE(test::PumpUntil([this] { return window->isVisible(); }));
    }
    void TearDown() override {
        for (QWidget* balloon : VisibleBalloons()) {
            balloon->close();
        }
        window.reset();
    }

    QSystemTrayIcon* Icon() { return window->Tray()->Icon(); }
    // The icon shows in the tray: it is set visible and the host has docked it.
    bool Docked() { return Icon()->isVisible() && !Icon()->geometry().isEmpty(); }
    bool MinimiseIntoTray() {
        window->showMinimized();
        return test::PumpUntil([this] { return !window->isVisible() && Docked(); });
    }
    std::string SettingsPath() {
        return config::ConfigPath(robot.AccountDir(), config::SETTINGS_FILE);
    }

    test::TempDir dir;
    test::StubScreen screen;
    platform::SystemClock clock;
    Robot robot{RunOptions{dir.Path(), "", AutoAnswer::No}, clock, screen};
    std::unique_ptr<MainWindow> window;
};

TEST_F(TrayTest, MinimiseHidesIntoTheTrayALeftClickRestoresAndTheBalloonComesOnce) {
    ASSERT_TRUE(MinimiseIntoTray());
    EXPECT_EQ(Icon()->toolTip(), U("微信机器人 Brightleaf小爱"));
    ASSERT_TRUE(test::PumpUntil([] { return !VisibleBalloons().empty(); }));
    EXPECT_TRUE(config::MinimiseNoticeShown(SettingsPath()));
    EXPECT_NE(platform::ReadFile(SettingsPath()).find(platform::Gbk("最小化提示=1")),
              std::string::npos);

    // Only a left click brings the window back.
    emit Icon()->activated(QSystemTrayIcon::Context);
    emit Icon()->activated(QSystemTrayIcon::MiddleClick);
    QApplication::processEvents();
    EXPECT_FALSE(window->isVisible());
    emit Icon()->activated(QSystemTrayIcon::Trigger);
    ASSERT_TRUE(test::PumpUntil([this] { return window->isVisible(); }));
    EXPECT_FALSE(window->isMinimized());
    EXPECT_FALSE(Icon()->isVisible());

    for (QWidget* balloon : VisibleBalloons()) {
        balloon->close();
    }
    ASSERT_TRUE(MinimiseIntoTray());
    // Give a balloon every chance to appear before saying there is none.
    test::PumpUntil([] { return !VisibleBalloons().empty(); }, std::chrono::milliseconds(500));
    EXPECT_TRUE(VisibleBalloons().empty());
    EXPECT_TRUE(config::MinimiseNoticeShown(SettingsPath()));
    EXPECT_EQ(screen.CountOf("ShowStatus"), 0U);
}

TEST_F(TrayTest, ARestartedTrayHostGetsTheIconBackWithTheReturningTipWindowShownOrNot) {
    EXPECT_FALSE(Icon()->isVisible());
    test::TrayHost::Instance().StopTray();
    ASSERT_TRUE(test::PumpUntil([] { return !QSystemTrayIcon::isSystemTrayAvailable(); }));
    ASSERT_TRUE(test::TrayHost::Instance().StartTray());
    ASSERT_TRUE(test::PumpUntil([this] { return Docked(); }, HOST_WAIT))
        << "no icon after the restart";
    EXPECT_EQ(Icon()->toolTip(), U("Brightleaf edition微信机器人- 小爱"));
    EXPECT_TRUE(window->isVisible());
    // A click on it removes it again.
    emit Icon()->activated(QSystemTrayIcon::Trigger);
    EXPECT_FALSE(Icon()->isVisible());
    EXPECT_TRUE(window->isVisible());

    // Hidden in the tray when the host restarts: meanwhile the window waits on the task
    // bar; then it is back in the tray with the icon.
    ASSERT_TRUE(MinimiseIntoTray());
    test::TrayHost::Instance().StopTray();
    ASSERT_TRUE(test::PumpUntil([this] { return window->isVisible(); }));
    ASSERT_TRUE(test::TrayHost::Instance().StartTray());
    ASSERT_TRUE(test::PumpUntil(
        [this] { return Docked() && Icon()->toolTip() == U("Brightleaf edition微信机器人- 小爱"); },
        HOST_WAIT));
    EXPECT_TRUE(window->Tray()->WindowInTray());
    EXPECT_FALSE(window->isVisible());
}

TEST_F(TrayTest, ALongNicknameIsCutAtACharacterAndAShortTipAfterItKeepsNoOldBytes) {
    std::string nickname = "x";
    for (int i = 0; i < 80; ++i) {
        nickname += platform::Gbk("爱");
    }
    robot.Sessions().Update([&](protocol::ProtocolState& state) { state.own.NickName = nickname; });
    ASSERT_TRUE(MinimiseIntoTray());
    const std::string full = platform::Gbk("微信机器人 Brightleaf") + nickname;
    const std::string shown = widgets::ToGbk(Icon()->toolTip());
    EXPECT_EQ(shown.size(), 126U);  // 127 would split the last character
    EXPECT_EQ(full.substr(0, shown.size()), shown);

    emit Icon()->activated(QSystemTrayIcon::Trigger);
    robot.Sessions().Update(
        [](protocol::ProtocolState& state) { state.own.NickName = platform::Gbk("短"); });
    ASSERT_TRUE(MinimiseIntoTray());
    EXPECT_EQ(Icon()->toolTip(), U("微信机器人 Brightleaf短"));
}

TEST_F(TrayTest, ATrayHostThatGoesAwayGivesAHiddenWindowBackToTheTaskBar) {
    ASSERT_TRUE(MinimiseIntoTray());
    test::TrayHost::Instance().StopTray();
    ASSERT_TRUE(test::PumpUntil([this] { return window->isVisible(); }))
        << "the window stayed hidden without a tray";
    EXPECT_TRUE(window->isMinimized());
    EXPECT_FALSE(window->Tray()->WindowInTray());
    EXPECT_EQ(screen.TextsOf("ShowStatus"),
              (std::vector<std::string>{platform::Gbk("无托盘，留在任务栏")}));
}

}  // namespace
}  // namespace zelmo::app
