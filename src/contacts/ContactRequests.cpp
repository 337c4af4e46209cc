#include "contacts/ContactRequests.h"

namespace zelmo::contacts {

void ParseContacts(ContactStore&, messages::IncomingQueue&, std::string_view) {}
void FetchContactList(app::Robot&) {}
std::string SendStatusNotify(app::Robot&) {
    return {};
}
std::string BatchGetContact(app::Robot&, std::string_view) {
    return {};
}
void FetchGroupMembers(app::Robot&, std::string_view) {}
void EnsureContactKnown(app::Robot&, std::string_view) {}

}  // namespace zelmo::contacts
