#pragma once

#include <cstddef>
#include <string_view>

#include "contacts/ContactAnswer.h"
#include "contacts/ContactStore.h"

namespace zelmo::messages {
class IncomingQueue;
}

namespace zelmo::contacts {

// Appends every new contact of an answer as the service sent it (UTF-8) to the store, in
// order; a known UserName is never updated. Each new group posts one member-fetch job
// (kind 4, its index as decimal text). Returns how many records were appended. Any bytes;
// any thread.
std::size_t AddContacts(ContactStore& store, messages::IncomingQueue& queue,
                        std::string_view answer);

// The same for a JSON text in GBK, cut by the reference cuts: the start-up's path for the
// webwxinit answer it keeps in GBK.
std::size_t ParseContacts(ContactStore& store, messages::IncomingQueue& queue,
                          std::string_view text);

}  // namespace zelmo::contacts
