#pragma once

#include <QAbstractTableModel>
#include <vector>

#include "mass/MassState.h"

namespace zelmo::mass {

// The text list 群发列表框_广告 over the mass state's rows: column 0 the tick, 1 the type
// label, 2 the text. A tick goes to the mass state at once. UI thread.
class MassTextModel : public QAbstractTableModel {
    Q_OBJECT
public:
    static constexpr int COLUMN_TICK = 0;
    static constexpr int COLUMN_LABEL = 1;
    static constexpr int COLUMN_TEXT = 2;

    MassTextModel(MassState& state, QObject* parent);

    // Shows the mass state's rows again; a list of the same length keeps its selection.
    void Refresh();

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    MassState& m_state;
    std::vector<TextRow> m_rows;
};

}  // namespace zelmo::mass
