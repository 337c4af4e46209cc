#pragma once

#include <QWidget>
#include <functional>

namespace zelmo::app {
class Robot;
}

namespace zelmo::config {

// The settings window ("设置"): shows the robot's settings and saves them when it closes.
// Non-modal, owned by the main window. UI thread.
class SettingsWindow : public QWidget {
    Q_OBJECT
public:
    // open_editor shows the knowledge-base editor (按钮_词库编辑器).
    SettingsWindow(app::Robot& robot, QWidget* owner, std::function<void()> open_editor);

private:
    app::Robot& m_robot;
    std::function<void()> m_open_editor;
};

}  // namespace zelmo::config
