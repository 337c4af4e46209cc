#include <gtest/gtest.h>

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTabWidget>
#include <QTreeView>

#include "app/Robot.h"
#include "app/ui/MainWindow.h"
#include "app/ui/QtUiPort.h"
#include "platform/Clock.h"
#include "support/StubScreen.h"
#include "support/TestSupport.h"

namespace zelmo::app {
namespace {

template <typename T>
T* Find(QWidget& window, const char* name) {
    return window.findChild<T*>(QString::fromUtf8(name));
}

TEST(MainWindowTest, HoldsEveryControlOfTheMainWindow) {
    test::TempDir dir;
    test::StubScreen screen;
    platform::SystemClock clock;
    Robot robot(RunOptions{dir.Path(), "", AutoAnswer::No}, clock, screen);
    MainWindow window(robot, [] {});

    EXPECT_EQ(window.windowTitle(), QString::fromUtf8("Zelmo 5.3  在线"));
    QTabWidget* tabs = Find<QTabWidget>(window, "选择夹1");
    ASSERT_NE(tabs, nullptr);
    for (const char* name : {"好友列表框", "群号列表", "公众号列表框"}) {
        QTreeView* list = Find<QTreeView>(window, name);
        ASSERT_NE(list, nullptr) << name;
        EXPECT_GE(tabs->indexOf(list), 0) << name;
    }
    EXPECT_NE(Find<QLabel>(window, "图片框_头像"), nullptr);
    EXPECT_NE(Find<QLabel>(window, "标签_昵称"), nullptr);
    EXPECT_NE(Find<QLabel>(window, "签名透明_个签"), nullptr);
    EXPECT_NE(Find<QLabel>(window, "标签_刷新"), nullptr);
    QLineEdit* signature_box = Find<QLineEdit>(window, "签名框");
    ASSERT_NE(signature_box, nullptr);
    EXPECT_TRUE(signature_box->isHidden());
    for (const char* name : {"按钮_群发", "按钮_设置", "按钮_消息"}) {
        EXPECT_NE(Find<QPushButton>(window, name), nullptr) << name;
    }
    QMenu* friend_menu = Find<QMenu>(window, "-好友菜单");
    QMenu* group_menu = Find<QMenu>(window, "-群菜单");
    ASSERT_NE(friend_menu, nullptr);
    ASSERT_NE(group_menu, nullptr);
    EXPECT_NE(friend_menu->findChild<QAction*>(QString::fromUtf8("修改备注")), nullptr);
    EXPECT_NE(group_menu->findChild<QAction*>(QString::fromUtf8("成员列表")), nullptr);
}

TEST(MainWindowTest, OwnHeaderShowsNicknameAndSignatureAndAnUnreadableAvatarAsEmpty) {
    test::TempDir dir;
    test::StubScreen screen;
    platform::SystemClock clock;
    Robot robot(RunOptions{dir.Path(), "", AutoAnswer::No}, clock, screen);
    MainWindow window(robot, [] {});
    window.ShowOwnHeader("not an image", "\xd0\xa1\xb0\xae", "sig");  // "小爱"
    EXPECT_EQ(Find<QLabel>(window, "标签_昵称")->text(), QString::fromUtf8("小爱"));
    EXPECT_EQ(Find<QLabel>(window, "签名透明_个签")->text(), "sig");
    EXPECT_EQ(Find<QLineEdit>(window, "签名框")->text(), "sig");
    EXPECT_TRUE(Find<QLabel>(window, "图片框_头像")->pixmap().isNull());
}

TEST(MainWindowTest, SettingsButtonOpensOneSettingsWindowWithThePluginPage) {
    test::TempDir dir;
    test::StubScreen screen;
    platform::SystemClock clock;
    Robot robot(RunOptions{dir.Path(), "", AutoAnswer::No}, clock, screen);
    robot.SetAccountDir(dir.Path());
    MainWindow window(robot, [] {});
    QPushButton* button = Find<QPushButton>(window, "按钮_设置");
    button->click();
    button->click();

    const QList<QWidget*> settings =
        window.findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly);
    int windows = 0;
    QWidget* opened = nullptr;
    for (QWidget* child : settings) {
        if (child->isWindow() && child->windowTitle() == QString::fromUtf8("设置")) {
            ++windows;
            opened = child;
        }
    }
    ASSERT_EQ(windows, 1);
    EXPECT_TRUE(opened->isVisible());
    EXPECT_NE(opened->findChild<QWidget*>(QString::fromUtf8("接口列表")), nullptr);
    EXPECT_NE(opened->findChild<QWidget*>(QString::fromUtf8("按钮_卸载")), nullptr);
    opened->close();
}

}  // namespace
}  // namespace zelmo::app
