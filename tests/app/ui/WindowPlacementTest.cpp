#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QPushButton>
#include <QScreen>
#include <QTreeView>
#include <string>

#include "app/Robot.h"
#include "app/ui/MainWindow.h"
#include "app/ui/QtUiPort.h"
#include "app/ui/WindowPlacement.h"
#include "mass/ui/MassSendWindow.h"
#include "messages/ui/KnowledgeBaseEditor.h"
#include "platform/Clock.h"
#include "platform/Files.h"
#include "support/gui/ViewsSupport.h"

namespace zelmo::test {
namespace {

QString U(const char* utf8) {
    return QString::fromUtf8(utf8);
}

QRect Area() {
    return QGuiApplication::primaryScreen()->availableGeometry();
}

// Centres may differ by a pixel where a size is odd.
void ExpectCentredOver(const QWidget* window, const QWidget* owner) {
    const QPoint offset = window->frameGeometry().center() - owner->frameGeometry().center();
    EXPECT_LE(offset.manhattanLength(), 2) << window->windowTitle().toStdString();
}

void ExpectOnScreen(const QWidget* window) {
    EXPECT_TRUE(Area().contains(window->frameGeometry()))
        << window->windowTitle().toStdString() << " at " << window->frameGeometry().x() << ","
        << window->frameGeometry().y() << " " << window->frameGeometry().width() << "x"
        << window->frameGeometry().height();
}

TEST(WindowPlacementTest, AFrameOpensCentredOverItsOwnerAndInsideTheArea) {
    using app::CentredOver;
    const QRect screen(0, 0, 1280, 800);
    const QRect below_panel(0, 30, 1280, 770);
    const QRect right_screen(1920, 0, 1280, 1024);
    // Over an owner in the middle: centred on it.
    EXPECT_EQ(CentredOver({300, 200}, {260, 140, 760, 520}, screen), QRect(490, 300, 300, 200));
    // No owner: the middle of the area.
    EXPECT_EQ(CentredOver({300, 200}, {}, below_panel), QRect(490, 315, 300, 200));
    // An owner at an edge, or partly off the screen: the window stays inside.
    EXPECT_EQ(CentredOver({400, 300}, {1100, 650, 760, 520}, screen), QRect(880, 500, 400, 300));
    EXPECT_EQ(CentredOver({400, 300}, {-500, -400, 600, 500}, below_panel), QRect(0, 30, 400, 300));
    // On the second screen of two, over its owner there.
    EXPECT_EQ(CentredOver({300, 200}, {2200, 300, 600, 400}, right_screen),
              QRect(2350, 400, 300, 200));
    // Larger than the area: cut to it.
    EXPECT_EQ(CentredOver({1400, 900}, {0, 0, 800, 600}, screen), screen);

    // Moving in: the part that sticks out comes back, a window that fits is left alone.
    EXPECT_EQ(app::FitInto({1200, 700, 480, 420}, screen), QRect(800, 380, 480, 420));
    EXPECT_EQ(app::FitInto({100, 100, 480, 420}, screen), QRect(100, 100, 480, 420));
    EXPECT_EQ(app::FitInto({100, -50, 480, 1000}, below_panel), QRect(100, 30, 480, 770));
}

TEST(WindowPlacementTest, SecondaryWindowsOpenCentredOverTheMainWindowAndOnScreen) {
    ViewsRobot views;
    FillSampleStore(views.Robot().Contacts());
    views.Robot().SetAccountDir(views.Dir());
    app::MainWindow window(views.Robot(), {});
    window.RefreshContactLists();
    window.setGeometry(150, 100, 500, 400);
    window.show();

    window.OpenChatWindow("Bob", "@bob");
    ASSERT_NE(window.Chat(), nullptr);
    ExpectCentredOver(window.Chat(), &window);
    ExpectOnScreen(window.Chat());
    window.findChild<QPushButton*>(U("按钮_设置"))->click();
    QWidget* settings = nullptr;
    for (QWidget* child : window.findChildren<QWidget*>()) {
        if (child->isWindow() && child->windowTitle() == U("设置")) {
            settings = child;
        }
    }
    ASSERT_NE(settings, nullptr);
    ExpectCentredOver(settings, &window);
    ExpectOnScreen(settings);
    settings->close();

    // The owner in a corner, partly off the screen: what opens now stays on the screen.
    window.move(Area().right() - 150, Area().bottom() - 100);
    auto* groups = window.findChild<QTreeView*>(U("群号列表"));
    groups->setCurrentIndex(groups->model()->index(0, 0));
    window.findChild<QAction*>(U("成员列表"))->trigger();
    ASSERT_NE(window.Members(), nullptr);
    ExpectOnScreen(window.Members());
    groups->setCurrentIndex(groups->model()->index(0, 0));
    window.OpenRemarkWindow({"a", "b", "@alice", 0});
    ASSERT_NE(window.Remark(), nullptr);
    ExpectOnScreen(window.Remark());
    window.Remark()->hide();

    // Shown again, a window stays where the user left it, as long as that is on the screen.
    contacts::ChatWindow* chat = window.Chat();
    chat->hide();
    chat->move(210, 60);
    chat->show();
    EXPECT_EQ(chat->pos(), QPoint(210, 60));
    chat->hide();
    chat->move(Area().right() - 20, Area().bottom() + 300);
    chat->show();
    ExpectOnScreen(chat);
}

// Two runs of the program's screen over one places file.
TEST(WindowPlacementTest, MainAndMessageWindowsKeepTheirPlacesBetweenRuns) {
    TempDir dir;
    const std::string file = dir.Path() + "/config/zelmo/windows.ini";
    platform::SystemClock clock;
    const app::RunOptions options{dir.Path() + "/data", "", app::AutoAnswer::Yes};
    auto open_windows = [](app::QtUiPort& screen) {
        screen.OpenMainWindow();
        ASSERT_TRUE(PumpUntil([&screen] { return screen.Main() != nullptr; }));
        screen.CreateHiddenWindows();
        ASSERT_TRUE(PumpUntil([&screen] { return screen.Messages() != nullptr; }));
    };
    {
        app::WindowPlaces places(QString::fromStdString(file));
        app::QtUiPort screen(app::AutoAnswer::Yes, nullptr, &places);
        app::Robot robot(options, clock, screen);
        screen.BindRobot(robot);
        open_windows(screen);
        app::MainWindow* main = screen.Main();
        // Nothing kept yet: the main window in the middle, the others over it.
        EXPECT_EQ(main->size(), QSize(760, 520));
        // Its frame is not known before it first shows: centred to a few pixels.
        EXPECT_LE((main->frameGeometry().center() - Area().center()).manhattanLength(), 6);
        for (QWidget* window :
             {static_cast<QWidget*>(screen.Messages()), static_cast<QWidget*>(screen.Editor())}) {
            window->show();
            ExpectCentredOver(window, main);
            ExpectOnScreen(window);
            window->hide();
        }
        // Wider than this screen (its width is fixed): its caption stays on the screen.
        screen.MassWindow()->show();
        EXPECT_TRUE(Area().contains(screen.MassWindow()->frameGeometry().topLeft()));
        EXPECT_EQ(screen.MassWindow()->frameGeometry().left(), Area().left());
        screen.MassWindow()->hide();

        main->setGeometry(40, 30, 600, 450);
        screen.Messages()->show();
        screen.Messages()->setGeometry(420, 200, 350, 300);
        screen.Messages()->hide();
        main->hide();  // as into the tray
        robot.Shutdown();
    }
    const std::string kept = platform::ReadFile(file);
    for (const char* line : {"[main]", "x=40", "y=30", "width=600", "height=450", "[messages]",
                             "x=420", "y=200", "width=350", "height=300"}) {
        EXPECT_NE(kept.find(line), std::string::npos) << line << " in " << kept;
    }
    {
        app::WindowPlaces places(QString::fromStdString(file));
        app::QtUiPort screen(app::AutoAnswer::Yes, nullptr, &places);
        app::Robot robot(options, clock, screen);
        screen.BindRobot(robot);
        open_windows(screen);
        EXPECT_EQ(screen.Main()->geometry(), QRect(40, 30, 600, 450));
        screen.Messages()->show();
        EXPECT_EQ(screen.Messages()->geometry(), QRect(420, 200, 350, 300));
        robot.Shutdown();
    }

    // A place from a larger screen comes back fitted to this one; nonsense is ignored.
    ASSERT_TRUE(platform::WriteFileAtomic(
        file,
        "[main]\nx=3000\ny=2000\nwidth=2500\nheight=1600\nmaximized=false\n"
        "[messages]\nx=abc\ny=1\nwidth=-5\nheight=99999999999\n"));
    {
        app::WindowPlaces places(QString::fromStdString(file));
        app::QtUiPort screen(app::AutoAnswer::Yes, nullptr, &places);
        app::Robot robot(options, clock, screen);
        screen.BindRobot(robot);
        open_windows(screen);
        ExpectOnScreen(screen.Main());
        screen.Messages()->show();
        ExpectCentredOver(screen.Messages(), screen.Main());
        ExpectOnScreen(screen.Messages());
        robot.Shutdown();
    }
}

}  // namespace
}  // namespace zelmo::test
