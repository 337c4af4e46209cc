#include "contacts/ContactParsing.h"

#include <string>
#include <utility>

#include "contacts/ContactCutReference.h"
#include "contacts/ContactJobs.h"

namespace zelmo::contacts {

std::size_t AddContacts(ContactStore& store, jobs::JobQueue& queue, std::string_view answer) {
    // Only the worker that added a group fetches its members.
    const AppendedContacts appended = AppendContacts(store, answer);
    for (const std::size_t index : appended.new_groups) {
        jobs::PostJob(queue, JOB_GROUP_MEMBERS, std::to_string(index));
    }
    return appended.count;
}

std::size_t ParseContacts(ContactStore& store, jobs::JobQueue& queue, std::string_view text) {
    std::size_t appended = 0;
    for (ContactRecord& record : reference::CutContacts(text)) {
        const bool is_group = record.kind == KIND_GROUP;
        // Lookup and append are one step, so racing workers add a contact only once and
        // only the one that added it fetches the members.
        const std::size_t index = store.AppendIfNew(std::move(record));
        if (index == 0) {
            continue;
        }
        ++appended;
        if (is_group) {
            jobs::PostJob(queue, JOB_GROUP_MEMBERS, std::to_string(index));
        }
    }
    return appended;
}

}  // namespace zelmo::contacts
