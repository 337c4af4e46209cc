#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "contacts/ContactAnswer.h"
#include "contacts/ContactStore.h"

// The contact cuts on whole answers converted to GBK: a regular expression finds each
// contact, and markers cut its fields. Kept as the reference the one-pass readers of
// ContactAnswer.h are compared with, in tests and fuzzing; the program reads UTF-8 answers
// with those.
namespace zelmo::contacts::reference {

// Every match of "Uin.*?UserName.*?ChatRoomId.*?\}" in a GBK text, cut and classified.
std::vector<ContactRecord> CutContacts(std::string_view text);

// The record cut from one contact object (a text from its "Uin" key on), classified.
// Missing fields are empty.
ContactRecord CutContact(std::string_view object);

// The member data of a webwxbatchgetcontact answer (GBK): what ReadGroupMembers gives.
GroupMembers CutGroupMembers(std::string_view answer);

}  // namespace zelmo::contacts::reference
