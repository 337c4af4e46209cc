#pragma once

#include <QWidget>
#include <functional>
#include <string>
#include <string_view>

class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace zelmo::contacts {

// What the chat window hands on: a typed text to send (and log as sent) to a UserName, a
// picked file to send (its path, file-system bytes), and the box that refuses an empty text
// (GBK title and text).
struct ChatActions {
    std::function<void(const std::string& user_name, const std::string& text)> send;
    std::function<void(std::string_view title, std::string_view text)> show_box;
    std::function<void(const std::string& user_name, const std::string& path)> send_file;
};

// The chat window ("发送消息 - " + nickname): the user types a text that the robot sends
// to the current target. One window serves every chat; closing hides it and keeps the
// target. UI thread.
class ChatWindow : public QWidget {
    Q_OBJECT
public:
    ChatWindow(ChatActions actions, QWidget* owner);

    // Points the window at a contact (GBK texts): caption and label name it, later
    // sends go to it.
    void Retarget(std::string nickname, std::string user_name);
    // Hands the box's text on to be sent to the target, then clears the box; an empty box
    // shows "请输入内容！" and sends nothing.
    void SendChatMessage();
    // Hands a file on to be sent to the target (a picture, video or file by its type).
    void SendChatFile(const std::string& path);
    // 发送文件: asks for a file, then SendChatFile.
    void ChooseFile();

    const std::string& TargetUserName() const { return m_user_name; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    ChatActions m_actions;
    std::string m_nickname;
    std::string m_user_name;
    QLabel* m_label;            // 标签_对话
    QPlainTextEdit* m_message;  // 编辑框_消息框
    QPushButton* m_send;        // 按钮_发送
    QPushButton* m_send_file;   // 按钮_发送文件
};

}  // namespace zelmo::contacts
