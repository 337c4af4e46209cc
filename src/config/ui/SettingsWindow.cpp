#include "config/ui/SettingsWindow.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>
#include <utility>

#include "config/AccountPaths.h"
#include "config/SettingsInput.h"
#include "config/ui/AiSettingsPage.h"
#include "config/ui/OneBotPage.h"
#include "widgets/QtText.h"

namespace zelmo::config {

namespace {

using widgets::U;

constexpr int WINDOW_WIDTH = 560;
constexpr int WINDOW_HEIGHT = 440;
constexpr int SHIELD_BOX_HEIGHT = 96;
constexpr int CHANCE_BOX_WIDTH = 56;
constexpr int LIST_WORD_BOX_WIDTH = 96;

QCheckBox* NewCheckBox(const char* name, const char* caption, QWidget* parent) {
    auto* box = new QCheckBox(U(caption), parent);
    box->setObjectName(U(name));
    return box;
}

QLineEdit* NewLineEdit(const char* name, QWidget* parent) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(U(name));
    return edit;
}

QLabel* NewLabel(const char* text, QWidget* parent) {
    auto* label = new QLabel(U(text), parent);
    label->setWordWrap(true);
    return label;
}

}  // namespace

SettingsWindow::SettingsWindow(SettingsStore& settings, const std::string& account_dir,
                               QWidget* owner, std::function<void()> open_editor)
    : QWidget(owner, Qt::Window),
      m_settings(settings),
      m_account_dir(account_dir),
      m_open_editor(std::move(open_editor)) {
    setWindowTitle(U("设置"));
    resize(WINDOW_WIDTH, WINDOW_HEIGHT);

    auto* tabs = new QTabWidget(this);
    tabs->addTab(NewBasicPage(), U("基本设置"));
    tabs->addTab(NewChatPage(), U("聊天设置"));
    tabs->addTab(NewGroupPage(), U("群管设置"));
    tabs->addTab(NewPluginPage(), U("插件设置"));
    tabs->addTab(NewKeepingPage(), U("媒体与存档"));
    m_onebot = new OneBotPage(this);
    tabs->addTab(m_onebot, U("OneBot"));
    m_ai_page = new AiSettingsPage(this);
    tabs->addTab(m_ai_page, U("AI回复"));

    auto* footer = new QHBoxLayout;
    footer->addWidget(new QLabel(U("设置将自动保存"), this));
    footer->addStretch();
    m_editor_button = new QPushButton(U("词库编辑器"), this);
    m_editor_button->setObjectName(U("按钮_词库编辑器"));
    footer->addWidget(m_editor_button);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tabs);
    layout->addLayout(footer);

    connect(m_editor_button, &QPushButton::clicked, this, [this] {
        if (m_open_editor) {
            m_open_editor();
        }
    });
    for (QWidget* box :
         {static_cast<QWidget*>(m_reply_chance), static_cast<QWidget*>(m_shield),
          static_cast<QWidget*>(m_reply_expiry), static_cast<QWidget*>(m_replies_per_minute),
          static_cast<QWidget*>(m_auto_login_cap), static_cast<QWidget*>(m_media_cap),
          static_cast<QWidget*>(m_archive_days)}) {
        box->installEventFilter(this);
    }

    FillSettingsWindow(*m_settings.Get());
}

QWidget* SettingsWindow::NewBasicPage() {
    auto* page = new QWidget(this);
    m_name = NewLineEdit("设置_基本_姓名框", page);
    m_reply_enabled = NewCheckBox("选择框_是否回复消息", "启动自主发言", page);
    m_shield = new QPlainTextEdit(page);
    m_shield->setObjectName(U("设置_基本_屏蔽_好友"));
    m_shield->setFixedHeight(SHIELD_BOX_HEIGHT);

    auto* robot_box = new QGroupBox(U("机器人"), page);
    auto* robot_form = new QFormLayout(robot_box);
    robot_form->addRow(new QLabel(U("机器人姓名："), robot_box), m_name);
    robot_form->addRow(m_reply_enabled);

    auto* shield_box = new QGroupBox(U("屏蔽"), page);
    auto* shield_layout = new QVBoxLayout(shield_box);
    shield_layout->addWidget(
        NewLabel("忽略以下uin号（多个uin号请使用半角逗号分隔）：", shield_box));
    shield_layout->addWidget(m_shield);
    shield_layout->addWidget(NewLabel(
        "也可填联系人标识（c 开头，见消息窗口搜索结果的详情），重新登录后依然有效", shield_box));

    auto* layout = new QVBoxLayout(page);
    layout->addWidget(robot_box);
    layout->addWidget(NewLimitsBox(page));
    layout->addWidget(shield_box);
    layout->addStretch();
    return page;
}

QWidget* SettingsWindow::NewLimitsBox(QWidget* page) {
    auto* box = new QGroupBox(U("回复与登录"), page);
    // One row: a caption, the count's box, and what its unit and its 0 mean.
    const auto count_row = [box](QLineEdit* edit, const char* before, const char* after) {
        edit->setFixedWidth(CHANCE_BOX_WIDTH);
        auto* row = new QHBoxLayout;
        row->addWidget(new QLabel(U(before), box));
        row->addWidget(edit);
        row->addWidget(new QLabel(U(after), box));
        row->addStretch();
        return row;
    };
    m_replies_per_minute = NewLineEdit("编辑框_每分钟回复上限", box);
    m_reply_expiry = NewLineEdit("编辑框_回复过期秒数", box);
    m_auto_relogin = NewCheckBox("选择框_自动重新登录", "会话结束后自动重新登录（无需扫码）", box);
    m_auto_login_cap = NewLineEdit("编辑框_自动登录上限", box);
    auto* layout = new QVBoxLayout(box);
    layout->addLayout(count_row(m_replies_per_minute, "每个聊天每分钟最多回复", "条（0 为不限）"));
    layout->addLayout(count_row(m_reply_expiry, "回复等待超过", "秒则不再发送（0 为不限）"));
    layout->addWidget(m_auto_relogin);
    layout->addLayout(count_row(m_auto_login_cap, "24小时内最多自动登录", "次（0 为不限）"));
    return box;
}

QWidget* SettingsWindow::NewKeepingPage() {
    // A page of its own: the general page holds no more on a small screen.
    auto* page = new QWidget(this);
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(NewMediaBox(page));
    layout->addWidget(NewArchiveBox(page));
    layout->addStretch();
    return page;
}

QWidget* SettingsWindow::NewMediaBox(QWidget* page) {
    auto* box = new QGroupBox(U("收到的媒体"), page);
    m_media_download = new QComboBox(box);
    m_media_download->setObjectName(U("组合框_媒体下载"));
    // In the order of the setting's values 0, 1, 2.
    m_media_download->addItems({U("不保存"), U("保存图片和语音"), U("保存全部（含视频和文件）")});
    m_media_cap = NewLineEdit("编辑框_媒体上限MB", box);
    m_media_cap->setFixedWidth(CHANCE_BOX_WIDTH);
    auto* row = new QHBoxLayout;
    row->addWidget(m_media_download);
    row->addWidget(new QLabel(U("每个文件最多"), box));
    row->addWidget(m_media_cap);
    row->addWidget(new QLabel(U("MB（0 为不限）"), box));
    row->addStretch();
    auto* layout = new QVBoxLayout(box);
    layout->addLayout(row);
    return box;
}

QWidget* SettingsWindow::NewArchiveBox(QWidget* page) {
    // One row, so the general page still fits a small screen.
    auto* box = new QGroupBox(U("消息存档"), page);
    m_archive_enabled = NewCheckBox("选择框_启用存档", "保存收发的消息", box);
    m_archive_enabled->setToolTip(U("关闭立即生效，开启在下次启动时生效"));
    m_archive_days = NewLineEdit("编辑框_消息保留天数", box);
    m_archive_days->setFixedWidth(CHANCE_BOX_WIDTH);
    auto* layout = new QHBoxLayout(box);
    layout->addWidget(m_archive_enabled);
    layout->addWidget(new QLabel(U("消息保留"), box));
    layout->addWidget(m_archive_days);
    layout->addWidget(new QLabel(U("天（0 为全部保留）"), box));
    layout->addStretch();
    return box;
}

QWidget* SettingsWindow::NewChatPage() {
    auto* page = new QWidget(this);
    auto* learning_box = new QGroupBox(U("学习"), page);
    m_friend_learning = NewCheckBox("选择框_好友学习", "好友学习", learning_box);
    m_group_learning = NewCheckBox("选择框_群内学习", "群内学习", learning_box);
    auto* learning_layout = new QHBoxLayout(learning_box);
    learning_layout->addWidget(m_friend_learning);
    learning_layout->addWidget(m_group_learning);
    learning_layout->addStretch();

    auto* default_box = new QGroupBox(U("默认回复"), page);
    m_default_friend = NewCheckBox("设置_聊天_默认_好友", "好友启用", default_box);
    m_default_group = NewCheckBox("设置_聊天_默认_群", "群内启用", default_box);
    auto* default_layout = new QHBoxLayout(default_box);
    default_layout->addWidget(m_default_friend);
    default_layout->addWidget(m_default_group);
    default_layout->addStretch();

    auto* chance_box = new QGroupBox(U("词库"), page);
    m_reply_chance = NewLineEdit("编辑框_回复几率", chance_box);
    m_reply_chance->setFixedWidth(CHANCE_BOX_WIDTH);
    auto* chance_layout = new QHBoxLayout(chance_box);
    chance_layout->addWidget(new QLabel(U("群内词库回复几率："), chance_box));
    chance_layout->addWidget(m_reply_chance);
    chance_layout->addWidget(new QLabel(U("%"), chance_box));
    chance_layout->addStretch();

    auto* layout = new QVBoxLayout(page);
    layout->addWidget(learning_box);
    layout->addWidget(default_box);
    layout->addWidget(chance_box);
    layout->addStretch();
    return page;
}

QWidget* SettingsWindow::NewGroupPage() {
    auto* page = new QWidget(this);
    auto* group_box = new QGroupBox(U("群管"), page);
    m_group_enabled = NewCheckBox("选择框_群管启用", "群管启用", group_box);
    m_group_join = NewLineEdit("编辑框_加入", group_box);
    m_group_invite = NewLineEdit("编辑_邀入", group_box);
    m_group_remove = NewLineEdit("编辑框_移出", group_box);

    auto* texts = new QFormLayout;
    texts->addRow(new QLabel(U("加入"), group_box), m_group_join);
    texts->addRow(new QLabel(U("邀入"), group_box), m_group_invite);
    texts->addRow(new QLabel(U("移出"), group_box), m_group_remove);
    auto* group_layout = new QVBoxLayout(group_box);
    group_layout->addWidget(m_group_enabled);
    group_layout->addLayout(texts);
    group_layout->addWidget(
        NewLabel("提示：需群管理权限，留空为不回复昵称用[name]代替", group_box));

    auto* layout = new QVBoxLayout(page);
    layout->addWidget(group_box);
    layout->addStretch();
    return page;
}

QWidget* SettingsWindow::NewPluginPage() {
    auto* page = new QWidget(this);
    m_list_enabled = NewCheckBox("选择框_插件列表回复", "", page);
    m_list_enabled->setAccessibleName(U("机器人收到…时自动回复插件列表"));
    m_list_word = NewLineEdit("编辑框_插件列表关键字", page);
    m_list_word->setFixedWidth(LIST_WORD_BOX_WIDTH);
    auto* list_row = new QHBoxLayout;
    list_row->addWidget(m_list_enabled);
    list_row->addWidget(new QLabel(U("机器人收到"), page));
    list_row->addWidget(m_list_word);
    list_row->addWidget(new QLabel(U("时自动回复插件列表"), page));
    list_row->addStretch();

    m_plugin_host = new QWidget(page);
    auto* host_layout = new QVBoxLayout(m_plugin_host);
    host_layout->setContentsMargins(0, 0, 0, 0);

    auto* layout = new QVBoxLayout(page);
    layout->addLayout(list_row);
    layout->addWidget(m_plugin_host, 1);
    return page;
}

void SettingsWindow::FillSettingsWindow(const Settings& settings) {
    using widgets::ToQString;
    m_shield->setPlainText(ToQString(settings.屏蔽uin));
    m_name->setText(ToQString(settings.机器人姓名));
    m_group_enabled->setChecked(settings.启用群管);
    m_group_join->setText(ToQString(settings.群管_加));
    m_group_invite->setText(ToQString(settings.群管_邀));
    m_group_remove->setText(ToQString(settings.群管_移));
    m_default_friend->setChecked(settings.好友默认);
    m_default_group->setChecked(settings.群默认);
    m_list_enabled->setChecked(settings.开启列表);
    m_list_word->setText(ToQString(settings.列表词));
    m_friend_learning->setChecked(settings.好友学习);
    m_group_learning->setChecked(settings.群学习);
    m_reply_chance->setText(ToQString(settings.回复几率));
    m_reply_expiry->setText(ToQString(settings.回复过期秒数));
    m_replies_per_minute->setText(ToQString(settings.每分钟回复上限));
    m_auto_relogin->setChecked(settings.自动重新登录);
    m_auto_login_cap->setText(ToQString(settings.自动登录上限));
    m_archive_enabled->setChecked(settings.启用存档);
    m_archive_days->setText(ToQString(settings.消息保留天数));
    m_reply_enabled->setChecked(settings.启用回复);
    m_media_download->setCurrentIndex(MediaDownloadMode(settings.媒体下载));
    m_media_cap->setText(ToQString(settings.媒体上限MB));
    m_onebot->Fill(settings.onebot);
    m_ai_page->Fill(settings.ai);
}

void SettingsWindow::ReadSettingsWindow(Settings& settings) const {
    using widgets::ToGbk;
    settings.屏蔽uin = JoinShieldLines(ToGbk(m_shield->toPlainText()));
    settings.机器人姓名 = ToGbk(m_name->text());
    settings.启用群管 = m_group_enabled->isChecked();
    settings.群管_加 = ToGbk(m_group_join->text());
    settings.群管_邀 = ToGbk(m_group_invite->text());
    settings.群管_移 = ToGbk(m_group_remove->text());
    settings.好友默认 = m_default_friend->isChecked();
    settings.群默认 = m_default_group->isChecked();
    settings.开启列表 = m_list_enabled->isChecked();
    settings.列表词 = ToGbk(m_list_word->text());
    settings.好友学习 = m_friend_learning->isChecked();
    settings.群学习 = m_group_learning->isChecked();
    settings.回复几率 = NormalizeReplyChance(ToGbk(m_reply_chance->text()));
    settings.回复过期秒数 = NormalizeReplyExpiry(ToGbk(m_reply_expiry->text()));
    settings.每分钟回复上限 =
        NormalizeCount(ToGbk(m_replies_per_minute->text()), Settings{}.每分钟回复上限);
    settings.自动重新登录 = m_auto_relogin->isChecked();
    settings.自动登录上限 =
        NormalizeCount(ToGbk(m_auto_login_cap->text()), Settings{}.自动登录上限);
    settings.启用存档 = m_archive_enabled->isChecked();
    settings.消息保留天数 = NormalizeCount(ToGbk(m_archive_days->text()), Settings{}.消息保留天数);
    settings.启用回复 = m_reply_enabled->isChecked();
    settings.媒体下载 = std::to_string(m_media_download->currentIndex());
    settings.媒体上限MB = NormalizeCount(ToGbk(m_media_cap->text()), Settings{}.媒体上限MB);
    m_onebot->Read(settings.onebot);
    m_ai_page->Read(settings.ai);
}

void SettingsWindow::SetOnFilled(const std::function<void()>& hook) {
    if (hook) {
        hook();
    }
}

void SettingsWindow::SetOnClosing(std::function<void()> hook) {
    m_on_closing = std::move(hook);
}

bool SettingsWindow::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::FocusOut) {
        return QWidget::eventFilter(watched, event);
    }
    if (watched == m_reply_chance) {
        const QString normal =
            widgets::ToQString(NormalizeReplyChance(widgets::ToGbk(m_reply_chance->text())));
        if (normal != m_reply_chance->text()) {
            m_reply_chance->setText(normal);
        }
    } else if (watched == m_reply_expiry || watched == m_replies_per_minute ||
               watched == m_auto_login_cap || watched == m_media_cap || watched == m_archive_days) {
        auto* edit = static_cast<QLineEdit*>(watched);
        const Settings defaults;
        const std::string& fallback = edit == m_reply_expiry         ? defaults.回复过期秒数
                                      : edit == m_replies_per_minute ? defaults.每分钟回复上限
                                      : edit == m_media_cap          ? defaults.媒体上限MB
                                      : edit == m_archive_days       ? defaults.消息保留天数
                                                                     : defaults.自动登录上限;
        const QString normal =
            widgets::ToQString(NormalizeCount(widgets::ToGbk(edit->text()), fallback));
        if (normal != edit->text()) {
            edit->setText(normal);
        }
    } else if (watched == m_shield) {
        const QString joined =
            widgets::ToQString(JoinShieldLines(widgets::ToGbk(m_shield->toPlainText())));
        if (joined != m_shield->toPlainText()) {
            m_shield->setPlainText(joined);
        }
    }
    return QWidget::eventFilter(watched, event);
}

void SettingsWindow::SaveOnClose() {
    // The window's fields go into the newest snapshot, so a 显示消息 switched in the message
    // window meanwhile is kept, and the whole record is swapped in one step.
    m_settings.Update([this](Settings& settings) { ReadSettingsWindow(settings); });
    if (m_account_dir.empty()) {
        return;
    }
    SaveSettings(ConfigPath(m_account_dir, SETTINGS_FILE), *m_settings.Get());
}

void SettingsWindow::CheckModelSettings() {
    if (const std::string problem = CheckAiSettings(m_settings.Get()->ai); !problem.empty()) {
        emit modelSettingsProblem(widgets::ToQString(problem));
    }
}

void SettingsWindow::closeEvent(QCloseEvent* event) {
    SaveOnClose();
    CheckModelSettings();
    if (m_on_closing) {
        m_on_closing();
    }
    event->accept();
}

}  // namespace zelmo::config
