#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zelmo::contacts {

// The kind labels (GBK) that other parts compare against.
inline constexpr std::string_view KIND_MALE = "\xc4\xd0";                    // "男"
inline constexpr std::string_view KIND_FEMALE = "\xc5\xae";                  // "女"
inline constexpr std::string_view KIND_PUBLIC = "\xb9\xab\xd6\xda\xba\xc5";  // "公众号"
inline constexpr std::string_view KIND_GROUP = "\xce\xa2\xc8\xba";           // "微群"
// A person whose sex the service does not know (Sex 0 or any value but 1 and 2).
inline constexpr std::string_view KIND_UNKNOWN = "\xce\xb4\xd6\xaa";  // "未知"
// What FindNickName answers for an unknown UserName (GBK "未搜索到").
inline constexpr std::string_view NICKNAME_NOT_FOUND = "\xce\xb4\xcb\xd1\xcb\xf7\xb5\xbd";

// One group member (GBK texts).
struct MemberRecord {
    std::string Uin;
    std::string NickName;
    std::string UserName;
    std::string DisplayName;  // the member's name card in this group; often empty
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
    std::string Signature;
};

// Every contact known during the run, indexed from 1 in order of arrival. Records are
// never removed or reordered and UserNames are unique. The service names every contact
// anew at each login, so the records of earlier logins stay (a log row or a queued text
// may still name them) but only those of the current login are listed. Any thread: one
// mutex guards the records, so a lookup-and-append is one step.
class ContactStore {
public:
    // Appends the record unless its UserName is known. The new 1-based index, or 0 when
    // a record of that UserName exists (its fields stay as they are; it belongs to the
    // current login from now on).
    std::size_t AppendIfNew(ContactRecord record);

    // A new login begins: every record known so far belongs to an earlier one until an
    // answer of this login names it again.
    void BeginLogin();
    // True when the UserName's record was named by an answer of the current login.
    bool InCurrentLogin(std::string_view user_name) const;

    // 1-based index of the record with exactly this UserName (case-sensitive); 0 when none.
    std::size_t FindContactIndex(std::string_view user_name) const;
    // The record's NickName; NICKNAME_NOT_FOUND when the UserName is unknown.
    std::string FindNickName(std::string_view user_name) const;
    // The record's kind; empty when the UserName is unknown.
    std::string FindKind(std::string_view user_name) const;
    // What people call a member of a group: the group's name card, else the own remark
    // for that person, else the member's nickname, else the person's; the UserName itself
    // when none of these is known.
    std::string MemberName(std::string_view group_user_name,
                           std::string_view member_user_name) const;

    // Every record, of every login.
    std::size_t Count() const;
    // How many records of the current login hold each kind.
    std::map<std::string, std::size_t, std::less<>> CountKinds() const;
    // A copy of the record at a 1-based index; nothing for an index out of range.
    std::optional<ContactRecord> At(std::size_t index) const;
    // Copies of the current login's records, in index order.
    std::vector<ContactRecord> Snapshot() const;

    // Sets a group's member data (after a member fetch). False for an index out of range.
    bool SetGroupMembers(std::size_t index, std::string member_count, std::string owner_uin,
                         std::vector<MemberRecord> members);

private:
    // A record as kept: its ten texts in one buffer, each behind its length, so a contact
    // costs one allocation instead of up to ten and a fraction of the record's size; and a
    // group's members.
    struct Packed {
        std::string texts;
        std::vector<MemberRecord> members;
        std::uint32_t login = 0;  // the last login whose answers named it
    };
    // A slot of the UserName index: a 1-based record index (0 free) and its name's hash,
    // so a probe rarely reads a record in vain and the table grows without hashing the
    // names again.
    struct Slot {
        std::uint32_t index = 0;
        std::uint32_t hash = 0;
    };
    static Packed Pack(const ContactRecord& record);
    static ContactRecord Unpack(const Packed& packed);
    // The text of field number `field` (in the packing order) of a packed record.
    static std::string_view TextOf(const Packed& packed, std::size_t field);
    static std::string_view UserNameOf(const Packed& packed);
    static std::string_view NickNameOf(const Packed& packed);

    // 0-based position of the record with this UserName; npos when none. Lock held.
    std::size_t Find(std::string_view user_name) const;
    // Files the record at `position` under its UserName, growing the table first when
    // needed. Lock held.
    void Index(std::size_t position);
    void Place(Slot entry);

    mutable std::mutex m_mutex;
    std::vector<Packed> m_records;
    std::uint32_t m_login = 0;
    // An open-addressing table keyed by UserName, at most half full: eight bytes a contact
    // where a node map took about fifty.
    std::vector<Slot> m_slots;
};

}  // namespace zelmo::contacts
