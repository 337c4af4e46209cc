#include "app/ui/MainWindow.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QPixmap>
#include <QPointer>
#include <QPushButton>
#include <QTabWidget>
#include <QTreeView>
#include <QVBoxLayout>
#include <utility>

#include "app/Robot.h"
#include "app/Startup.h"
#include "app/ui/ClickableLabel.h"
#include "app/ui/QtText.h"
#include "app/ui/WindowPlacement.h"
#include "config/ui/SettingsWindow.h"
#include "protocol/Heartbeat.h"

namespace zelmo::app {

namespace {

constexpr int WINDOW_WIDTH = 760;
constexpr int WINDOW_HEIGHT = 520;
constexpr int AVATAR_SIDE = 64;

QString U(const char* utf8) {
    return QString::fromUtf8(utf8);
}

QTreeView* NewList(const char* name, QWidget* parent) {
    auto* list = new QTreeView(parent);
    list->setObjectName(U(name));
    list->setRootIsDecorated(false);
    list->setUniformRowHeights(true);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list->setContextMenuPolicy(Qt::CustomContextMenu);
    return list;
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
    setWindowTitle(ToQString(protocol::CaptionFor(robot.Connection().load())));

    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    auto* header = new QWidget(central);
    BuildHeader(header);
    layout->addWidget(header);

    m_tabs = new QTabWidget(central);
    m_tabs->setObjectName(U("选择夹1"));
    m_friends = NewList("好友列表框", m_tabs);
    m_groups = NewList("群号列表", m_tabs);
    m_public = NewList("公众号列表框", m_tabs);
    m_tabs->addTab(m_friends, U("好友"));
    m_tabs->addTab(m_groups, U("群"));
    m_tabs->addTab(m_public, U("公众号"));
    m_refresh = new ClickableLabel(U("刷新"), m_tabs);
    m_refresh->setObjectName(U("标签_刷新"));
    m_tabs->setCornerWidget(m_refresh, Qt::TopRightCorner);
    layout->addWidget(m_tabs, 1);
    setCentralWidget(central);

    m_friend_menu = NewMenu("-好友菜单", "修改备注", this);
    m_group_menu = NewMenu("-群菜单", "成员列表", this);

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

    resize(WINDOW_WIDTH, WINDOW_HEIGHT);
    CenterOnScreen(this);
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
    m_nickname = new ClickableLabel(QString(), header);
    m_nickname->setObjectName(U("标签_昵称"));
    QFont bold = m_nickname->font();
    bold.setBold(true);
    m_nickname->setFont(bold);
    m_nickname->setCursor(Qt::ArrowCursor);
    texts->addWidget(m_nickname);
    m_signature = new ClickableLabel(QString(), header);
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

void MainWindow::ShowOwnHeader(std::string_view avatar, std::string_view nickname,
                               std::string_view signature) {
    QPixmap picture;
    picture.loadFromData(reinterpret_cast<const uchar*>(avatar.data()),
                         static_cast<uint>(avatar.size()));
    if (picture.isNull()) {
        m_avatar->clear();
    } else {
        m_avatar->setPixmap(picture);
    }
    m_nickname->setText(ToQString(nickname));
    m_signature_box->setText(ToQString(signature));
    m_signature->setText(m_signature_box->text());
}

void MainWindow::RefreshContactLists() {}

void MainWindow::GroupMembersFetched(std::size_t) {}

void MainWindow::OpenSettingsWindow() {
    auto* window = new config::SettingsWindow(m_robot, this, [this] {
        if (m_editor_window != nullptr) {
            m_editor_window->show();
            m_editor_window->raise();
        }
    });
    window->setAttribute(Qt::WA_DeleteOnClose);
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
