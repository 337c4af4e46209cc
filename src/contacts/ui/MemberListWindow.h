#pragma once

#include <QAbstractTableModel>
#include <QWidget>
#include <cstddef>
#include <vector>

#include "contacts/ContactStore.h"

class QTreeView;

namespace zelmo::contacts {

// The members of one group: number from 1, Uin, NickName. UI thread.
class MemberListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    using QAbstractTableModel::QAbstractTableModel;

    // Replaces every row; members whose three fields are all empty (slots the answer
    // did not fill) are left out.
    void Fill(const std::vector<MemberRecord>& members);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    struct Row {
        std::size_t number = 0;
        MemberRecord member;
    };
    std::vector<Row> m_rows;
};

// The member-list window ("微信机器人- 成员列表") of one group; its list fills the window
// but for a small margin. Deletes itself when closed. UI thread.
class MemberListWindow : public QWidget {
    Q_OBJECT
public:
    // group_index: the group's 1-based store index.
    MemberListWindow(std::size_t group_index, QWidget* owner);

    std::size_t GroupIndex() const { return m_group_index; }
    void ShowMembers(const std::vector<MemberRecord>& members);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    std::size_t m_group_index;
    MemberListModel* m_model;
    QTreeView* m_list;  // 成员列表框
};

}  // namespace zelmo::contacts
