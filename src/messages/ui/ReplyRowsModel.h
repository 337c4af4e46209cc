#pragma once

#include <QAbstractTableModel>
#include <cstdint>
#include <string_view>

#include "messages/KnowledgeBase.h"

namespace zelmo::messages {

// The knowledge base's editor rows as a two-column table (keyword, reply) that reads the
// rows on demand, so a large base opens at once. Its row count follows the base only
// through Refresh() and its own edits, so a view never sees rows change under it. UI thread.
class ReplyRowsModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit ReplyRowsModel(KnowledgeBase& knowledge, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // Catches up with the base: learned rows are appended, a reload resets the table.
    void Refresh();
    void InsertRow(int row, std::string_view keyword, std::string_view reply);
    void RemoveRow(int row);
    // Tells the views that a cell was changed through the base.
    void RowChanged(int row);

private:
    KnowledgeBase& m_knowledge;
    int m_count = 0;
    std::uint64_t m_generation = 0;
};

}  // namespace zelmo::messages
