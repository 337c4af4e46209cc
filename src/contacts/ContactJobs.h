#pragma once

namespace zelmo::contacts {

// The job kinds the contact code posts; their numbers are the protocol of the queue.
enum ContactJobKind : int {
    JOB_CONTACT_CHANGED = 2,  // texts: UserName
    JOB_GROUP_MEMBERS = 4,    // texts: the group's store index as decimal text
};

}  // namespace zelmo::contacts
