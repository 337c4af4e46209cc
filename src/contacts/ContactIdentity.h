#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "contacts/ContactStore.h"

namespace zelmo::contacts {

// Which kind of contact an identity describes; keys of different kinds never match.
enum class IdentityKind : std::uint8_t { Friend, Group, Member, Public };

// What tells a contact apart across logins, where the service gives every contact a new
// UserName at each login. GBK texts as in ContactRecord; empty: not known.
struct ContactIdentity {
    IdentityKind kind = IdentityKind::Friend;
    std::string Uin;  // empty or "0": none
    std::string Alias;
    std::string RemarkName;
    std::string NickName;  // a group's name; a member's own nickname
    std::string Sex;       // a person's kind label (KIND_MALE, KIND_FEMALE, KIND_UNKNOWN)
    std::string Province;
    std::string City;
    std::string Signature;
    // A group's members' names (nickname, else name card), sorted, each once; empty until
    // its members were fetched.
    std::vector<std::string> MemberNames;
    std::string GroupKey;     // a member's: the key of its group
    std::string DisplayName;  // a member's: its name card in that group, else its nickname

    bool operator==(const ContactIdentity&) const = default;
};

// True for a Uin that names an account ("0" and an empty text do not).
bool HasUin(std::string_view uin);

// The identity of a contact record: a group with its members' names (as far as they were
// fetched), an official account, or a friend.
ContactIdentity IdentityOf(const ContactRecord& record);

// The identity of a member of the group whose key is `group_key`.
ContactIdentity MemberIdentity(std::string_view group_key, const MemberRecord& member);

// A group's member names as IdentityOf keeps them.
std::vector<std::string> MemberNamesOf(const std::vector<MemberRecord>& members);

}  // namespace zelmo::contacts
