#include "app/ui/MainWindow.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QPixmap>
#include <QPointer>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>
#include <QTreeView>
#include <QVBoxLayout>
#include <string>
#include <utility>

#include "app/Robot.h"
#include "app/Startup.h"
#include "app/WindowActions.h"
#include "app/ui/TrayIcon.h"
#include "app/ui/WindowPlacement.h"
#include "config/ui/SettingsWindow.h"
#include "contacts/ui/ChatWindow.h"
#include "contacts/ui/ContactListModel.h"
#include "contacts/ui/ListColumns.h"
#include "contacts/ui/MemberListWindow.h"
#include "platform/GbkLiteral.h"
#include "plugins/ui/PluginPage.h"
#include "protocol/ConnectionState.h"
#include "widgets/ClickableLabel.h"
#include "widgets/QtText.h"

namespace zelmo::app {

namespace {

using widgets::U;

constexpr int WINDOW_WIDTH = 760;
constexpr int WINDOW_HEIGHT = 520;
constexpr int AVATAR_SIDE = 64;
constexpr int MIN_WIDTH = 200;
constexpr int MIN_HEIGHT = 235;

QTreeView* NewList(const char* name, QAbstractItemModel* model, QWidget* parent) {
    QTreeView* list = contacts::NewListView(U(name), parent);
    list->setContextMenuPolicy(Qt::CustomContextMenu);
    list->setModel(model);
    return list;
}

// The row a handler acts on: the list's selected row, -1 when none is selected.
int SelectedRow(const QTreeView* list) {
    const QModelIndexList rows = list->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.front().row();
}

void ShowColumns(QTreeView* list, const contacts::ContactListModel* model) {
    contacts::FitColumnsToContents(list, contacts::ColumnsOf(model->List()));
}

QMenu* NewMenu(const char* name, const char* item, QWidget* parent) {
    auto* menu = new QMenu(parent);
    menu->setObjectName(U(name));
    QAction* action = menu->addAction(U(item));
    action->setObjectName(U(item));
    return menu;
}

}  // namespace

MainWindow::MainWindow(Robot& robot, std::function<void()> on_closed)
    : m_robot(robot), m_on_closed(std::move(on_closed)) {
    setWindowTitle(widgets::ToQString(protocol::CaptionFor(robot.Connection().State())));

    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    auto* header = new QWidget(central);
    BuildHeader(header);
    layout->addWidget(header);

    m_tabs = new QTabWidget(central);
    m_tabs->setObjectName(U("选择夹1"));
    BuildLists();
    m_tabs->addTab(m_friends, U("好友"));
    m_tabs->addTab(m_groups, U("群"));
    m_tabs->addTab(m_public, U("公众号"));
    m_refresh = new widgets::ClickableLabel(U("刷新"), m_tabs);
    m_refresh->setObjectName(U("标签_刷新"));
    m_tabs->setCornerWidget(m_refresh, Qt::TopRightCorner);
    layout->addWidget(m_tabs, 1);
    setCentralWidget(central);

    m_friend_menu = NewMenu("-好友菜单", "修改备注", this);
    m_group_menu = NewMenu("-群菜单", "成员列表", this);
    connect(m_friend_menu->actions().front(), &QAction::triggered, this,
            [this] { OpenRemarkForSelected(); });
    connect(m_group_menu->actions().front(), &QAction::triggered, this,
            [this] { ShowGroupMembers(); });
    connect(m_refresh, &widgets::ClickableLabel::clicked, this, [this] {
        m_refresh->setEnabled(false);
        RefreshContactLists();
        m_refresh->setEnabled(true);
    });
    ConnectHeader();

    connect(m_settings_button, &QPushButton::clicked, this, [this] { OpenSettingsWindow(); });
    connect(m_messages_button, &QPushButton::clicked, this, [this] {
        if (m_message_window != nullptr) {
            m_message_window->show();
            m_message_window->raise();
        }
    });
    connect(m_mass_button, &QPushButton::clicked, this, [this] {
        if (m_mass_window != nullptr) {
            m_mass_window->show();
            m_mass_window->raise();
        }
    });

    m_tray = new TrayIcon(robot, *this);
    setMinimumSize(MIN_WIDTH, MIN_HEIGHT);
    resize(WINDOW_WIDTH, WINDOW_HEIGHT);
    CenterOnScreen(this);
}

void MainWindow::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange && isMinimized()) {
        // Hiding inside the state change itself would leave the window manager half way.
        QTimer::singleShot(0, m_tray, [tray = m_tray] { tray->WindowMinimised(); });
    }
}

void MainWindow::BuildHeader(QWidget* header) {
    auto* row = new QHBoxLayout(header);
    row->setContentsMargins(0, 0, 0, 0);
    m_avatar = new QLabel(header);
    m_avatar->setObjectName(U("图片框_头像"));
    m_avatar->setFixedSize(AVATAR_SIDE, AVATAR_SIDE);
    m_avatar->setScaledContents(true);
    m_avatar->setFrameShape(QFrame::StyledPanel);
    row->addWidget(m_avatar);

    auto* texts = new QVBoxLayout();
    m_nickname = new widgets::ClickableLabel(QString(), header);
    m_nickname->setObjectName(U("标签_昵称"));
    QFont bold = m_nickname->font();
    bold.setBold(true);
    m_nickname->setFont(bold);
    m_nickname->setCursor(Qt::ArrowCursor);
    texts->addWidget(m_nickname);
    m_signature = new widgets::ClickableLabel(QString(), header);
    m_signature->setObjectName(U("签名透明_个签"));
    m_signature->setCursor(Qt::IBeamCursor);
    texts->addWidget(m_signature);
    // The edit box lies over the label and shows only while the signature is edited.
    m_signature_box = new QLineEdit(header);
    m_signature_box->setObjectName(U("签名框"));
    m_signature_box->hide();
    texts->addWidget(m_signature_box);
    row->addLayout(texts, 1);

    m_mass_button = new QPushButton(U("群发"), header);
    m_mass_button->setObjectName(U("按钮_群发"));
    m_settings_button = new QPushButton(U("设置"), header);
    m_settings_button->setObjectName(U("按钮_设置"));
    m_messages_button = new QPushButton(U("消息"), header);
    m_messages_button->setObjectName(U("按钮_消息"));
    row->addWidget(m_mass_button);
    row->addWidget(m_settings_button);
    row->addWidget(m_messages_button);
}

void MainWindow::BuildLists() {
    using contacts::ContactList;
    m_friend_model = new contacts::ContactListModel(ContactList::Friends, this);
    m_group_model = new contacts::ContactListModel(ContactList::Groups, this);
    m_public_model = new contacts::ContactListModel(ContactList::PublicAccounts, this);
    m_friends = NewList("好友列表框", m_friend_model, m_tabs);
    m_groups = NewList("群号列表", m_group_model, m_tabs);
    m_public = NewList("公众号列表框", m_public_model, m_tabs);
    ShowColumns(m_friends, m_friend_model);
    ShowColumns(m_groups, m_group_model);
    ShowColumns(m_public, m_public_model);
    for (QTreeView* list : {m_friends, m_groups, m_public}) {
        connect(list, &QAbstractItemView::doubleClicked, this,
                [this, list] { ListDoubleClicked(list); });
    }
    for (QTreeView* list : {m_friends, m_groups}) {
        connect(list, &QWidget::customContextMenuRequested, this,
                [this, list](const QPoint& pos) { ListMenuRequested(list, pos); });
    }
}

void MainWindow::ConnectHeader() {
    connect(m_signature, &widgets::ClickableLabel::clicked, this, [this] { BeginSignatureEdit(); });
    connect(m_nickname, &widgets::ClickableLabel::clicked, this, [this] { EndSignatureEdit(); });
    connect(m_tabs, &QTabWidget::tabBarClicked, this, [this] { EndSignatureEdit(); });
    m_avatar->installEventFilter(this);
    m_tabs->installEventFilter(this);
    m_signature_box->installEventFilter(this);
}

void MainWindow::ShowOwnHeader(std::string_view avatar, std::string_view nickname,
                               std::string_view signature) {
    m_avatar_fetching = false;
    SetAvatar(avatar);
    m_nickname->setText(widgets::ToQString(nickname));
    m_signature_box->setText(widgets::ToQString(signature));
    m_signature->setText(m_signature_box->text());
    m_shown_signature = m_signature_box->text();
}

void MainWindow::SetAvatar(std::string_view image) {
    QPixmap picture;
    picture.loadFromData(reinterpret_cast<const uchar*>(image.data()),
                         static_cast<uint>(image.size()));
    if (picture.isNull()) {
        m_avatar->clear();
    } else {
        m_avatar->setPixmap(picture);
    }
}

void MainWindow::FetchAvatar() {
    // One fetch at a time; its answer arrives as ShowOwnHeader.
    if (m_avatar_fetching || m_robot.State()->own.HeadImgUrl.empty()) {
        return;
    }
    m_avatar_fetching = ReloadAvatar(m_robot);
}

void MainWindow::BeginSignatureEdit() {
    m_shown_signature = m_signature_box->text();
    m_signature_box->show();
    m_signature->hide();
    m_signature_box->setFocus();
}

void MainWindow::EndSignatureEdit() {
    // Hiding the focused box takes its focus away, which ends the edit a second time.
    if (m_signature_box->isHidden() && !m_signature->isHidden()) {
        return;
    }
    m_signature_box->hide();
    m_signature->show();
    // The signature is never sent: an edited one gives way to the profile's.
    if (m_signature_box->text() != m_shown_signature) {
        const QString profile = widgets::ToQString(m_robot.State()->own.Signature);
        m_signature_box->setText(profile);
        m_signature->setText(profile);
    }
    m_shown_signature = m_signature_box->text();
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    const bool avatar_click = watched == m_avatar && type == QEvent::MouseButtonRelease;
    if (avatar_click && m_avatar->pixmap().isNull()) {
        FetchAvatar();
    }
    if (avatar_click || (watched == m_tabs && type == QEvent::MouseButtonPress) ||
        (watched == m_signature_box && type == QEvent::FocusOut)) {
        EndSignatureEdit();
    }
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::RefreshContactLists() {
    // One snapshot, taken under the store's lock, so no append lands halfway.
    contacts::ContactLists lists = contacts::SplitByList(m_robot.Contacts().Snapshot());
    m_friend_model->Refill(std::move(lists.friends));
    m_group_model->Refill(std::move(lists.groups));
    m_public_model->Refill(std::move(lists.public_accounts));
}

void MainWindow::ListDoubleClicked(QTreeView* list) {
    const int row = SelectedRow(list);
    if (row < 0) {
        return;
    }
    const auto* model = static_cast<const contacts::ContactListModel*>(list->model());
    const int nickname_column = list == m_groups    ? contacts::GROUP_COLUMN_NICKNAME
                                : list == m_friends ? contacts::FRIEND_COLUMN_NICKNAME
                                                    : contacts::PUBLIC_COLUMN_NICKNAME;
    OpenChatWindow(model->CellText(row, nickname_column),
                   model->CellText(row, contacts::COLUMN_USER_NAME));
}

void MainWindow::ListMenuRequested(QTreeView* list, const QPoint& pos) {
    if (SelectedRow(list) < 0) {
        return;
    }
    QMenu* menu = list == m_friends ? m_friend_menu : m_group_menu;
    menu->popup(list->viewport()->mapToGlobal(pos));
}

void MainWindow::OpenChatWindow(std::string nickname, std::string user_name) {
    if (!m_chat) {
        contacts::ChatActions actions;
        actions.send = [this](const std::string& user_name, const std::string& text) {
            SendChatText(m_robot, user_name, text);
        };
        actions.show_box = [this](std::string_view title, std::string_view text) {
            m_robot.Screen().ShowMessageBox(title, text);
        };
        actions.send_file = [this](const std::string& user_name, const std::string& path) {
            SendChatFile(m_robot, user_name, path);
        };
        m_chat = new contacts::ChatWindow(std::move(actions), this);
        OpenOverOwner(m_chat);
    }
    m_chat->Retarget(std::move(nickname), std::move(user_name));
    m_chat->show();
    m_chat->raise();
    m_chat->activateWindow();
}

void MainWindow::OpenRemarkForSelected() {
    const int row = SelectedRow(m_friends);
    if (row < 0) {
        return;
    }
    OpenRemarkWindow({m_friend_model->CellText(row, contacts::FRIEND_COLUMN_NICKNAME),
                      m_friend_model->CellText(row, contacts::FRIEND_COLUMN_REMARK),
                      m_friend_model->CellText(row, contacts::COLUMN_USER_NAME), row});
}

void MainWindow::OpenRemarkWindow(contacts::RemarkWindow::Target target) {
    if (m_remark) {
        m_remark->close();
    }
    m_remark = new contacts::RemarkWindow(
        std::move(target),
        [this](const contacts::RemarkWindow::Target& remembered, std::string new_remark) {
            CommitRemark(remembered, std::move(new_remark));
        },
        this);
    OpenOverOwner(m_remark);
    m_remark->show();
}

void MainWindow::CommitRemark(const contacts::RemarkWindow::Target& target,
                              std::string new_remark) {
    // The request runs on a robot thread; the cell changes on the UI thread once it is
    // answered, whatever the answer.
    QPointer<contacts::ContactListModel> model(m_friend_model);
    auto sent = [model, row = target.row, remark = new_remark] {
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [model, row, remark] {
                if (model) {
                    model->SetRemark(row, remark);
                }
            },
            Qt::QueuedConnection);
    };
    app::CommitRemark(m_robot, target.user_name, target.remark, std::move(new_remark),
                      std::move(sent));
}

void MainWindow::ShowGroupMembers() {
    const int row = SelectedRow(m_groups);
    if (row < 0) {
        return;
    }
    if (m_members) {
        m_members->close();
    }
    const std::string user_name = m_group_model->CellText(row, contacts::COLUMN_USER_NAME);
    const std::size_t index = m_robot.Contacts().FindContactIndex(user_name);
    m_members = new contacts::MemberListWindow(index, this);
    OpenOverOwner(m_members);
    m_members->show();
    if (index == 0) {
        return;
    }
    // GroupMembersFetched shows them.
    FetchMembersOf(m_robot, index);
}

void MainWindow::GroupMembersFetched(std::size_t group_index) {
    if (!m_members || m_members->GroupIndex() != group_index) {
        return;
    }
    if (const std::optional<contacts::ContactRecord> group = m_robot.Contacts().At(group_index)) {
        m_members->ShowMembers(group->Members);
    }
}

void MainWindow::OpenSettingsWindow() {
    // One settings window at a time: two would save over each other on close.
    if (m_settings_window != nullptr) {
        m_settings_window->show();
        m_settings_window->raise();
        m_settings_window->activateWindow();
        return;
    }
    auto* window =
        new config::SettingsWindow(m_robot.Settings(), m_robot.AccountDir(), this, [this] {
            if (m_editor_window != nullptr) {
                m_editor_window->show();
                m_editor_window->raise();
            }
        });
    QWidget* host = window->PluginPageHost();
    auto* page =
        new plugins::PluginPage(m_robot.Plugins(), m_robot.AccountDir(), m_robot.Screen(), host);
    host->layout()->addWidget(page);
    window->SetOnFilled([page] { page->FillPluginList(); });
    window->SetOnClosing([page] { page->SaveChecks(); });
    connect(window, &config::SettingsWindow::modelSettingsProblem, this,
            [this](const QString& text) {
                m_robot.Screen().ShowMessageBox(platform::Gbk("错误提示"), widgets::ToGbk(text));
            });
    window->setAttribute(Qt::WA_DeleteOnClose);
    OpenOverOwner(window);
    m_settings_window = window;
    window->show();
}

void MainWindow::closeEvent(QCloseEvent* event) {
    // A close that comes back while the questions are open (or after they were answered
    // Yes) must not ask again.
    if (m_closing) {
        event->ignore();
        return;
    }
    m_closing = true;
    const bool quit = ConfirmClose(m_robot);
    m_closing = false;
    event->ignore();
    if (quit && m_on_closed) {
        m_closing = true;
        m_on_closed();
    }
}

}  // namespace zelmo::app
