#pragma once

#include <string>
#include <string_view>

namespace zelmo::app {
class Robot;
}
namespace zelmo::messages {
class IncomingQueue;
}

namespace zelmo::contacts {

class ContactStore;

// Appends every new contact object of a JSON text (GBK) to the store, in order; a known
// UserName is never updated. Each new group posts one member-fetch job (kind 4).
void ParseContacts(ContactStore& store, messages::IncomingQueue& queue, std::string_view text);

// webwxgetcontact; the answer goes through ParseContacts.
void FetchContactList(app::Robot& robot);

// webwxstatusnotify (code 3, own UserName as sender and receiver). The answer's "Ret".
std::string SendStatusNotify(app::Robot& robot);

// webwxbatchgetcontact for one UserName; the answer in GBK (empty on failure).
std::string BatchGetContact(app::Robot& robot, std::string_view user_name);

// Fills member list, MemberCount and OwnerUin of the group at a store index (decimal text).
void FetchGroupMembers(app::Robot& robot, std::string_view index_text);

// Fetches and adds a contact that is not yet known (only while online), then refreshes the
// lists.
void EnsureContactKnown(app::Robot& robot, std::string_view user_name);

}  // namespace zelmo::contacts
