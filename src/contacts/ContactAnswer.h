#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "contacts/ContactStore.h"

namespace zelmo::contacts {

// Contact answers as the service sends them (UTF-8 bytes), read in one pass; only the
// fields kept are converted to GBK. Any bytes: a cut or broken answer gives what its
// intact part holds.

// Most member slots a group may get, whatever MemberCount an answer claims: far above any
// real group, low enough that a wild number cannot exhaust memory.
inline constexpr std::size_t MAX_MEMBER_SLOTS = 100000;

// The kind label of a contact: a UserName containing "@@" is a group, a VerifyFlag with
// the official-account bit an official account, a person of Sex "1" or "2" male or
// female, and any other person of unknown sex.
std::string ContactKind(std::string_view raw_sex, std::string_view raw_verify_flag,
                        std::string_view user_name);

// Every contact object of a webwxgetcontact, webwxbatchgetcontact or webwxinit answer (an
// object with the keys "Uin", "UserName" and "ChatRoomId"), in answer order and
// classified, without members. A contact cut off before its closing brace is left out.
std::vector<ContactRecord> ReadContacts(std::string_view answer);

// What a webwxbatchgetcontact answer says about a group's members.
struct GroupMembers {
    std::string member_count;  // the first "MemberCount" of the answer; empty when missing
    std::string owner_uin;     // the first "OwnerUin"; empty when missing
    // min(MemberCount, MAX_MEMBER_SLOTS) slots, filled in list order from the first list
    // after that MemberCount; extra objects are ignored and missing ones stay empty, and a
    // list cut off before its end fills none.
    std::vector<MemberRecord> members;
};
GroupMembers ReadGroupMembers(std::string_view answer);

struct AppendedContacts {
    std::size_t count = 0;                // records appended
    std::vector<std::size_t> new_groups;  // 1-based store indexes of the groups among them
};

// Appends the answer's contacts (those ReadContacts gives) whose UserName the store does
// not know yet, in order, each as soon as it is read; a known contact is never updated.
// Lookup and append are one step, so racing workers add a contact only once. The caller
// fetches the new groups' members.
AppendedContacts AppendContacts(ContactStore& store, std::string_view answer);

}  // namespace zelmo::contacts
