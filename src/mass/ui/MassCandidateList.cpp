#include "mass/ui/MassCandidateList.h"

#include <QCheckBox>
#include <QFocusEvent>
#include <QHBoxLayout>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeView>
#include <QVBoxLayout>

#include "contacts/ui/ContactKinds.h"
#include "contacts/ui/ListColumns.h"
#include "platform/GbkText.h"
#include "widgets/ClickableLabel.h"
#include "widgets/QtText.h"

namespace zelmo::mass {

using contacts::ColumnSpec;
using contacts::ContactKinds;
using contacts::ContactRecord;
using contacts::Kinds;
using contacts::NewListView;

namespace {

constexpr int COLUMN_TICK = 0;
constexpr int COLUMN_NICKNAME = 2;

const std::vector<ColumnSpec>& CandidateColumns() {
    static const std::vector<ColumnSpec> columns = {
        {"选中", 36}, {"UserName", 0}, {"昵称", 110}, {"性别", 50}, {"地区", 80}};
    return columns;
}

QString SearchPrompt() {
    return QString::fromUtf8("输入昵称");
}

}  // namespace

void CandidateModel::Fill(const std::vector<ContactRecord>& records) {
    const ContactKinds& kinds = Kinds();
    beginResetModel();
    m_rows.clear();
    // No Uin is held back from mass sending; public accounts never take part.
    for (const ContactRecord& record : records) {
        if (record.kind == kinds.public_account) {
            continue;
        }
        m_rows.push_back(Row{record.UserName, record.NickName, record.kind,
                             record.Province + " " + record.City, false});
    }
    endResetModel();
}

void CandidateModel::SelectByCategory(bool groups, bool male, bool female) {
    const ContactKinds& kinds = Kinds();
    for (Row& row : m_rows) {
        if (row.kind == kinds.group) {
            row.ticked = groups;
        } else if (row.kind == kinds.male) {
            row.ticked = male;
        } else if (row.kind == kinds.female) {
            row.ticked = female;
        }
    }
    if (!m_rows.empty()) {
        emit dataChanged(index(0, COLUMN_TICK), index(rowCount() - 1, COLUMN_TICK),
                         {Qt::CheckStateRole});
    }
}

void CandidateModel::SetTicked(int row, bool ticked) {
    setData(index(row, COLUMN_TICK), ticked ? Qt::Checked : Qt::Unchecked, Qt::CheckStateRole);
}

bool CandidateModel::Ticked(int row) const {
    return row >= 0 && row < rowCount() && m_rows[static_cast<std::size_t>(row)].ticked;
}

std::vector<MassMember> CandidateModel::TickedCandidates() const {
    std::vector<MassMember> ticked;
    for (const Row& row : m_rows) {
        if (row.ticked) {
            ticked.push_back(MassMember{row.user_name, row.nickname});
        }
    }
    return ticked;
}

int CandidateModel::FindNickName(std::string_view text) const {
    if (text.empty()) {
        return -1;
    }
    for (std::size_t i = 0; i < m_rows.size(); ++i) {
        if (platform::ContainsGbk(m_rows[i].nickname, text, true)) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

std::string CandidateModel::CellText(int row, int column) const {
    if (row < 0 || row >= rowCount()) {
        return {};
    }
    const Row& r = m_rows[static_cast<std::size_t>(row)];
    switch (column) {
        case 1:
            return r.user_name;
        case 2:
            return r.nickname;
        case 3:
            return r.kind;
        case 4:
            return r.region;
        default:
            return {};
    }
}

int CandidateModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int CandidateModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(CandidateColumns().size());
}

QVariant CandidateModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) {
        return {};
    }
    if (index.column() == COLUMN_TICK) {
        if (role != Qt::CheckStateRole) {
            return {};
        }
        return m_rows[static_cast<std::size_t>(index.row())].ticked ? Qt::Checked : Qt::Unchecked;
    }
    if (role != Qt::DisplayRole) {
        return {};
    }
    return widgets::ToQString(CellText(index.row(), index.column()));
}

bool CandidateModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (!index.isValid() || index.row() >= rowCount() || index.column() != COLUMN_TICK ||
        role != Qt::CheckStateRole) {
        return false;
    }
    m_rows[static_cast<std::size_t>(index.row())].ticked =
        value.toInt() == static_cast<int>(Qt::Checked);
    emit dataChanged(index, index, {Qt::CheckStateRole});
    return true;
}

Qt::ItemFlags CandidateModel::flags(const QModelIndex& index) const {
    Qt::ItemFlags flags = QAbstractTableModel::flags(index);
    if (index.isValid() && index.column() == COLUMN_TICK) {
        flags |= Qt::ItemIsUserCheckable;
    }
    return flags;
}

QVariant CandidateModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) {
        return {};
    }
    return ColumnTitle(CandidateColumns(), section);
}

MassCandidateList::MassCandidateList(const contacts::ContactStore& contacts, QWidget* parent)
    : QWidget(parent),
      m_contacts(contacts),
      m_model(new CandidateModel(this)),
      m_list(NewListView(QString::fromUtf8("群发列表框_成员"), this)),
      m_search(new QLineEdit(SearchPrompt(), this)),
      m_search_button(new QPushButton(QString::fromUtf8("搜索"), this)),
      m_refresh(new widgets::ClickableLabel(QString::fromUtf8("刷新"), this)),
      m_groups(new QCheckBox(QString::fromUtf8("群"), this)),
      m_male(new QCheckBox(QString::fromUtf8("男"), this)),
      m_female(new QCheckBox(QString::fromUtf8("女"), this)) {
    m_list->setModel(m_model);
    ApplyColumnWidths(m_list, CandidateColumns());
    m_search->setObjectName(QString::fromUtf8("编辑框_搜索"));
    m_search_button->setObjectName(QString::fromUtf8("按钮_搜索"));
    m_refresh->setObjectName(QString::fromUtf8("标签_刷新"));
    m_groups->setObjectName(QString::fromUtf8("选择框_群"));
    m_male->setObjectName(QString::fromUtf8("选择框_男"));
    m_female->setObjectName(QString::fromUtf8("选择框_女"));
    m_search->installEventFilter(this);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* search_row = new QHBoxLayout();
    search_row->addWidget(m_search, 1);
    search_row->addWidget(m_search_button);
    search_row->addWidget(m_refresh);
    layout->addLayout(search_row);
    layout->addWidget(m_list, 1);
    auto* kinds_row = new QHBoxLayout();
    kinds_row->addWidget(m_groups);
    kinds_row->addWidget(m_male);
    kinds_row->addWidget(m_female);
    kinds_row->addStretch(1);
    layout->addLayout(kinds_row);

    connect(m_search_button, &QPushButton::clicked, this, [this] { Search(); });
    connect(m_refresh, &widgets::ClickableLabel::clicked, this, [this] {
        m_refresh->setEnabled(false);
        FillMassCandidates();
        m_refresh->setEnabled(true);
    });
    for (QCheckBox* box : {m_groups, m_male, m_female}) {
        connect(box, &QCheckBox::clicked, this, [this] { SelectByCategory(); });
    }
}

void MassCandidateList::FillMassCandidates() {
    m_model->Fill(m_contacts.Snapshot());
    ApplyColumnWidths(m_list, CandidateColumns());
}

void MassCandidateList::SelectByCategory() {
    m_model->SelectByCategory(m_groups->isChecked(), m_male->isChecked(), m_female->isChecked());
}

void MassCandidateList::Search() {
    const int row = m_model->FindNickName(widgets::ToGbk(m_search->text()));
    if (row < 0) {
        m_list->selectionModel()->clear();
        return;
    }
    const QModelIndex found = m_model->index(row, COLUMN_NICKNAME);
    m_list->selectionModel()->setCurrentIndex(
        found, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    m_list->scrollTo(found);
}

void MassCandidateList::SetControlsEnabled(bool enabled) {
    for (QWidget* control : std::initializer_list<QWidget*>{
             m_list, m_search, m_search_button, m_refresh, m_groups, m_male, m_female}) {
        control->setEnabled(enabled);
    }
}

bool MassCandidateList::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_search) {
        if (event->type() == QEvent::FocusIn && m_search->text() == SearchPrompt()) {
            m_search->clear();
        } else if (event->type() == QEvent::FocusOut && m_search->text().isEmpty()) {
            m_search->setText(SearchPrompt());
        }
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace zelmo::mass
