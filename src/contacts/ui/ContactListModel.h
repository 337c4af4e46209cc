#pragma once

#include <QAbstractTableModel>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "contacts/ContactStore.h"
#include "contacts/ui/ListColumns.h"

namespace zelmo::contacts {

// The three contact lists of the main window.
enum class ContactList { Friends, Groups, PublicAccounts };

// The list that shows records of this kind; nothing for a kind none of them shows.
std::optional<ContactList> ListForKind(std::string_view kind);

// Records split by the list that shows them, each in store order.
struct ContactLists {
    std::vector<ContactRecord> friends;
    std::vector<ContactRecord> groups;
    std::vector<ContactRecord> public_accounts;
};
ContactLists SplitByList(std::vector<ContactRecord> records);

// Titles and widths of a list's columns.
const std::vector<ColumnSpec>& ColumnsOf(ContactList list);

// Column numbers the handlers read.
inline constexpr int COLUMN_USER_NAME = 1;
inline constexpr int FRIEND_COLUMN_NICKNAME = 4;
inline constexpr int FRIEND_COLUMN_REMARK = 5;
inline constexpr int GROUP_COLUMN_NICKNAME = 3;
inline constexpr int PUBLIC_COLUMN_NICKNAME = 4;

// One main-window list over copies of store records; column 0 numbers the rows from 1.
// UI thread.
class ContactListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    ContactListModel(ContactList list, QObject* parent);

    ContactList List() const { return m_list; }
    // Replaces every row.
    void Refill(std::vector<ContactRecord> records);
    // The GBK text of a cell; empty outside the table.
    std::string CellText(int row, int column) const;
    // Shows a new remark in a friend row; the store keeps its own value. False when the
    // row is gone or this is not the friend list.
    bool SetRemark(int row, std::string remark);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    ContactList m_list;
    std::vector<ContactRecord> m_rows;
};

}  // namespace zelmo::contacts
