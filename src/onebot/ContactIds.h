#pragma once

#include <string>
#include <string_view>

#include "contacts/ContactKeys.h"

namespace zelmo::onebot {

// The ids frameworks see for people and groups (user_id, group_id, self): the contacts'
// stable keys, the same across logins and runs. Every conversion goes through here.
class ContactIds {
public:
    explicit ContactIds(const contacts::ContactKeys& keys) : m_keys(keys) {}

    // The id of a UserName: its contact's key; the UserName itself while it has none (a
    // group member whose group's members were not fetched yet). Empty for an empty one.
    std::string IdOf(std::string_view user_name) const;
    // The UserName of this login behind an id (a key, or a UserName one of those gave out,
    // of this login or an earlier one); empty when no contact of this login has it.
    std::string UserNameOf(std::string_view id) const;

private:
    const contacts::ContactKeys& m_keys;
};

}  // namespace zelmo::onebot
