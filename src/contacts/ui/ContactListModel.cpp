#include "contacts/ui/ContactListModel.h"

#include <utility>

#include "contacts/ui/ContactKinds.h"
#include "widgets/QtText.h"

namespace zelmo::contacts {

namespace {

std::string Region(const ContactRecord& record) {
    return record.Province + " " + record.City;
}

}  // namespace

std::optional<ContactList> ListForKind(std::string_view kind) {
    const ContactKinds& kinds = Kinds();
    if (kind == kinds.group) {
        return ContactList::Groups;
    }
    if (kind == kinds.public_account) {
        return ContactList::PublicAccounts;
    }
    // Friends who never set a gender are friends all the same.
    if (kind == kinds.male || kind == kinds.female || kind == kinds.unknown) {
        return ContactList::Friends;
    }
    return std::nullopt;
}

ContactLists SplitByList(std::vector<ContactRecord> records) {
    ContactLists lists;
    for (ContactRecord& record : records) {
        const std::optional<ContactList> list = ListForKind(record.kind);
        if (!list) {
            continue;
        }
        switch (*list) {
            case ContactList::Friends:
                lists.friends.push_back(std::move(record));
                break;
            case ContactList::Groups:
                lists.groups.push_back(std::move(record));
                break;
            case ContactList::PublicAccounts:
                lists.public_accounts.push_back(std::move(record));
                break;
        }
    }
    return lists;
}

const std::vector<ColumnSpec>& ColumnsOf(ContactList list) {
    static const std::vector<ColumnSpec> friends = {
        {"ID", 50},    {"username", 0}, {"uin", 0},   {"微信号", 250},
        {"昵称", 250}, {"备注", 180},   {"性别", 90}, {"地区", 180},
    };
    static const std::vector<ColumnSpec> groups = {
        {"ID", 50}, {"username", 0}, {"uin", 0}, {"昵称", 250}, {"成员数", 130}, {"群主", 300},
    };
    static const std::vector<ColumnSpec> public_accounts = {
        {"ID", 50}, {"username", 0}, {"uin", 0}, {"微信号", 250}, {"昵称", 250}, {"地区", 250},
    };
    switch (list) {
        case ContactList::Friends:
            return friends;
        case ContactList::Groups:
            return groups;
        case ContactList::PublicAccounts:
            break;
    }
    return public_accounts;
}

ContactListModel::ContactListModel(ContactList list, QObject* parent)
    : QAbstractTableModel(parent), m_list(list) {}

void ContactListModel::Refill(std::vector<ContactRecord> records) {
    beginResetModel();
    m_rows = std::move(records);
    endResetModel();
}

std::string ContactListModel::CellText(int row, int column) const {
    if (row < 0 || static_cast<std::size_t>(row) >= m_rows.size()) {
        return {};
    }
    const ContactRecord& record = m_rows[static_cast<std::size_t>(row)];
    switch (column) {
        case 0:
            return std::to_string(row + 1);
        case 1:
            return record.UserName;
        case 2:
            return record.Uin;
        default:
            break;
    }
    switch (m_list) {
        case ContactList::Friends:
            switch (column) {
                case 3:
                    return record.Alias;
                case 4:
                    return record.NickName;
                case 5:
                    return record.RemarkName;
                case 6:
                    return record.kind;
                case 7:
                    return Region(record);
                default:
                    return {};
            }
        case ContactList::Groups:
            switch (column) {
                case 3:
                    return record.NickName;
                case 4:
                    return record.MemberCount;
                case 5:
                    return record.OwnerUin;
                default:
                    return {};
            }
        case ContactList::PublicAccounts:
            switch (column) {
                case 3:
                    return record.Alias;
                case 4:
                    return record.NickName;
                case 5:
                    return Region(record);
                default:
                    return {};
            }
    }
    return {};
}

bool ContactListModel::SetRemark(int row, std::string remark) {
    if (m_list != ContactList::Friends || row < 0 ||
        static_cast<std::size_t>(row) >= m_rows.size()) {
        return false;
    }
    m_rows[static_cast<std::size_t>(row)].RemarkName = std::move(remark);
    const QModelIndex cell = index(row, FRIEND_COLUMN_REMARK);
    emit dataChanged(cell, cell, {Qt::DisplayRole});
    return true;
}

int ContactListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int ContactListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(ColumnsOf(m_list).size());
}

QVariant ContactListModel::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole || !index.isValid()) {
        return {};
    }
    // Cells are converted only when shown, so a refill of thousands of rows stays cheap.
    return widgets::ToQString(CellText(index.row(), index.column()));
}

QVariant ContactListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) {
        return {};
    }
    return ColumnTitle(ColumnsOf(m_list), section);
}

}  // namespace zelmo::contacts
