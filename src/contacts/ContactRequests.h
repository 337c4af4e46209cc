#pragma once

#include <string>
#include <string_view>

#include "contacts/ContactAnswer.h"
#include "contacts/ContactParsing.h"

namespace zelmo::app {
class Robot;
}

namespace zelmo::contacts {

// webwxgetcontact (20 s time-out); the answer's new contacts are appended, and each new
// group's members fetched in a job. Blocks.
void FetchContactList(app::Robot& robot);

// webwxstatusnotify (code 3, own UserName as sender and receiver). The answer's "Ret";
// empty when the request failed.
std::string SendStatusNotify(app::Robot& robot);

// webwxbatchgetcontact for one UserName; the answer in GBK (empty on failure). Blocks.
std::string BatchGetContact(app::Robot& robot, std::string_view user_name);

// Fills member list, MemberCount and OwnerUin of the group at a store index (decimal text),
// then tells the lists. An index out of range does nothing. Blocks; any thread.
void FetchGroupMembers(app::Robot& robot, std::string_view index_text);

// Fetches and adds a contact that is not yet known (only while online), then refreshes the
// lists if it was added. Blocks; any thread.
void EnsureContactKnown(app::Robot& robot, std::string_view user_name);

}  // namespace zelmo::contacts
