#pragma once

#include <cstddef>

namespace zelmo::app {

class Robot;

// Gives the contacts of the current login their keys (ContactKeys): once the contact list
// of a new login is in the store, and again whenever the login names more contacts. The
// event log tells of contacts that got a new key because two or more known ones matched
// them equally. The keys created or seen go to the account's database. Any thread.
enum class KeysFor { NewLogin, More };
void AssignContactKeys(Robot& robot, KeysFor what);

// The same after the members of the group at a store index were fetched.
void AssignMemberKeys(Robot& robot, std::size_t group_index);

}  // namespace zelmo::app
