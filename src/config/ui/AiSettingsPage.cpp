#include "config/ui/AiSettingsPage.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QVBoxLayout>
#include <string>

#include "config/SettingsInput.h"
#include "platform/GbkText.h"
#include "widgets/QtText.h"

namespace zelmo::config {

namespace {

using widgets::U;

constexpr int NUMBER_BOX_WIDTH = 72;
constexpr int PROMPT_BOX_HEIGHT = 64;

QLineEdit* NewLineEdit(const char* name, QWidget* parent, const char* hint = "") {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(U(name));
    edit->setPlaceholderText(U(hint));
    return edit;
}

QLineEdit* NewNumberEdit(const char* name, QWidget* parent) {
    QLineEdit* edit = NewLineEdit(name, parent);
    edit->setFixedWidth(NUMBER_BOX_WIDTH);
    return edit;
}

// A number's box with its unit (and what its 0 means) after it.
QHBoxLayout* WithUnit(QLineEdit* edit, const char* unit, QWidget* parent) {
    auto* row = new QHBoxLayout;
    row->addWidget(edit);
    row->addWidget(new QLabel(U(unit), parent));
    row->addStretch();
    return row;
}

}  // namespace

AiSettingsPage::AiSettingsPage(QWidget* parent) : QWidget(parent) {
    m_enabled = new QCheckBox(U("启用AI回复（词库和插件都没有回答的消息，由语言模型回答）"), this);
    m_enabled->setObjectName(U("选择框_AI启用"));
    m_address = NewLineEdit("编辑框_接口地址", this,
                            "https://api.example.com/v1 或本机的 http://127.0.0.1:11434/v1");
    m_key = NewLineEdit("编辑框_密钥", this, "本机的服务可以不填");
    m_key->setEchoMode(QLineEdit::Password);
    m_model = NewLineEdit("编辑框_模型", this);
    m_prompt = new QPlainTextEdit(this);
    m_prompt->setObjectName(U("编辑框_系统提示"));
    m_prompt->setFixedHeight(PROMPT_BOX_HEIGHT);
    m_context_turns = NewNumberEdit("编辑框_上下文条数", this);
    m_max_reply = NewNumberEdit("编辑框_最长回复", this);
    m_timeout = NewNumberEdit("编辑框_超时秒数", this);
    m_daily_limit = NewNumberEdit("编辑框_每日上限", this);
    m_friends = new QCheckBox(U("回复好友"), this);
    m_friends->setObjectName(U("选择框_AI好友"));
    m_groups = new QComboBox(this);
    m_groups->setObjectName(U("下拉框_AI群"));
    m_groups->addItems({U("从不回复"), U("被@或以名字开头时回复"), U("回复所有消息")});
    m_prefix = NewLineEdit("编辑框_触发前缀", this, "留空则不需要前缀");

    auto* form = new QFormLayout;
    form->addRow(U("接口地址："), m_address);
    form->addRow(U("密钥："), m_key);
    form->addRow(U("模型："), m_model);
    form->addRow(U("系统提示："), m_prompt);
    form->addRow(U("上下文条数："), WithUnit(m_context_turns, "条（本聊天最近的消息）", this));
    form->addRow(U("最长回复："), WithUnit(m_max_reply, "字（更长的在句末截断）", this));
    form->addRow(U("超时秒数："), WithUnit(m_timeout, "秒", this));
    form->addRow(U("群消息："), m_groups);
    form->addRow(U("每日上限："), WithUnit(m_daily_limit, "次请求（0 为不限）", this));
    form->addRow(U("触发前缀："), m_prefix);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_enabled);
    layout->addWidget(m_friends);
    layout->addLayout(form);
    layout->addWidget(new QLabel(
        U("提示：启用后，回答的消息（连同本聊天最近的消息）会发送到上面的接口地址。"), this));
    layout->addStretch();
}

void AiSettingsPage::Fill(const AiSettings& ai) {
    using widgets::ToQString;
    m_enabled->setChecked(ai.启用);
    m_address->setText(ToQString(ai.接口地址));
    m_key->setText(ToQString(ai.密钥));
    m_model->setText(ToQString(ai.模型));
    m_prompt->setPlainText(ToQString(platform::ReplaceAllGbk(ai.系统提示, "[enter]", "\n", true)));
    m_context_turns->setText(ToQString(ai.上下文条数));
    m_max_reply->setText(ToQString(ai.最长回复));
    m_timeout->setText(ToQString(ai.超时秒数));
    m_friends->setChecked(ai.好友);
    m_groups->setCurrentIndex(static_cast<int>(ReadAiNumbers(ai).group));
    m_daily_limit->setText(ToQString(ai.每日上限));
    m_prefix->setText(ToQString(ai.触发前缀));
}

void AiSettingsPage::Read(AiSettings& ai) const {
    using widgets::ToGbk;
    ai.启用 = m_enabled->isChecked();
    ai.接口地址 = ToGbk(m_address->text().trimmed());
    ai.密钥 = ToGbk(m_key->text().trimmed());
    ai.模型 = ToGbk(m_model->text().trimmed());
    ai.系统提示 = StoredLineBreaks(ToGbk(m_prompt->toPlainText()));
    ai.好友 = m_friends->isChecked();
    ai.群 = std::to_string(m_groups->currentIndex());
    ai.触发前缀 = ToGbk(m_prefix->text());
    ai.上下文条数 = ToGbk(m_context_turns->text());
    ai.最长回复 = ToGbk(m_max_reply->text());
    ai.超时秒数 = ToGbk(m_timeout->text());
    ai.每日上限 = ToGbk(m_daily_limit->text());
    // What the robot would read them as.
    const AiNumbers numbers = ReadAiNumbers(ai);
    ai.上下文条数 = std::to_string(numbers.context_turns);
    ai.最长回复 = std::to_string(numbers.max_reply_chars);
    ai.超时秒数 = std::to_string(numbers.timeout_s);
    ai.每日上限 = std::to_string(numbers.daily_limit);
}

}  // namespace zelmo::config
