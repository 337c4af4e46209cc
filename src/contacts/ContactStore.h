#pragma once

#include <cstddef>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace zelmo::contacts {

// One group member; only these three fields are ever filled (GBK texts).
struct MemberRecord {
    std::string Uin;
    std::string NickName;
    std::string UserName;
};

// One contact as cut from the service's answers (GBK texts).
struct ContactRecord {
    std::string Uin;
    std::string kind;  // "男", "女", "公众号", "微群" (GBK), or the raw Sex value
    std::string NickName;
    std::string UserName;  // the store's key
    std::string Province;
    std::string City;
    std::string RemarkName;
    std::string Alias;
    std::string MemberCount;
    std::vector<MemberRecord> Members;
    std::string OwnerUin;
};

// Every contact known during one login, indexed from 1 in order of arrival. Records are
// never removed or reordered and UserNames are unique. Any thread: one mutex guards the
// records, so a lookup-and-append is one step.
class ContactStore {
public:
    // Appends the record unless its UserName is known. The new 1-based index, or 0 when
    // a record of that UserName exists (the store is unchanged then).
    std::size_t AppendIfNew(ContactRecord record);

    // 1-based index of the record with exactly this UserName; 0 when none.
    std::size_t FindContactIndex(std::string_view user_name) const;
    // The record's NickName; "未搜索到" (GBK) when the UserName is unknown.
    std::string FindNickName(std::string_view user_name) const;

    std::size_t Count() const;
    // A copy of the record at a 1-based index; nothing for an index out of range.
    std::optional<ContactRecord> At(std::size_t index) const;
    // Copies of every record, in index order.
    std::vector<ContactRecord> Snapshot() const;

    // Sets a group's member data (after a member fetch). False for an index out of range.
    bool SetGroupMembers(std::size_t index, std::string member_count, std::string owner_uin,
                         std::vector<MemberRecord> members);

private:
    mutable std::mutex m_mutex;
    std::vector<ContactRecord> m_records;
    std::unordered_map<std::string, std::size_t> m_index_of;  // UserName -> 1-based index
};

}  // namespace zelmo::contacts
