#pragma once

#include <atomic>
#include <string>
#include <string_view>

#include "contacts/ContactParsing.h"
#include "contacts/ListsPort.h"
#include "protocol/ServiceLink.h"
#include "protocol/Session.h"

namespace zelmo::contacts {

// webwxgetcontact (20 s time-out); the answer goes through ParseContacts. Blocks.
void FetchContactList(const protocol::ServiceLink& link, const protocol::ProtocolState& state,
                      ContactStore& store, jobs::JobQueue& queue);

// webwxstatusnotify (code 3, own UserName as sender and receiver). The answer's "Ret";
// empty when the request failed.
std::string SendStatusNotify(const protocol::ServiceLink& link,
                             const protocol::ProtocolState& state);

// webwxbatchgetcontact for one UserName; the answer in GBK (empty on failure). Blocks.
std::string BatchGetContact(const protocol::ServiceLink& link, const protocol::ProtocolState& state,
                            std::string_view user_name);

// Fills member list, MemberCount and OwnerUin of the group at a store index (decimal text),
// then tells the lists. An index out of range does nothing. Blocks; any thread.
void FetchGroupMembers(const protocol::ServiceLink& link, const protocol::ProtocolState& state,
                       ContactStore& store, ListsPort& lists, std::string_view index_text);

// Fetches and adds a contact that is not yet known (only while `connection` says online),
// then refreshes the lists if it was added. Blocks; any thread.
void EnsureContactKnown(const protocol::ServiceLink& link, const protocol::ProtocolState& state,
                        const std::atomic<int>& connection, ContactStore& store,
                        jobs::JobQueue& queue, ListsPort& lists, std::string_view user_name);

}  // namespace zelmo::contacts
