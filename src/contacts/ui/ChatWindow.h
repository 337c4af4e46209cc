#pragma once

#include <QWidget>
#include <string>

class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace zelmo::app {
class Robot;
}

namespace zelmo::contacts {

// The chat window ("发送消息 - " + nickname): the user types a text that the robot sends
// to the current target. One window serves every chat; closing hides it and keeps the
// target. UI thread.
class ChatWindow : public QWidget {
    Q_OBJECT
public:
    ChatWindow(app::Robot& robot, QWidget* owner);

    // Points the window at a contact (GBK texts): caption and label name it, later
    // sends go to it.
    void Retarget(std::string nickname, std::string user_name);
    // Posts the box's text as a send job to the target and logs it as sent, then clears
    // the box; an empty box shows "请输入内容！" and sends nothing.
    void SendChatMessage();

    const std::string& TargetUserName() const { return m_user_name; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    app::Robot& m_robot;
    std::string m_nickname;
    std::string m_user_name;
    QLabel* m_label;            // 标签_对话
    QPlainTextEdit* m_message;  // 编辑框_消息框
    QPushButton* m_send;        // 按钮_发送
};

}  // namespace zelmo::contacts
