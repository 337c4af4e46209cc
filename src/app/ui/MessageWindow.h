#pragma once

#include <QWidget>
#include <string_view>

namespace zelmo::app {

class Robot;

// The message window ("微信机器人 - 消息盒子"): the running log of chat traffic. Created
// hidden at start-up; closing hides it. UI thread.
class MessageWindow : public QWidget {
    Q_OBJECT
public:
    MessageWindow(Robot& robot, QWidget* owner);

    // Appends one log row (GBK texts).
    void AddRow(std::string_view label, std::string_view time, std::string_view source,
                std::string_view destination, std::string_view content);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    Robot& m_robot;
};

}  // namespace zelmo::app
