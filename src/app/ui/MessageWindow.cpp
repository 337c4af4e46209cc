#include "app/ui/MessageWindow.h"

#include <QCloseEvent>

namespace zelmo::app {

MessageWindow::MessageWindow(Robot& robot, QWidget* owner)
    : QWidget(owner, Qt::Window), m_robot(robot) {
    setWindowTitle(QString::fromUtf8("微信机器人 - 消息盒子"));
}

void MessageWindow::AddRow(std::string_view, std::string_view, std::string_view, std::string_view,
                           std::string_view) {}

void MessageWindow::closeEvent(QCloseEvent* event) {
    event->ignore();
    hide();
}

}  // namespace zelmo::app
