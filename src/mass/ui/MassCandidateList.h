#pragma once

#include <QAbstractTableModel>
#include <QWidget>
#include <string>
#include <string_view>
#include <vector>

#include "contacts/ContactStore.h"
#include "mass/MassState.h"

class QCheckBox;
class QLineEdit;
class QPushButton;
class QTreeView;

namespace zelmo::widgets {
class ClickableLabel;
}

namespace zelmo::mass {

// The mass-send candidates: check box, UserName (hidden), NickName, kind, region.
// UI thread.
class CandidateModel : public QAbstractTableModel {
    Q_OBJECT
public:
    using QAbstractTableModel::QAbstractTableModel;

    // Replaces every row with the records that may be mass-sent to (all but public
    // accounts), in store order, unticked.
    void Fill(const std::vector<contacts::ContactRecord>& records);
    // Ticks or unticks every group, male and female row by the three states; rows of
    // other kinds keep their tick.
    void SelectByCategory(bool groups, bool male, bool female);
    void SetTicked(int row, bool ticked);
    bool Ticked(int row) const;
    // The ticked rows, top to bottom.
    std::vector<MassMember> TickedCandidates() const;
    // The first row whose nickname holds `text` (GBK, ASCII letters folded); -1 when none
    // does or the text is empty.
    int FindNickName(std::string_view text) const;
    // The GBK text of a cell (column 0 has none); empty outside the table.
    std::string CellText(int row, int column) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    struct Row {
        std::string user_name;
        std::string nickname;
        std::string kind;
        std::string region;
        bool ticked = false;
    };
    std::vector<Row> m_rows;
};

// The candidate list of the mass-send window with its search box, search button,
// refresh label and the three kind check boxes. UI thread.
class MassCandidateList : public QWidget {
    Q_OBJECT
public:
    MassCandidateList(const contacts::ContactStore& contacts, QWidget* parent);

    // Refills the list from the contact store; ticks are lost.
    void FillMassCandidates();
    // Sets each row's tick from the kind check boxes.
    void SelectByCategory();
    // Makes the first row whose nickname holds the search text current and scrolls to it;
    // no selection when none matches.
    void Search();
    std::vector<MassMember> TickedCandidates() const { return m_model->TickedCandidates(); }
    // Enables or disables every control (the list, search, refresh and the check boxes),
    // e.g. while a run uses the ticks.
    void SetControlsEnabled(bool enabled);

    CandidateModel* Model() const { return m_model; }
    QTreeView* View() const { return m_list; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    const contacts::ContactStore& m_contacts;
    CandidateModel* m_model;
    QTreeView* m_list;                   // 群发列表框_成员
    QLineEdit* m_search;                 // 编辑框_搜索
    QPushButton* m_search_button;        // 按钮_搜索
    widgets::ClickableLabel* m_refresh;  // 标签_刷新
    QCheckBox* m_groups;                 // 选择框_群
    QCheckBox* m_male;                   // 选择框_男
    QCheckBox* m_female;                 // 选择框_女
};

}  // namespace zelmo::mass
