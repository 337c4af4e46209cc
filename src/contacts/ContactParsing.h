#pragma once

#include <cstddef>
#include <string_view>

#include "contacts/ContactAnswer.h"
#include "contacts/ContactStore.h"
#include "jobs/JobQueue.h"

namespace zelmo::contacts {

// Appends every new contact of an answer as the service sent it (UTF-8) to the store, in
// order; a known UserName is never updated. Each new group posts one member-fetch job
// (kind 4, its index as decimal text). Returns how many records were appended. Any bytes;
// any thread.
std::size_t AddContacts(ContactStore& store, jobs::JobQueue& queue, std::string_view answer);

// The same for a JSON text in GBK, cut by the reference cuts; the tests and the benchmarks
// compare the readers with it.
std::size_t ParseContacts(ContactStore& store, jobs::JobQueue& queue, std::string_view text);

}  // namespace zelmo::contacts
