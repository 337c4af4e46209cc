#include "app/ui/TrayIcon.h"

#include <QPainter>
#include <QPixmap>
#include <QTimer>
#include <QWidget>

#include "app/Robot.h"
#include "app/ui/TrayHostWatcher.h"
#include "config/AccountPaths.h"
#include "config/MinimiseNotice.h"
#include "platform/GbkLiteral.h"
#include "platform/GbkText.h"
#include "widgets/QtText.h"

namespace zelmo::app {

namespace {

constexpr int ICON_SIDE = 32;
constexpr int BALLOON_MS = 10000;
constexpr int NO_TRAY_NOTICE_MS = 4000;
// How often, and how long in all, the one-time tip waits for the host to dock the icon.
constexpr int DOCK_CHECK_MS = 100;
constexpr int DOCK_CHECKS = 300;

// A window without an icon of its own gets this one, and so does the tray.
QIcon RobotIcon() {
    QPixmap picture(ICON_SIDE, ICON_SIDE);
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(QColor(0x2a, 0xae, 0x67));
    painter.setPen(Qt::NoPen);
    painter.drawRoundedRect(QRectF(1, 1, ICON_SIDE - 2, ICON_SIDE - 2), 6, 6);
    painter.setPen(Qt::white);
    QFont font = painter.font();
    font.setBold(true);
    font.setPixelSize(ICON_SIDE * 2 / 3);
    painter.setFont(font);
    painter.drawText(picture.rect(), Qt::AlignCenter, QStringLiteral("Z"));
    painter.end();
    return QIcon(picture);
}

}  // namespace

std::string TrayTip(std::string_view prefix, std::string_view nickname) {
    std::string tip(prefix);
    tip.append(nickname);
    return platform::TruncateGbk(tip, TRAY_TIP_BYTES);
}

TrayIcon::TrayIcon(Robot& robot, QWidget& window)
    : QObject(&window),
      m_robot(robot),
      m_window(window),
      m_icon(new QSystemTrayIcon(this)),
      m_watcher(new TrayHostWatcher(this)) {
    if (window.windowIcon().isNull()) {
        window.setWindowIcon(RobotIcon());
    }
    m_icon->setIcon(window.windowIcon());
    connect(m_icon, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) { Activated(reason); });
    connect(m_watcher, &TrayHostWatcher::HostStarted, this, [this] { HostStarted(); });
    connect(m_watcher, &TrayHostWatcher::HostGone, this, [this] { HostGone(); });
}

void TrayIcon::ShowIcon(const std::string& tip) {
    // Every text is set whole, so a shorter tip never shows the tail of a longer one.
    m_icon->setToolTip(widgets::ToQString(tip));
    m_icon->show();
}

void TrayIcon::WindowMinimised() {
    if (!m_window.isMinimized() || m_in_tray) {
        return;
    }
    // A window hidden into a tray that is not there could never be brought back.
    if (!QSystemTrayIcon::isSystemTrayAvailable()) {
        SayNoTray();
        return;
    }
    m_window.hide();
    m_in_tray = true;
    m_back_from_tray = false;
    ShowIcon(TrayTip(platform::Gbk("微信机器人 Brightleaf"), m_robot.State()->own.NickName));
    ShowOneTimeNotice();
}

void TrayIcon::ShowOneTimeNotice(int tries) {
    if (m_robot.AccountDir().empty() || !m_in_tray) {
        return;
    }
    const std::string settings = config::ConfigPath(m_robot.AccountDir(), config::SETTINGS_FILE);
    if (config::MinimiseNoticeShown(settings)) {
        return;
    }
    // A slow host docks the icon a while after it was set visible; the tip counts as shown
    // only once it could be.
    if (m_icon->geometry().isEmpty()) {
        if (tries < DOCK_CHECKS) {
            QTimer::singleShot(DOCK_CHECK_MS, this,
                               [this, tries] { ShowOneTimeNotice(tries + 1); });
        }
        return;
    }
    config::SetMinimiseNoticeShown(settings);
    m_icon->showMessage(
        QString::fromUtf8("微信 - 机器人运行中..."),
        QString::fromUtf8("微信 - 机器人已隐藏到托盘，点击托盘图标可打开微信 - 机器人主界面。"),
        QSystemTrayIcon::NoIcon, BALLOON_MS);
}

void TrayIcon::SayNoTray() {
    if (m_no_tray_said) {
        return;
    }
    m_no_tray_said = true;
    m_robot.Screen().ShowStatus(platform::Gbk("无托盘，留在任务栏"), false);
    QTimer::singleShot(NO_TRAY_NOTICE_MS, this, [this] { m_robot.Screen().CloseStatus(); });
}

void TrayIcon::Activated(QSystemTrayIcon::ActivationReason reason) {
    if (reason == QSystemTrayIcon::Trigger) {
        Restore();
    }
}

void TrayIcon::Restore() {
    m_window.show();
    m_icon->hide();
    m_window.setWindowState((m_window.windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    m_window.raise();
    m_window.activateWindow();
    m_in_tray = false;
    m_back_from_tray = false;
}

void TrayIcon::HostStarted() {
    // A window that left the tray only because its host died goes back into it.
    if (m_back_from_tray && m_window.isMinimized()) {
        m_window.hide();
        m_in_tray = true;
    }
    m_back_from_tray = false;
    m_icon->hide();
    ShowIcon(
        TrayTip(platform::Gbk("Brightleaf edition微信机器人- "), m_robot.State()->own.NickName));
}

void TrayIcon::HostGone() {
    if (!m_in_tray) {
        return;
    }
    m_in_tray = false;
    m_back_from_tray = true;
    m_window.showMinimized();
    SayNoTray();
}

}  // namespace zelmo::app
