#include "contacts/ContactStore.h"

#include <utility>

namespace zelmo::contacts {

std::size_t ContactStore::AppendIfNew(ContactRecord record) {
    std::lock_guard lock(m_mutex);
    if (m_index_of.contains(std::string_view(record.UserName))) {
        return 0;
    }
    m_records.push_back(std::move(record));
    const std::size_t index = m_records.size();
    m_index_of.emplace(m_records.back().UserName, index);
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

std::string ContactStore::FindKind(std::string_view user_name) const {
    std::lock_guard lock(m_mutex);
    const auto it = m_index_of.find(user_name);
    return it == m_index_of.end() ? std::string() : m_records[it->second - 1].kind;
}

std::string ContactStore::MemberName(std::string_view group_user_name,
                                     std::string_view member_user_name) const {
    std::lock_guard lock(m_mutex);
    const MemberRecord* member = nullptr;
    if (const auto group = m_index_of.find(group_user_name); group != m_index_of.end()) {
        for (const MemberRecord& candidate : m_records[group->second - 1].Members) {
            if (candidate.UserName == member_user_name) {
                member = &candidate;
                break;
            }
        }
    }
    const auto person = m_index_of.find(member_user_name);
    const ContactRecord* contact =
        person == m_index_of.end() ? nullptr : &m_records[person->second - 1];
    if (member != nullptr && !member->DisplayName.empty()) {
        return member->DisplayName;
    }
    if (contact != nullptr && !contact->RemarkName.empty()) {
        return contact->RemarkName;
    }
    if (member != nullptr && !member->NickName.empty()) {
        return member->NickName;
    }
    if (contact != nullptr && !contact->NickName.empty()) {
        return contact->NickName;
    }
    return std::string(member_user_name);
}

std::size_t ContactStore::Count() const {
    std::lock_guard lock(m_mutex);
    return m_records.size();
}

std::map<std::string, std::size_t, std::less<>> ContactStore::CountKinds() const {
    std::lock_guard lock(m_mutex);
    std::map<std::string, std::size_t, std::less<>> counts;
    for (const ContactRecord& record : m_records) {
        ++counts[record.kind];
    }
    return counts;
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
