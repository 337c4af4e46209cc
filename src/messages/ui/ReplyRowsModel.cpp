#include "messages/ui/ReplyRowsModel.h"

#include <algorithm>
#include <climits>
#include <optional>

#include "widgets/QtText.h"

namespace zelmo::messages {

namespace {

int ClampedCount(std::size_t count) {
    return static_cast<int>(std::min<std::size_t>(count, INT_MAX));
}

}  // namespace

ReplyRowsModel::ReplyRowsModel(KnowledgeBase& knowledge, QObject* parent)
    : QAbstractTableModel(parent),
      m_knowledge(knowledge),
      m_count(ClampedCount(knowledge.RowCount())),
      m_generation(knowledge.RowsGeneration()) {}

int ReplyRowsModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_count;
}

int ReplyRowsModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : 2;
}

QVariant ReplyRowsModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::ToolTipRole)) {
        return {};
    }
    const std::optional<ReplyPair> row = m_knowledge.Row(static_cast<std::size_t>(index.row()));
    if (!row) {
        return {};
    }
    return widgets::ToQString(index.column() == 0 ? row->keyword : row->reply);
}

QVariant ReplyRowsModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) {
        return {};
    }
    return section == 0 ? QString::fromUtf8("关键词") : QString::fromUtf8("回复消息");
}

void ReplyRowsModel::Refresh() {
    const std::uint64_t generation = m_knowledge.RowsGeneration();
    const int count = ClampedCount(m_knowledge.RowCount());
    if (generation == m_generation && count >= m_count) {
        if (count > m_count) {
            beginInsertRows({}, m_count, count - 1);
            m_count = count;
            endInsertRows();
        }
        return;
    }
    beginResetModel();
    m_generation = generation;
    m_count = count;
    endResetModel();
}

void ReplyRowsModel::InsertRow(int row, std::string_view keyword, std::string_view reply) {
    row = std::clamp(row, 0, m_count);
    beginInsertRows({}, row, row);
    m_knowledge.InsertRow(static_cast<std::size_t>(row), keyword, reply);
    ++m_count;
    endInsertRows();
}

void ReplyRowsModel::RemoveRow(int row) {
    if (row < 0 || row >= m_count) {
        return;
    }
    beginRemoveRows({}, row, row);
    m_knowledge.DeleteRow(static_cast<std::size_t>(row));
    --m_count;
    endRemoveRows();
}

void ReplyRowsModel::RowChanged(int row) {
    if (row >= 0 && row < m_count) {
        emit dataChanged(index(row, 0), index(row, 1));
    }
}

}  // namespace zelmo::messages
