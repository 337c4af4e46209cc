#include "contacts/ContactStore.h"

#include <utility>

namespace zelmo::contacts {

std::size_t ContactStore::AppendIfNew(ContactRecord record) {
    std::lock_guard lock(m_mutex);
    // The index keys on the stored record's UserName: store first, then one lookup that
    // inserts, and take the record back out when its UserName was known.
    m_records.push_back(std::move(record));
    const std::size_t index = m_records.size();
    if (!m_index_of.try_emplace(m_records.back().UserName, index).second) {
        m_records.pop_back();
        return 0;
    }
    return index;
}

std::size_t ContactStore::FindContactIndex(std::string_view user_name) const {
    std::lock_guard lock(m_mutex);
    const auto it = m_index_of.find(user_name);
    return it == m_index_of.end() ? 0 : it->second;
}

std::string ContactStore::FindNickName(std::string_view user_name) const {
    std::lock_guard lock(m_mutex);
    const auto it = m_index_of.find(user_name);
    return it == m_index_of.end() ? std::string(NICKNAME_NOT_FOUND)
                                  : m_records[it->second - 1].NickName;
}

std::size_t ContactStore::Count() const {
    std::lock_guard lock(m_mutex);
    return m_records.size();
}

std::optional<ContactRecord> ContactStore::At(std::size_t index) const {
    std::lock_guard lock(m_mutex);
    if (index == 0 || index > m_records.size()) {
        return std::nullopt;
    }
    return m_records[index - 1];
}

std::vector<ContactRecord> ContactStore::Snapshot() const {
    std::lock_guard lock(m_mutex);
    return {m_records.begin(), m_records.end()};
}

bool ContactStore::SetGroupMembers(std::size_t index, std::string member_count,
                                   std::string owner_uin, std::vector<MemberRecord> members) {
    std::lock_guard lock(m_mutex);
    if (index == 0 || index > m_records.size()) {
        return false;
    }
    ContactRecord& record = m_records[index - 1];
    record.MemberCount = std::move(member_count);
    record.OwnerUin = std::move(owner_uin);
    record.Members = std::move(members);
    return true;
}

}  // namespace zelmo::contacts
