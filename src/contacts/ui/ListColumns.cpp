#include "contacts/ui/ListColumns.h"

#include <QHeaderView>
#include <QMouseEvent>
#include <QTreeView>

namespace zelmo::contacts {

namespace {

class EmptyPressClearsSelection : public QObject {
public:
    explicit EmptyPressClearsSelection(QAbstractItemView* view) : QObject(view), m_view(view) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::MouseButtonPress ||
            event->type() == QEvent::MouseButtonDblClick) {
            const QPoint pos = static_cast<QMouseEvent*>(event)->position().toPoint();
            if (m_view->selectionModel() != nullptr && !m_view->indexAt(pos).isValid()) {
                m_view->selectionModel()->clear();
            }
        }
        return QObject::eventFilter(watched, event);
    }

private:
    QAbstractItemView* m_view;
};

}  // namespace

QVariant ColumnTitle(const std::vector<ColumnSpec>& columns, int section) {
    if (section < 0 || static_cast<std::size_t>(section) >= columns.size()) {
        return {};
    }
    return QString::fromUtf8(columns[static_cast<std::size_t>(section)].title);
}

void ApplyColumnWidths(QTreeView* view, const std::vector<ColumnSpec>& columns) {
    ApplyColumnWidths(view->header(), columns);
}

void ApplyColumnWidths(QHeaderView* header, const std::vector<ColumnSpec>& columns) {
    header->setStretchLastSection(false);
    // Hidden columns keep width 0, which the style's minimum would otherwise raise.
    header->setMinimumSectionSize(0);
    for (std::size_t i = 0; i < columns.size(); ++i) {
        header->resizeSection(static_cast<int>(i), columns[i].width);
    }
}

QTreeView* NewListView(const QString& name, QWidget* parent) {
    auto* list = new QTreeView(parent);
    list->setObjectName(name);
    list->setRootIsDecorated(false);
    list->setItemsExpandable(false);
    list->setUniformRowHeights(true);
    list->setAllColumnsShowFocus(true);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ClearSelectionOnEmptyPress(list);
    return list;
}

void ClearSelectionOnEmptyPress(QAbstractItemView* view) {
    view->viewport()->installEventFilter(new EmptyPressClearsSelection(view));
}

}  // namespace zelmo::contacts
