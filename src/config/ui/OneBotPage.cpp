#include "config/ui/OneBotPage.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include "widgets/QtText.h"

namespace zelmo::config {

namespace {

using widgets::U;

constexpr int NUMBER_BOX_WIDTH = 72;

QLineEdit* NewLineEdit(const char* name, const char* placeholder, QWidget* parent) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(U(name));
    edit->setPlaceholderText(U(placeholder));
    return edit;
}

QCheckBox* NewCheckBox(const char* name, const char* caption, QWidget* parent) {
    auto* box = new QCheckBox(U(caption), parent);
    box->setObjectName(U(name));
    return box;
}

std::string Trimmed(const QLineEdit* edit) {
    return widgets::ToGbk(edit->text().trimmed());
}

// A number's box left empty stands for its default.
std::string NumberOr(const QLineEdit* edit, const std::string& fallback) {
    std::string number = Trimmed(edit);
    return number.empty() ? fallback : number;
}

}  // namespace

OneBotPage::OneBotPage(QWidget* parent) : QWidget(parent) {
    m_enabled = NewCheckBox("选择框_OneBot启用", "启用 OneBot 12（供机器人框架连接）", this);
    m_http = NewLineEdit("编辑框_HTTP地址", "127.0.0.1:6700，留空为不开", this);
    m_ws = NewLineEdit("编辑框_WS地址", "127.0.0.1:6700，留空为不开", this);
    m_reverse =
        NewLineEdit("编辑框_反向WS", "ws://127.0.0.1:8080/onebot/v12/，多个用 ; 分隔", this);
    m_webhook = NewLineEdit("编辑框_Webhook", "https://…，多个用 ; 分隔", this);
    m_token = NewLineEdit("编辑框_访问令牌", "监听本机以外的地址时必填", this);
    m_token->setEchoMode(QLineEdit::PasswordEchoOnEdit);
    m_heartbeat = NewLineEdit("编辑框_心跳间隔", "5000", this);
    m_reconnect = NewLineEdit("编辑框_重连间隔", "3000", this);
    m_buffer = NewLineEdit("编辑框_事件缓冲", "1000", this);
    for (QLineEdit* number : {m_heartbeat, m_reconnect, m_buffer}) {
        number->setFixedWidth(NUMBER_BOX_WIDTH);
    }
    m_take_over =
        NewCheckBox("选择框_接管回复", "框架连接时只由框架回复（词库和插件不回复）", this);
    m_http_events = NewCheckBox("选择框_HTTP事件", "保留事件供 HTTP 的 get_latest_events 取", this);
    m_folder = NewLineEdit("编辑框_文件目录", "upload_file 可按路径读取的文件夹，留空为不许", this);
    m_problem = new QLabel(this);
    m_problem->setObjectName(U("标签_OneBot提示"));
    m_problem->setWordWrap(true);

    auto* form = new QFormLayout;
    form->addRow(U("HTTP地址："), m_http);
    form->addRow(U("WS地址："), m_ws);
    form->addRow(U("反向WS："), m_reverse);
    form->addRow(U("Webhook："), m_webhook);
    form->addRow(U("访问令牌："), m_token);
    form->addRow(U("心跳间隔（毫秒，0 为不发）："), m_heartbeat);
    form->addRow(U("重连间隔（毫秒）："), m_reconnect);
    form->addRow(U("事件缓冲（条）："), m_buffer);
    form->addRow(U("文件目录："), m_folder);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_enabled);
    layout->addLayout(form);
    layout->addWidget(m_take_over);
    layout->addWidget(m_http_events);
    layout->addWidget(new QLabel(U("修改后重新启动机器人生效。"), this));
    layout->addWidget(m_problem);
    layout->addStretch();

    for (QLineEdit* edit : {m_http, m_ws, m_reverse, m_webhook, m_token, m_heartbeat, m_reconnect,
                            m_buffer, m_folder}) {
        connect(edit, &QLineEdit::textChanged, this, [this] { ShowCheck(); });
    }
    connect(m_enabled, &QCheckBox::toggled, this, [this] { ShowCheck(); });
}

void OneBotPage::Fill(const OneBotSettings& settings) {
    using widgets::ToQString;
    m_enabled->setChecked(settings.启用);
    m_http->setText(ToQString(settings.HTTP地址));
    m_ws->setText(ToQString(settings.WS地址));
    m_reverse->setText(ToQString(settings.反向WS));
    m_webhook->setText(ToQString(settings.Webhook));
    m_token->setText(ToQString(settings.访问令牌));
    m_heartbeat->setText(ToQString(settings.心跳间隔));
    m_reconnect->setText(ToQString(settings.重连间隔));
    m_take_over->setChecked(settings.接管回复);
    m_http_events->setChecked(settings.HTTP事件);
    m_buffer->setText(ToQString(settings.事件缓冲));
    m_folder->setText(ToQString(settings.文件目录));
    ShowCheck();
}

void OneBotPage::Read(OneBotSettings& settings) const {
    const OneBotSettings defaults;
    settings.启用 = m_enabled->isChecked();
    settings.HTTP地址 = Trimmed(m_http);
    settings.WS地址 = Trimmed(m_ws);
    settings.反向WS = Trimmed(m_reverse);
    settings.Webhook = Trimmed(m_webhook);
    settings.访问令牌 = widgets::ToGbk(m_token->text());
    settings.心跳间隔 = NumberOr(m_heartbeat, defaults.心跳间隔);
    settings.重连间隔 = NumberOr(m_reconnect, defaults.重连间隔);
    settings.接管回复 = m_take_over->isChecked();
    settings.HTTP事件 = m_http_events->isChecked();
    settings.事件缓冲 = NumberOr(m_buffer, defaults.事件缓冲);
    settings.文件目录 = Trimmed(m_folder);
}

void OneBotPage::ShowCheck() {
    OneBotSettings settings;
    Read(settings);
    const std::vector<OneBotSettingsError> errors = CheckOneBotSettings(settings);
    m_problem->setText(errors.empty() ? QString() : widgets::ToQString(errors.front().text));
}

}  // namespace zelmo::config
