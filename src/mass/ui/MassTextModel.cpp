#include "mass/ui/MassTextModel.h"

#include "widgets/QtText.h"

namespace zelmo::mass {

namespace {
constexpr int COLUMNS = 3;
constexpr const char* TITLES[COLUMNS] = {"选中", "类型", "内容"};
}  // namespace

MassTextModel::MassTextModel(MassState& state, QObject* parent)
    : QAbstractTableModel(parent), m_state(state) {}

void MassTextModel::Refresh() {
    std::vector<TextRow> rows = m_state.Rows();
    if (rows.size() == m_rows.size()) {
        m_rows = std::move(rows);
        if (!m_rows.empty()) {
            emit dataChanged(index(0, 0), index(rowCount() - 1, COLUMNS - 1));
        }
        return;
    }
    beginResetModel();
    m_rows = std::move(rows);
    endResetModel();
}

int MassTextModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int MassTextModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : COLUMNS;
}

QVariant MassTextModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) {
        return {};
    }
    const TextRow& row = m_rows[static_cast<std::size_t>(index.row())];
    if (index.column() == COLUMN_TICK) {
        return role == Qt::CheckStateRole ? QVariant(row.ticked ? Qt::Checked : Qt::Unchecked)
                                          : QVariant();
    }
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole) {
        return {};
    }
    return widgets::ToQString(index.column() == COLUMN_LABEL ? row.ad.label : row.ad.text);
}

bool MassTextModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (!index.isValid() || index.row() >= rowCount() || index.column() != COLUMN_TICK ||
        role != Qt::CheckStateRole) {
        return false;
    }
    const bool ticked = value.toInt() == static_cast<int>(Qt::Checked);
    const auto row = static_cast<std::size_t>(index.row());
    if (!m_state.SetTicked(row, ticked)) {
        return false;
    }
    m_rows[row].ticked = ticked;
    emit dataChanged(index, index, {Qt::CheckStateRole});
    return true;
}

Qt::ItemFlags MassTextModel::flags(const QModelIndex& index) const {
    Qt::ItemFlags flags = QAbstractTableModel::flags(index);
    if (index.isValid() && index.column() == COLUMN_TICK) {
        flags |= Qt::ItemIsUserCheckable;
    }
    return flags;
}

QVariant MassTextModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
        section >= COLUMNS) {
        return {};
    }
    return QString::fromUtf8(TITLES[section]);
}

}  // namespace zelmo::mass
