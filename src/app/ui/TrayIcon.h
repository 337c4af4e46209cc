#pragma once

#include <QObject>
#include <QSystemTrayIcon>
#include <cstddef>
#include <string>
#include <string_view>

class QWidget;

namespace zelmo::app {

class Robot;
class TrayHostWatcher;

// A tooltip holds at most this many bytes.
inline constexpr std::size_t TRAY_TIP_BYTES = 127;

// The tooltip for a prefix and the own nickname (GBK), cut to TRAY_TIP_BYTES at a
// character boundary.
std::string TrayTip(std::string_view prefix, std::string_view nickname);

// The main window's notification-area icon: minimising hides the window into it, a left
// click brings the window back, a tray host that (re)starts gets the icon again. Where no
// tray host exists the window stays minimised on the task bar. UI thread.
class TrayIcon : public QObject {
    Q_OBJECT
public:
    TrayIcon(Robot& robot, QWidget& window);

    // The window was minimised: with a tray host it is hidden, the icon shows the hiding
    // tip and the first minimise of the account shows the balloon ("最小化提示"); without
    // one it stays on the task bar and the status popup says so, once a run.
    void WindowMinimised();
    // A left click on the icon: the window is shown in its normal state, the icon goes.
    void Restore();
    // A tray host announced itself: the icon is added with the returning tip, whether the
    // window is hidden or not.
    void HostStarted();
    // The tray host went away: a window hidden in it comes back to the task bar,
    // minimised, and returns to the tray when a host comes back while it is still
    // minimised.
    void HostGone();

    QSystemTrayIcon* Icon() const { return m_icon; }
    bool WindowInTray() const { return m_in_tray; }

private:
    void Activated(QSystemTrayIcon::ActivationReason reason);
    void ShowIcon(const std::string& tip);
    // The tip of the first minimise, once the host has docked the icon: a balloon asked
    // for before that is never shown. `tries` counts the waits for the dock.
    void ShowOneTimeNotice(int tries = 0);
    void SayNoTray();

    Robot& m_robot;
    QWidget& m_window;
    QSystemTrayIcon* m_icon;
    TrayHostWatcher* m_watcher;
    bool m_in_tray = false;
    bool m_back_from_tray = false;
    bool m_no_tray_said = false;
};

}  // namespace zelmo::app
