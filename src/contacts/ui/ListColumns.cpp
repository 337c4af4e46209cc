#include "contacts/ui/ListColumns.h"

#include <QEvent>
#include <QHeaderView>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTreeView>
#include <algorithm>
#include <numeric>
#include <utility>

namespace zelmo::contacts {

namespace {

// Room between one column's text and the next, so neighbouring texts do not run together.
constexpr int COLUMN_GAP = 10;

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

// Keeps a view's columns fitted; lives as the view's child.
class ColumnFitter : public QObject {
public:
    ColumnFitter(QTreeView* view, std::vector<ColumnSpec> columns)
        : QObject(view), m_view(view), m_viewport(view->viewport()), m_columns(std::move(columns)) {
        QAbstractItemModel* model = view->model();
        const auto refit = [this] { Fit(); };
        connect(model, &QAbstractItemModel::modelReset, this, refit);
        connect(model, &QAbstractItemModel::rowsInserted, this, refit);
        connect(model, &QAbstractItemModel::rowsRemoved, this, refit);
        connect(model, &QAbstractItemModel::dataChanged, this, refit);
        // A section resized while a mouse button is down on the header is the user's.
        connect(view->header(), &QHeaderView::sectionResized, this, [this] {
            if (!m_fitting && m_header_pressed) {
                m_by_hand = true;
            }
        });
        m_viewport->installEventFilter(this);
        view->header()->viewport()->installEventFilter(this);
        view->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
        Fit();
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        // Compared with the pointer kept at the start: while the view is torn down its
        // children still send events here and the view is no longer a scroll area.
        if (watched == m_viewport && event->type() == QEvent::Resize) {
            Fit();
        } else if (event->type() == QEvent::MouseButtonPress) {
            m_header_pressed = true;
        } else if (event->type() == QEvent::MouseButtonRelease) {
            m_header_pressed = false;
        }
        return QObject::eventFilter(watched, event);
    }

private:
    void Fit() {
        if (m_by_hand) {
            return;
        }
        QHeaderView* header = m_view->header();
        std::vector<int> wanted(m_columns.size(), 0);
        std::vector<int> minimum(m_columns.size(), 0);
        for (std::size_t i = 0; i < m_columns.size(); ++i) {
            if (m_columns[i].width == 0) {
                continue;
            }
            const int column = static_cast<int>(i);
            minimum[i] = header->sectionSizeHint(column) + COLUMN_GAP;
            // QTreeView hides it; through the base it measures the rows around the shown ones.
            const QAbstractItemView* view = m_view;
            wanted[i] = std::max(minimum[i], view->sizeHintForColumn(column) + COLUMN_GAP);
        }
        const std::vector<int> widths = FitWidths(wanted, minimum, m_view->viewport()->width());
        m_fitting = true;
        for (std::size_t i = 0; i < widths.size(); ++i) {
            header->resizeSection(static_cast<int>(i), widths[i]);
        }
        m_fitting = false;
    }

    QTreeView* m_view;
    QWidget* m_viewport;
    std::vector<ColumnSpec> m_columns;
    bool m_fitting = false;
    bool m_header_pressed = false;
    bool m_by_hand = false;
};

}  // namespace

std::vector<int> FitWidths(const std::vector<int>& wanted, const std::vector<int>& minimum,
                           int available) {
    const std::size_t count = wanted.size();
    auto floor_of = [&minimum](std::size_t i) { return i < minimum.size() ? minimum[i] : 0; };
    std::vector<int> widths(count, 0);
    for (std::size_t i = 0; i < count; ++i) {
        widths[i] = wanted[i] <= 0 ? 0 : std::max(wanted[i], floor_of(i));
    }
    const auto total = [](const std::vector<int>& list) {
        return std::accumulate(list.begin(), list.end(), 0LL);
    };
    std::vector<int> cut = widths;
    if (total(widths) > available) {
        // The largest cap that fits: every column above it is cut to it (not below its
        // minimum), so the widest give way first.
        int low = 0;
        int high = *std::max_element(widths.begin(), widths.end());
        while (low < high) {
            const int cap = low + (high - low + 1) / 2;
            std::vector<int> trial = widths;
            for (std::size_t i = 0; i < count; ++i) {
                if (trial[i] > 0) {
                    trial[i] = std::max(floor_of(i), std::min(trial[i], cap));
                }
            }
            if (total(trial) <= available) {
                low = cap;
            } else {
                high = cap - 1;
            }
        }
        for (std::size_t i = 0; i < count; ++i) {
            if (cut[i] > 0) {
                cut[i] = std::max(floor_of(i), std::min(cut[i], low));
            }
        }
    }
    const long long spare = available - total(cut);
    if (spare > 0) {
        for (std::size_t i = count; i-- > 0;) {
            if (cut[i] > 0) {
                cut[i] += static_cast<int>(spare);
                break;
            }
        }
    }
    return cut;
}

void FitColumnsToContents(QTreeView* view, const std::vector<ColumnSpec>& columns) {
    ApplyColumnWidths(view, columns);
    new ColumnFitter(view, columns);
}

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
