#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "contacts/ContactStore.h"

namespace zelmo::onebot {

// A copy of the contact with this UserName; nothing when the store has none.
std::optional<contacts::ContactRecord> FindContact(const contacts::ContactStore& store,
                                                   std::string_view user_name);
// The member of a group with this UserName; nothing when the group has no such member
// (or its members were not fetched yet).
const contacts::MemberRecord* FindMember(const contacts::ContactRecord& group,
                                         std::string_view user_name);
// The name the group sees for a member (GBK): the group's name card, else the member's
// nickname, else the contact's nickname; empty when none is known. The owner's private
// remark is never used: a mention by it would name nobody.
std::string GroupMemberName(const contacts::ContactStore& store,
                            const contacts::ContactRecord& group, std::string_view member);
// Friends and other people, as opposed to groups and official accounts.
bool IsPerson(const contacts::ContactRecord& contact);
bool IsGroup(const contacts::ContactRecord& contact);

}  // namespace zelmo::onebot
