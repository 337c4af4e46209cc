#pragma once

#include <string>
#include <string_view>

namespace zelmo::onebot {

// The ids frameworks see for people and groups (user_id, group_id, self). They must stay
// the same across logins; until the contact keys are kept, they are the service's
// UserNames of this login. Every conversion goes through here, so the switch is here alone.
class ContactIds {
public:
    // The id of a UserName; empty for an empty one.
    std::string IdOf(std::string_view user_name) const;
    // The UserName of this login behind an id; empty when none is known.
    std::string UserNameOf(std::string_view id) const;
};

}  // namespace zelmo::onebot
