#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "contacts/ContactStore.h"
#include "jobs/JobQueue.h"

namespace zelmo::contacts {

// Most member slots a group may get, whatever MemberCount an answer claims: far above any
// real group, low enough that a wild number cannot exhaust memory.
inline constexpr std::size_t MAX_MEMBER_SLOTS = 100000;

// Appends every new contact object of a JSON text (GBK) to the store, in order; a known
// UserName is never updated. Each new group posts one member-fetch job (kind 4, its index
// as decimal text). Returns how many records were appended. Any bytes; any thread.
std::size_t ParseContacts(ContactStore& store, jobs::JobQueue& queue, std::string_view text);

// The record cut from one contact object (a text from its "Uin" key on), classified.
// Missing fields are empty.
ContactRecord CutContact(std::string_view object);

// The kind label of a contact: a UserName containing "@@" is a group, a VerifyFlag with
// the official-account bit an official account, a person of Sex "1" or "2" male or
// female, and any other person of unknown sex.
std::string ContactKind(std::string_view raw_sex, std::string_view raw_verify_flag,
                        std::string_view user_name);

// What a webwxbatchgetcontact answer (GBK) says about a group's members.
struct GroupMembers {
    std::string member_count;  // empty when missing
    std::string owner_uin;     // empty when missing
    // min(MemberCount, MAX_MEMBER_SLOTS) slots, filled in list order; extra objects are
    // ignored and missing ones stay empty.
    std::vector<MemberRecord> members;
};
GroupMembers CutGroupMembers(std::string_view answer);

}  // namespace zelmo::contacts
