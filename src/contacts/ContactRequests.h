#pragma once

#include <string>
#include <string_view>

#include "contacts/ContactAnswer.h"
#include "contacts/ContactParsing.h"
#include "contacts/ListsPort.h"
#include "platform/Pause.h"
#include "protocol/ServiceLink.h"
#include "protocol/Session.h"

namespace zelmo::contacts {

// webwxgetcontact (20 s time-out); the answer's new contacts are
// appended, and each new group's members fetched in a job. False when the
// service did not answer with "Ret" 0 (nothing was added then). Blocks.
bool FetchContactList(const protocol::ServiceLink& link, const protocol::ProtocolState& state,
                      ContactStore& store, jobs::JobQueue& queue);

// True for an answer of a contact request that the service completed ("Ret" 0).
bool ContactAnswerOk(std::string_view answer);

// webwxstatusnotify (code 3, own UserName as sender and receiver). The answer's "Ret";
// empty when the request failed.
std::string SendStatusNotify(const protocol::ServiceLink& link,
                             const protocol::ProtocolState& state);

// webwxbatchgetcontact for one UserName; the answer as the service sent it (UTF-8, empty
// on failure). Blocks.
std::string BatchGetContact(const protocol::ServiceLink& link, const protocol::ProtocolState& state,
                            std::string_view user_name);

// Fills member list, MemberCount and OwnerUin of the group at a store index (decimal text),
// then tells the lists. A failed fetch is tried again, pausing as a failing service
// request backs off, until it succeeds or a pause ends early (the run stops; the group
// then stays as it was). An index out of range does nothing. Blocks; any thread.
void FetchGroupMembers(const protocol::ServiceLink& link, const protocol::ProtocolState& state,
                       ContactStore& store, ListsPort& lists, const platform::Pause& pause,
                       std::string_view index_text);

// Fetches and adds a contact that is not yet known, retrying a failed fetch as
// FetchGroupMembers does, then refreshes the lists if it was added. The caller makes sure
// the robot is online. Blocks; any thread.
void EnsureContactKnown(const protocol::ServiceLink& link, const protocol::ProtocolState& state,
                        ContactStore& store, jobs::JobQueue& queue, ListsPort& lists,
                        const platform::Pause& pause, std::string_view user_name);

}  // namespace zelmo::contacts
