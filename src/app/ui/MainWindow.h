#pragma once

#include <QMainWindow>
#include <QPointer>
#include <QString>
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

#include "contacts/ui/ChatWindow.h"
#include "contacts/ui/MemberListWindow.h"
#include "contacts/ui/RemarkWindow.h"

class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QTabWidget;
class QTreeView;

namespace zelmo::contacts {
class ContactListModel;
}
namespace zelmo::widgets {
class ClickableLabel;
}

namespace zelmo::app {

class Robot;
class TrayIcon;

// The main window: the own-account header, the three contact lists, the buttons that show
// the other windows; its caption shows the connection state. UI thread.
class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    // on_closed runs after a confirmed close.
    MainWindow(Robot& robot, std::function<void()> on_closed);

    void ShowOwnHeader(std::string_view avatar, std::string_view nickname,
                       std::string_view signature);
    // Refills the three lists from one snapshot of the contact store.
    void RefreshContactLists();
    // An open member window of that group (1-based store index) shows its members.
    void GroupMembersFetched(std::size_t group_index);

    // The one chat window, pointed at this contact (GBK texts).
    void OpenChatWindow(std::string nickname, std::string user_name);
    // A remark window for a friend row; an open one is closed (and commits) first.
    void OpenRemarkWindow(contacts::RemarkWindow::Target target);
    // The member window of the selected group, filled when its members are fetched.
    void ShowGroupMembers();

    contacts::ChatWindow* Chat() const { return m_chat; }
    contacts::RemarkWindow* Remark() const { return m_remark; }
    contacts::MemberListWindow* Members() const { return m_members; }
    // The notification-area icon that minimising hides the window into.
    TrayIcon* Tray() const { return m_tray; }

    // The secondary windows the buttons show; set once they exist.
    void SetMessageWindow(QWidget* window) { m_message_window = window; }
    void SetMassWindow(QWidget* window) { m_mass_window = window; }
    // What 按钮_词库编辑器 of the settings window shows.
    void SetEditorWindow(QWidget* window) { m_editor_window = window; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildHeader(QWidget* header);
    void BuildLists();
    void ConnectHeader();
    void OpenSettingsWindow();
    void SetAvatar(std::string_view image);
    void FetchAvatar();
    void BeginSignatureEdit();
    void EndSignatureEdit();
    void ListDoubleClicked(QTreeView* list);
    void ListMenuRequested(QTreeView* list, const QPoint& pos);
    void OpenRemarkForSelected();
    void CommitRemark(const contacts::RemarkWindow::Target& target, std::string new_remark);

    Robot& m_robot;
    std::function<void()> m_on_closed;
    bool m_closing = false;

    QLabel* m_avatar = nullptr;                      // 图片框_头像
    widgets::ClickableLabel* m_nickname = nullptr;   // 标签_昵称
    QLineEdit* m_signature_box = nullptr;            // 签名框
    widgets::ClickableLabel* m_signature = nullptr;  // 签名透明_个签
    QTabWidget* m_tabs = nullptr;                    // 选择夹1
    QTreeView* m_friends = nullptr;                  // 好友列表框
    QTreeView* m_groups = nullptr;                   // 群号列表
    QTreeView* m_public = nullptr;                   // 公众号列表框
    widgets::ClickableLabel* m_refresh = nullptr;    // 标签_刷新
    QPushButton* m_mass_button = nullptr;            // 按钮_群发
    QPushButton* m_settings_button = nullptr;        // 按钮_设置
    QPushButton* m_messages_button = nullptr;        // 按钮_消息
    QMenu* m_friend_menu = nullptr;                  // -好友菜单
    QMenu* m_group_menu = nullptr;                   // -群菜单
    contacts::ContactListModel* m_friend_model = nullptr;
    contacts::ContactListModel* m_group_model = nullptr;
    contacts::ContactListModel* m_public_model = nullptr;

    QString m_shown_signature;  // ShownSignature
    bool m_avatar_fetching = false;
    QPointer<contacts::ChatWindow> m_chat;
    QPointer<contacts::RemarkWindow> m_remark;
    // Doubles as the member window's open flag.
    QPointer<contacts::MemberListWindow> m_members;

    QWidget* m_message_window = nullptr;
    QWidget* m_mass_window = nullptr;
    QWidget* m_editor_window = nullptr;
    QPointer<QWidget> m_settings_window;
    TrayIcon* m_tray = nullptr;
};

}  // namespace zelmo::app
