#include <gtest/gtest.h>

#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>

#include "app/ui/MainWindow.h"
#include "contacts/ui/ChatWindow.h"
#include "jobs/JobQueue.h"
#include "messages/Sending.h"
#include "platform/GbkLiteral.h"
#include "support/gui/ViewsSupport.h"

namespace zelmo::test {
namespace {

QString U(const char* utf8) {
    return QString::fromUtf8(utf8);
}

void PressEnter(QWidget* widget) {
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, "\r");
    QApplication::sendEvent(widget, &press);
}

class ChatWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        app::Robot& robot = views.Robot();
        robot.Sessions().Update([](protocol::ProtocolState& state) {
            state.own.UserName = "@me";
            state.own.NickName = platform::Gbk("我自己");
        });
        robot.Contacts().AppendIfNew(Contact("@a", "阿甲", "男"));
        robot.Contacts().AppendIfNew(Contact("@b", "阿乙", "女"));
    }

    // No sender thread runs here: the texts stay where the window handed them.
    std::vector<messages::WaitingText> WaitingTexts() { return views.Robot().Sender().Waiting(); }

    ViewsRobot views;
};

TEST_F(ChatWindowTest, EnterInAnEmptyBoxAsksForTextAndSendsNothing) {
    app::MainWindow window(views.Robot(), {});
    window.OpenChatWindow(platform::Gbk("阿甲"), "@a");
    contacts::ChatWindow* chat = window.Chat();
    ASSERT_NE(chat, nullptr);
    auto* box = chat->findChild<QPlainTextEdit*>(U("编辑框_消息框"));
    ASSERT_NE(box, nullptr);
    PressEnter(box);
    EXPECT_EQ(views.Screen().TextsOf("ShowMessageBox"),
              std::vector<std::string>{platform::Gbk("错误提示\n请输入内容！")});
    EXPECT_EQ(views.Robot().Queue().Size(), 0u);
    EXPECT_TRUE(WaitingTexts().empty());
    EXPECT_EQ(views.Screen().CountOf("AddLogRow"), 0u);
    EXPECT_TRUE(box->toPlainText().isEmpty());  // the Enter key was not inserted
}

TEST_F(ChatWindowTest, RetargetedWindowSendsToTheNewContactAndLogsItAsSent) {
    app::MainWindow window(views.Robot(), {});
    window.OpenChatWindow(platform::Gbk("阿甲"), "@a");
    contacts::ChatWindow* chat = window.Chat();
    auto* label = chat->findChild<QLabel*>(U("标签_对话"));
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->text(), U("与 阿甲 聊天中"));
    window.OpenChatWindow(platform::Gbk("阿乙"), "@b");
    ASSERT_EQ(window.Chat(), chat);
    EXPECT_EQ(chat->windowTitle(), U("发送消息 - 阿乙"));
    EXPECT_EQ(label->text(), U("与 阿乙 聊天中"));

    auto* box = chat->findChild<QPlainTextEdit*>(U("编辑框_消息框"));
    box->setPlainText(U("你好 B"));
    PressEnter(box);
    box->setPlainText(U("再见"));
    chat->findChild<QPushButton*>(U("按钮_发送"))->click();
    ASSERT_NE(chat->findChild<QPushButton*>(U("按钮_发送文件")), nullptr);
    chat->SendChatFile("/home/u/价目表.png");

    // Straight to the sender, as texts that wait however long it takes; a file by its type.
    EXPECT_EQ(views.Robot().Queue().Size(), 0u);
    const std::vector<messages::WaitingText> texts = WaitingTexts();
    ASSERT_EQ(texts.size(), 3u);
    EXPECT_EQ(texts[2].file, "/home/u/价目表.png");
    EXPECT_EQ(texts[2].text, platform::Gbk("[图片=价目表.png]"));
    EXPECT_EQ(texts[2].to, "@b");
    EXPECT_EQ(texts[0].to, "@b");
    EXPECT_EQ(texts[0].text, platform::Gbk("你好 B"));
    EXPECT_EQ(texts[0].kind, messages::SendKind::Text);
    EXPECT_EQ(texts[1].text, platform::Gbk("再见"));
    EXPECT_TRUE(box->toPlainText().isEmpty());

    const std::vector<std::string> rows = views.Screen().TextsOf("AddLogRow");
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_TRUE(rows[2].ends_with(platform::Gbk("\t阿乙\t[图片=价目表.png]")));
    const std::string expected_start = platform::Gbk("[↑]好友\t");
    const std::string expected_end = platform::Gbk("\t我自己\t阿乙\t你好 B");
    EXPECT_EQ(rows[0].substr(0, expected_start.size()), expected_start);
    EXPECT_EQ(rows[0].substr(rows[0].size() - expected_end.size()), expected_end);
    EXPECT_TRUE(views.Screen().TextsOf("ShowMessageBox").empty());
}

TEST_F(ChatWindowTest, ClosingKeepsTheWindowAndItsTarget) {
    app::MainWindow window(views.Robot(), {});
    window.OpenChatWindow(platform::Gbk("阿甲"), "@a");
    QPointer<contacts::ChatWindow> chat = window.Chat();
    chat->close();
    QApplication::processEvents();
    ASSERT_FALSE(chat.isNull());
    EXPECT_FALSE(chat->isVisible());
    EXPECT_EQ(chat->TargetUserName(), "@a");
    EXPECT_GE(chat->minimumWidth(), 200);
    EXPECT_GE(chat->minimumHeight(), 185);
}

}  // namespace
}  // namespace zelmo::test
