#pragma once

#include <cstddef>
#include <string_view>

namespace zelmo::contacts {

// The views over the contact store. Any thread; calls keep their order.
class ListsPort {
public:
    virtual ~ListsPort() = default;

    // Clears and refills the friend, group and public-account lists from the store.
    virtual void RefreshContactLists() = 0;
    // The members of the group at store index `group_index` were fetched: an open member
    // window showing that group shows them.
    virtual void GroupMembersFetched(std::size_t group_index) = 0;
};

}  // namespace zelmo::contacts
