#include "contacts/ui/ListColumns.h"

#include <QHeaderView>
#include <QMouseEvent>
#include <QTreeView>

namespace zelmo::contacts {

namespace {

// A press on the empty part of a list clears its selection, so a handler that needs a
// selected row finds none.
class EmptyPressClearsSelection : public QObject {
public:
    explicit EmptyPressClearsSelection(QTreeView* view) : QObject(view), m_view(view) {}

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
    QTreeView* m_view;
};

}  // namespace

QVariant ColumnTitle(const std::vector<ColumnSpec>& columns, int section) {
    if (section < 0 || static_cast<std::size_t>(section) >= columns.size()) {
        return {};
    }
    return QString::fromUtf8(columns[static_cast<std::size_t>(section)].title);
}

void ApplyColumnWidths(QTreeView* view, const std::vector<ColumnSpec>& columns) {
    QHeaderView* header = view->header();
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
    list->viewport()->installEventFilter(new EmptyPressClearsSelection(list));
    return list;
}

}  // namespace zelmo::contacts
