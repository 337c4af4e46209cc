#include "contacts/ui/ChatWindow.h"

#include <QFile>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <utility>

#include "platform/GbkLiteral.h"
#include "widgets/QtText.h"

namespace zelmo::contacts {

namespace {
constexpr int MIN_WIDTH = 200;
constexpr int MIN_HEIGHT = 185;
constexpr int START_WIDTH = 360;
constexpr int START_HEIGHT = 240;
}  // namespace

ChatWindow::ChatWindow(ChatActions actions, QWidget* owner)
    : QWidget(owner, Qt::Window),
      m_actions(std::move(actions)),
      m_label(new QLabel(QString::fromUtf8("与 对话中"), this)),
      m_message(new QPlainTextEdit(this)),
      m_send(new QPushButton(QString::fromUtf8("发送"), this)),
      m_send_file(new QPushButton(QString::fromUtf8("发送文件"), this)) {
    m_label->setObjectName(QString::fromUtf8("标签_对话"));
    m_message->setObjectName(QString::fromUtf8("编辑框_消息框"));
    m_send->setObjectName(QString::fromUtf8("按钮_发送"));
    m_send_file->setObjectName(QString::fromUtf8("按钮_发送文件"));
    m_message->installEventFilter(this);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_label);
    layout->addWidget(m_message, 1);
    auto* buttons = new QHBoxLayout();
    buttons->addStretch(1);
    buttons->addWidget(m_send_file);
    buttons->addWidget(m_send);
    layout->addLayout(buttons);

    setMinimumSize(MIN_WIDTH, MIN_HEIGHT);
    resize(START_WIDTH, START_HEIGHT);
    connect(m_send, &QPushButton::clicked, this, [this] { SendChatMessage(); });
    connect(m_send_file, &QPushButton::clicked, this, [this] { ChooseFile(); });
}

void ChatWindow::Retarget(std::string nickname, std::string user_name) {
    m_nickname = std::move(nickname);
    m_user_name = std::move(user_name);
    const QString name = widgets::ToQString(m_nickname);
    m_label->setText(QString::fromUtf8("与 ") + name + QString::fromUtf8(" 聊天中"));
    setWindowTitle(QString::fromUtf8("发送消息 - ") + name);
}

void ChatWindow::SendChatMessage() {
    const std::string text = widgets::ToGbk(m_message->toPlainText());
    if (text.empty()) {
        m_actions.show_box(platform::Gbk("错误提示"), platform::Gbk("请输入内容！"));
        return;
    }
    m_actions.send(m_user_name, text);
    m_message->clear();
}

void ChatWindow::SendChatFile(const std::string& path) {
    if (!path.empty() && m_actions.send_file) {
        m_actions.send_file(m_user_name, path);
    }
}

void ChatWindow::ChooseFile() {
    const QString chosen = QFileDialog::getOpenFileName(
        this, QString::fromUtf8("发送文件 - ") + widgets::ToQString(m_nickname), QString(),
        QString::fromUtf8("所有文件 (*);;图片 (*.jpg *.jpeg *.png *.bmp *.gif);;视频 (*.mp4)"));
    if (!chosen.isEmpty()) {
        SendChatFile(QFile::encodeName(chosen).toStdString());
    }
}

bool ChatWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_message && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            SendChatMessage();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace zelmo::contacts
