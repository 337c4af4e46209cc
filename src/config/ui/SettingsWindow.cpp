#include "config/ui/SettingsWindow.h"

#include <utility>

namespace zelmo::config {

SettingsWindow::SettingsWindow(app::Robot& robot, QWidget* owner, std::function<void()> open_editor)
    : QWidget(owner, Qt::Window), m_robot(robot), m_open_editor(std::move(open_editor)) {
    setWindowTitle(QString::fromUtf8("设置"));
}

}  // namespace zelmo::config
