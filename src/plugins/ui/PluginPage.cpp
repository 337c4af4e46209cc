#include "plugins/ui/PluginPage.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "platform/GbkLiteral.h"
#include "plugins/EnableState.h"
#include "plugins/PluginHost.h"
#include "plugins/PluginScan.h"
#include "widgets/QtText.h"

namespace zelmo::plugins {

namespace {

constexpr int CHECK_COLUMN_WIDTH = 20;
constexpr int NAME_COLUMN_WIDTH = 155;

QLabel* ValueLabel(const char* name, QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setObjectName(QString::fromUtf8(name));
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

}  // namespace

PluginPage::PluginPage(PluginHost& plugins, const std::string& account_dir, PluginPort& screen,
                       QWidget* parent)
    : QWidget(parent),
      m_plugins(plugins),
      m_account_dir(account_dir),
      m_screen(screen),
      m_list(new QTreeWidget(this)),
      m_placeholder(new QLabel(QString::fromUtf8("请选择插件"), this)),
      m_file_name(ValueLabel("标签_文件名", this)),
      m_name(ValueLabel("标签_插件名", this)),
      m_version(ValueLabel("标签_版本", this)),
      m_author(ValueLabel("标签_作者", this)),
      m_listed(ValueLabel("标签_显示", this)),
      m_format(ValueLabel("标签_发送格式", this)),
      m_intro(new QPlainTextEdit(this)),
      m_refresh(new QPushButton(QString::fromUtf8("刷新"), this)),
      m_uninstall(new QPushButton(QString::fromUtf8("卸载"), this)) {
    m_list->setObjectName(QString::fromUtf8("接口列表"));
    m_list->setColumnCount(2);
    m_list->setHeaderLabels({QString(), QString::fromUtf8("名称")});
    m_list->header()->setMinimumSectionSize(CHECK_COLUMN_WIDTH);
    m_list->setColumnWidth(0, CHECK_COLUMN_WIDTH);
    m_list->setColumnWidth(1, NAME_COLUMN_WIDTH);
    m_list->setRootIsDecorated(false);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setFixedWidth(CHECK_COLUMN_WIDTH + NAME_COLUMN_WIDTH + 4);
    m_placeholder->setObjectName(QString::fromUtf8("暂无插件"));
    m_placeholder->setAlignment(Qt::AlignCenter);
    m_placeholder->setAutoFillBackground(true);  // covers the details beneath it
    m_intro->setObjectName(QString::fromUtf8("编辑框_介绍"));
    m_intro->setReadOnly(true);
    m_refresh->setObjectName(QString::fromUtf8("按钮_刷新"));
    m_uninstall->setObjectName(QString::fromUtf8("按钮_卸载"));

    auto* details = new QWidget(this);
    auto* grid = new QGridLayout(details);
    grid->setContentsMargins(0, 0, 0, 0);
    const std::pair<const char*, QWidget*> rows[] = {
        {"文件名：", m_file_name}, {"插件名称：", m_name},           {"版本：", m_version},
        {"作者：", m_author},      {"在功能列表中显示：", m_listed}, {"发送格式：", m_format},
        {"介绍：", m_intro}};
    int row = 0;
    for (const auto& [caption, value] : rows) {
        auto* caption_label = new QLabel(QString::fromUtf8(caption), details);
        grid->addWidget(caption_label, row, 0, Qt::AlignRight | Qt::AlignTop);
        value->setParent(details);
        grid->addWidget(value, row, 1);
        ++row;
    }
    grid->setColumnStretch(1, 1);
    grid->setRowStretch(row - 1, 1);

    auto* details_area = new QGridLayout;
    details_area->addWidget(details, 0, 0);
    details_area->addWidget(m_placeholder, 0, 0);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_refresh);
    buttons->addWidget(m_uninstall);

    auto* right = new QVBoxLayout;
    right->addLayout(details_area, 1);
    right->addLayout(buttons);

    auto* layout = new QHBoxLayout(this);
    layout->addWidget(m_list);
    layout->addLayout(right, 1);
    m_placeholder->raise();

    connect(m_list, &QTreeWidget::itemSelectionChanged, this, &PluginPage::ShowSelected);
    connect(m_list, &QTreeWidget::itemChanged, this, &PluginPage::OnItemChanged);
    connect(m_refresh, &QPushButton::clicked, this, &PluginPage::Refresh);
    connect(m_uninstall, &QPushButton::clicked, this, &PluginPage::Uninstall);
}

void PluginPage::FillPluginList() {
    const QSignalBlocker blocker(m_list);
    m_list->clear();
    m_placeholder->show();
    const PluginTableSnapshot table = m_plugins.Table();
    for (const PluginRecord& record : *table) {
        auto* item = new QTreeWidgetItem(m_list);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        item->setCheckState(0, record.Enabled ? Qt::Checked : Qt::Unchecked);
        item->setText(
            1, widgets::ToQString(record.Name + "(" + DisplayFileName(record.FileName) + ")"));
    }
}

void PluginPage::SaveChecks() {
    ReadChecksIntoTable(m_plugins, Checks());
    SaveEnableStates(m_plugins, m_account_dir);
}

std::vector<bool> PluginPage::Checks() const {
    std::vector<bool> checks;
    checks.reserve(static_cast<std::size_t>(m_list->topLevelItemCount()));
    for (int i = 0; i < m_list->topLevelItemCount(); ++i) {
        checks.push_back(m_list->topLevelItem(i)->checkState(0) == Qt::Checked);
    }
    return checks;
}

int PluginPage::SelectedRow() const {
    const QList<QTreeWidgetItem*> selected = m_list->selectedItems();
    return selected.isEmpty() ? -1 : m_list->indexOfTopLevelItem(selected.first());
}

void PluginPage::ShowSelected() {
    const int selected = SelectedRow();
    const PluginTableSnapshot table = m_plugins.Table();
    if (selected < 0 || static_cast<std::size_t>(selected) >= table->size()) {
        m_placeholder->show();
        return;
    }
    const PluginRecord& record = (*table)[static_cast<std::size_t>(selected)];
    m_file_name->setText(widgets::ToQString(DisplayFileName(record.FileName)));
    m_name->setText(widgets::ToQString(record.Name));
    m_version->setText(widgets::ToQString(record.Version));
    m_author->setText(widgets::ToQString(record.Author));
    m_listed->setText(QString::fromUtf8(record.Listed == 1 ? "是" : "否"));
    m_format->setText(widgets::ToQString(record.Prefix + record.ParamHint + record.Suffix));
    m_intro->setPlainText(widgets::ToQString(record.Intro));
    m_placeholder->hide();
}

void PluginPage::SetCheck(QTreeWidgetItem* item, bool checked) {
    // Set by the page, not the user: no new toggle.
    const QSignalBlocker blocker(m_list);
    item->setCheckState(0, checked ? Qt::Checked : Qt::Unchecked);
}

void PluginPage::OnItemChanged(QTreeWidgetItem* item, int column) {
    if (column != 0) {
        return;
    }
    const int row = m_list->indexOfTopLevelItem(item);
    const PluginTableSnapshot table = m_plugins.Table();
    if (row < 0 || static_cast<std::size_t>(row) >= table->size()) {
        return;
    }
    const auto index = static_cast<std::size_t>(row);
    const bool checked = item->checkState(0) == Qt::Checked;
    if (checked && (*table)[index].WantsAccount) {
        SetCheck(item, false);  // stays cleared while the user is asked
    }
    SetCheck(item, ToggleRecord(m_plugins, m_screen, index, checked));
}

void PluginPage::Refresh() {
    SaveChecks();
    ScanPlugins(m_plugins, m_account_dir, m_screen, true);
    LoadEnableStates(m_plugins, m_account_dir);
    FillPluginList();
}

void PluginPage::Uninstall() {
    const int selected = SelectedRow();
    const PluginTableSnapshot table = m_plugins.Table();
    if (selected + 1 > static_cast<int>(table->size())) {
        m_placeholder->show();
        return;
    }
    if (selected == -1) {
        return;
    }
    const PluginRecord& record = (*table)[static_cast<std::size_t>(selected)];
    if (!m_screen.AskYesNo(platform::Gbk("提示"), UninstallQuestion(record.Name))) {
        return;
    }
    // The other rows' unsaved check boxes would otherwise be lost to the rescan.
    SaveChecks();
    UninstallPlugin(m_plugins, m_account_dir, m_screen, static_cast<std::size_t>(selected));
    FillPluginList();
}

}  // namespace zelmo::plugins
