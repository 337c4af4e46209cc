#include <gtest/gtest.h>

#include <QApplication>
#include <QBuffer>
#include <QEvent>
#include <QEventLoop>
#include <QImage>
#include <QLabel>
#include <QMouseEvent>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <functional>
#include <thread>

#include "app/LoginDriver.h"
#include "app/Robot.h"
#include "app/ui/LoginWindow.h"
#include "app/ui/MainWindow.h"
#include "app/ui/QtUiPort.h"
#include "platform/Clock.h"
#include "sim/Simulator.h"
#include "support/TestSupport.h"
#include "support/gui/QtPump.h"

namespace zelmo::app {
namespace {

using test::PumpUntil;

// Records every caption a window gets, in order.
class CaptionRecorder : public QObject {
public:
    explicit CaptionRecorder(QWidget* window) { window->installEventFilter(this); }
    QStringList captions;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::WindowTitleChange) {
            captions << static_cast<QWidget*>(watched)->windowTitle();
        }
        return false;
    }
};

TEST(LoginWindowTest, PictureBoxFollowsTheClientArea) {
    LoginWindow window({}, {});
    window.show();
    window.resize(420, 380);
    QApplication::processEvents();
    auto* picture = window.findChild<QLabel*>(QString::fromUtf8("图片框"));
    ASSERT_NE(picture, nullptr);
    EXPECT_EQ(picture->size(), window.contentsRect().size());
    EXPECT_NE(window.findChild<QLabel*>(QString::fromUtf8("标签_载入主窗口")), nullptr);

    // The code fills the box as far as it can while staying square, after every resize.
    QImage code(41, 41, QImage::Format_Grayscale8);
    code.fill(0);
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    ASSERT_TRUE(code.save(&buffer, "PNG"));
    window.SetQrImage(std::string_view(png.constData(), static_cast<std::size_t>(png.size())));
    const int side = std::min(picture->width(), picture->height());
    EXPECT_EQ(picture->pixmap().size(), QSize(side, side));
    window.resize(200, 260);
    QApplication::processEvents();
    EXPECT_EQ(picture->pixmap().size(), QSize(picture->width(), picture->width()));
}

TEST(LoginWindowTest, UserCloseEndsTheProgramButAQuietCloseDoesNot) {
    int requests = 0;
    bool may_close = true;
    LoginWindow window(
        [&] {
            ++requests;
            return may_close;
        },
        {});
    window.show();
    window.CloseQuietly();
    EXPECT_EQ(requests, 0);
    window.show();
    window.close();
    EXPECT_EQ(requests, 1);
    EXPECT_FALSE(window.isVisible());
    // During a re-login the close asks the main window, whose No keeps both open.
    may_close = false;
    window.show();
    EXPECT_FALSE(window.close());
    EXPECT_EQ(requests, 2);
    EXPECT_TRUE(window.isVisible());

    // A click on the code asks for a new one.
    int clicks = 0;
    window.SetPictureClickHandler([&clicks] { ++clicks; });
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(5, 5), QPointF(5, 5), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, QPointF(5, 5), QPointF(5, 5), Qt::LeftButton,
                        Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(window.PictureBox(), &press);
    QApplication::sendEvent(window.PictureBox(), &release);
    EXPECT_EQ(clicks, 1);
}

TEST(LoginWindowTest, LoginAgainstTheSimulatorWalksThroughTheCaptions) {
    test::TempDir dir;
    sim::SimulatorOptions options;
    options.workdir = dir.Path() + "/sim";
    sim::Simulator simulator(options);
    ASSERT_TRUE(simulator.Start());

    platform::SystemClock clock;
    QtUiPort screen(AutoAnswer::Yes);
    CaptionRecorder recorder(screen.Login());
    {
        Robot robot(RunOptions{dir.Path() + "/data", simulator.ProfilePath(), AutoAnswer::Yes},
                    clock, screen);
        screen.BindRobot(robot);
        screen.OpenLoginWindow([&robot] { return StartLogin(robot); });
        EXPECT_TRUE(screen.Login()->isVisible());
        EXPECT_FALSE(screen.Login()->PictureBox()->pixmap().isNull());
        EXPECT_DOUBLE_EQ(screen.Login()->windowOpacity(), 1.0);

        ASSERT_TRUE(
            simulator.WaitForRequest("/cgi-bin/mmwebwx-bin/login", std::chrono::seconds(30)));
        simulator.Scan();
        ASSERT_TRUE(PumpUntil([&recorder] { return recorder.captions.size() >= 3; },
                              std::chrono::seconds(10)));
        simulator.Confirm();

        ASSERT_TRUE(
            PumpUntil([&screen] { return screen.Main() != nullptr && screen.Main()->isVisible(); },
                      std::chrono::seconds(20)));
        EXPECT_TRUE(PumpUntil([&screen] { return !screen.Login()->isVisible(); },
                              std::chrono::seconds(30)));
        // The start-up runs on, then lets the user in and closes the popup.
        EXPECT_TRUE(
            PumpUntil([&screen] { return screen.Main()->isEnabled(); }, std::chrono::seconds(20)));
        // The secondary windows exist, hidden, once the start-up is done.
        ASSERT_NE(screen.Messages(), nullptr);
        ASSERT_NE(screen.Editor(), nullptr);
        ASSERT_NE(screen.MassWindow(), nullptr);
        EXPECT_FALSE(screen.Editor()->isVisible());
        EXPECT_FALSE(screen.MassWindow()->isVisible());
        robot.Shutdown();
    }
    EXPECT_EQ(recorder.captions, QStringList({QString::fromUtf8("请用手机微信扫一扫二维码"),
                                              QString::fromUtf8("等待手机微信扫码"),
                                              QString::fromUtf8("扫码成功,等待手机确认"),
                                              QString::fromUtf8("手机已确认登入微信")}));
    EXPECT_EQ(screen.Main()->windowTitle(), QString::fromUtf8("Zelmo 5.3  在线"));
    EXPECT_FALSE(screen.Popup().IsOpen());
    simulator.Stop();
}

TEST(QtUiPortTest, CallsFromAnotherThreadArriveInOrder) {
    QtUiPort screen(AutoAnswer::Yes);
    std::thread worker([&screen] {
        screen.ShowStatus("first", false);
        screen.SetLoginCaption("a");
        screen.ShowStatus("second", false);
        screen.SetLoginCaption("b");
        screen.CloseStatus();
        screen.ShowMessageBox("t", "m");  // answered at once; returns after the rest ran
    });
    CaptionRecorder recorder(screen.Login());
    ASSERT_TRUE(
        PumpUntil([&recorder] { return recorder.captions.size() == 2; }, std::chrono::seconds(30)));
    worker.join();
    EXPECT_EQ(recorder.captions, QStringList({"a", "b"}));
    EXPECT_FALSE(screen.Popup().IsOpen());
}

}  // namespace
}  // namespace zelmo::app
