#pragma once

#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace zelmo::contacts {

// The kind labels (GBK) that other parts compare against.
inline constexpr std::string_view KIND_MALE = "\xc4\xd0";                    // "男"
inline constexpr std::string_view KIND_FEMALE = "\xc5\xae";                  // "女"
inline constexpr std::string_view KIND_PUBLIC = "\xb9\xab\xd6\xda\xba\xc5";  // "公众号"
inline constexpr std::string_view KIND_GROUP = "\xce\xa2\xc8\xba";           // "微群"
// What FindNickName answers for an unknown UserName (GBK "未搜索到").
inline constexpr std::string_view NICKNAME_NOT_FOUND = "\xce\xb4\xcb\xd1\xcb\xf7\xb5\xbd";

// One group member; only these three fields are ever filled (GBK texts).
struct MemberRecord {
    std::string Uin;
    std::string NickName;
    std::string UserName;
};

// One contact as cut from the service's answers (GBK texts).
struct ContactRecord {
    std::string Uin;
    std::string kind;  // one of the KIND_ labels, or the raw Sex value
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

    // 1-based index of the record with exactly this UserName (case-sensitive); 0 when none.
    std::size_t FindContactIndex(std::string_view user_name) const;
    // The record's NickName; NICKNAME_NOT_FOUND when the UserName is unknown.
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
    // Lets the index be searched with a string_view, without a copy per lookup.
    struct NameHash {
        using is_transparent = void;
        std::size_t operator()(std::string_view name) const {
            return std::hash<std::string_view>{}(name);
        }
    };

    mutable std::mutex m_mutex;
    // A deque never moves its records, so the index can key on views of their UserNames
    // instead of a second copy of each.
    std::deque<ContactRecord> m_records;
    // UserName -> 1-based index; answers what a scan from index 1 would, in constant time.
    std::unordered_map<std::string_view, std::size_t, NameHash, std::equal_to<>> m_index_of;
};

}  // namespace zelmo::contacts
