#pragma once

#include <QString>
#include <QVariant>
#include <vector>

class QAbstractItemView;
class QHeaderView;
class QTreeView;

namespace zelmo::contacts {

// One column of a list view: its title and its width in pixels (0: present but hidden).
struct ColumnSpec {
    const char* title;  // UTF-8
    int width;
};

// The column titles of a model's horizontal header.
QVariant ColumnTitle(const std::vector<ColumnSpec>& columns, int section);

// Gives the view's columns their fixed widths (0 included) and turns off stretching.
void ApplyColumnWidths(QHeaderView* header, const std::vector<ColumnSpec>& columns);
void ApplyColumnWidths(QTreeView* view, const std::vector<ColumnSpec>& columns);

// Column widths that show every column side by side in `available` pixels where they can:
// each column gets what it wants (never less than its minimum); when that is too much, the
// widest give way first, down to what the narrower ones want; what is left over goes to
// the last column. Columns wanting 0 stay 0 (hidden). Too small an area keeps the minimums.
std::vector<int> FitWidths(const std::vector<int>& wanted, const std::vector<int>& minimum,
                           int available);

// From now on the view's visible columns fit their contents and its width (FitWidths,
// titles as minimums), again whenever its rows change or it is resized, until the user
// resizes a column by hand. Columns of width 0 in `columns` stay hidden; the order stays.
void FitColumnsToContents(QTreeView* view, const std::vector<ColumnSpec>& columns);

// From now on a press on the view's empty part clears its selection, so a handler that
// needs a selected row finds none.
void ClearSelectionOnEmptyPress(QAbstractItemView* view);

// A flat, single-selection, row-wise list view named `name`, not editable; a press on its
// empty part clears the selection.
QTreeView* NewListView(const QString& name, QWidget* parent);

}  // namespace zelmo::contacts
