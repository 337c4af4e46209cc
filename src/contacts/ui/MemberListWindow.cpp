#include "contacts/ui/MemberListWindow.h"

#include <QResizeEvent>
#include <QTreeView>

#include "contacts/ui/ListColumns.h"
#include "widgets/QtText.h"

namespace zelmo::contacts {

namespace {

constexpr int MIN_WIDTH = 200;
constexpr int MIN_HEIGHT = 185;
constexpr int START_WIDTH = 320;
constexpr int START_HEIGHT = 360;
constexpr int MARGIN_WIDTH = 5;
constexpr int MARGIN_HEIGHT = 11;

const std::vector<ColumnSpec>& MemberColumns() {
    static const std::vector<ColumnSpec> columns = {{"ID", 28}, {"uin", 85}, {"昵称", 90}};
    return columns;
}

}  // namespace

void MemberListModel::Fill(const std::vector<MemberRecord>& members) {
    beginResetModel();
    m_rows.clear();
    for (std::size_t i = 0; i < members.size(); ++i) {
        const MemberRecord& member = members[i];
        if (member.Uin.empty() && member.NickName.empty() && member.UserName.empty()) {
            continue;
        }
        m_rows.push_back(Row{i + 1, member});
    }
    endResetModel();
}

int MemberListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int MemberListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(MemberColumns().size());
}

QVariant MemberListModel::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= rowCount()) {
        return {};
    }
    const Row& row = m_rows[static_cast<std::size_t>(index.row())];
    switch (index.column()) {
        case 0:
            return QString::number(row.number);
        case 1:
            return widgets::ToQString(row.member.Uin);
        case 2:
            return widgets::ToQString(row.member.NickName);
        default:
            return {};
    }
}

QVariant MemberListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) {
        return {};
    }
    return ColumnTitle(MemberColumns(), section);
}

MemberListWindow::MemberListWindow(std::size_t group_index, QWidget* owner)
    : QWidget(owner, Qt::Window),
      m_group_index(group_index),
      m_model(new MemberListModel(this)),
      m_list(NewListView(QString::fromUtf8("成员列表框"), this)) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QString::fromUtf8("微信机器人- 成员列表"));
    setMinimumSize(MIN_WIDTH, MIN_HEIGHT);
    m_list->setModel(m_model);
    ApplyColumnWidths(m_list, MemberColumns());
    resize(START_WIDTH, START_HEIGHT);
}

void MemberListWindow::ShowMembers(const std::vector<MemberRecord>& members) {
    m_model->Fill(members);
}

void MemberListWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    const QSize client = contentsRect().size();
    m_list->setGeometry(0, 0, client.width() - MARGIN_WIDTH, client.height() - MARGIN_HEIGHT);
}

}  // namespace zelmo::contacts
