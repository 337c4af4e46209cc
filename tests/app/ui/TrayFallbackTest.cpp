#include <gtest/gtest.h>

#include <QApplication>
#include <QEventLoop>
#include <QSystemTrayIcon>
#include <QTimer>
#include <string>
#include <vector>

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

namespace zelmo::app {
namespace {

// Lets the queued minimise handling run.
void RunPendingEvents() {
    QEventLoop loop;
    QTimer::singleShot(20, &loop, &QEventLoop::quit);
    loop.exec();
}

TEST(TrayTipTest, TipsAreCutTo127BytesAtACharacterBoundary) {
    const std::string prefix = platform::Gbk("微信机器人 Brightleaf");
    EXPECT_EQ(TrayTip(prefix, platform::Gbk("小爱")), prefix + platform::Gbk("小爱"));
    std::string nickname;
    for (int i = 0; i < 70; ++i) {
        nickname += platform::Gbk("爱");
    }
    const std::string even = TrayTip(prefix, nickname);
    EXPECT_EQ(even.size(), 127U);
    const std::string odd = TrayTip(prefix, "x" + nickname);
    EXPECT_EQ(odd.size(), 126U);
    EXPECT_TRUE(platform::IsGbkBoundary(prefix + "x" + nickname, odd.size()));
    EXPECT_EQ(TrayTip("", ""), "");
}

TEST(TrayFallbackTest, WithoutATrayHostMinimisingKeepsTheWindowOnTheTaskBarAndSaysSoOnce) {
    ASSERT_FALSE(QSystemTrayIcon::isSystemTrayAvailable()) << "offscreen has no tray";
    test::TempDir dir;
    test::StubScreen screen;
    platform::SystemClock clock;
    Robot robot(RunOptions{dir.Path(), "", AutoAnswer::No}, clock, screen);
    robot.SetAccountDir(dir.Path() + "/acct");
    platform::MakeDirectories(robot.AccountDir() + "/config");
    MainWindow window(robot, [] {});
    EXPECT_EQ(window.minimumSize(), QSize(200, 235));
    window.show();
    for (int round = 0; round < 2; ++round) {
        window.showMinimized();
        RunPendingEvents();
        EXPECT_TRUE(window.isVisible());
        EXPECT_TRUE(window.isMinimized());
        EXPECT_FALSE(window.Tray()->Icon()->isVisible());
        window.showNormal();
        RunPendingEvents();
    }
    EXPECT_EQ(screen.TextsOf("ShowStatus"),
              (std::vector<std::string>{platform::Gbk("无托盘，留在任务栏")}));
    // No balloon was shown, so the account still has it to come.
    EXPECT_FALSE(
        config::MinimiseNoticeShown(config::ConfigPath(robot.AccountDir(), config::SETTINGS_FILE)));
}

}  // namespace
}  // namespace zelmo::app
