#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <string_view>

#include "config/SettingsStore.h"
#include "contacts/ContactKeys.h"
#include "contacts/ContactStore.h"
#include "messages/ReplyGuard.h"
#include "messages/Sending.h"
#include "protocol/Connection.h"
#include "protocol/ServiceLink.h"
#include "protocol/SessionStore.h"

namespace zelmo::onebot {

// The robot's parts the frameworks reach: the session (own profile, requests), the contacts
// and their keys (the ids frameworks see), whether it is online, the paced sender with the
// per-chat limit, the settings (limits), where uploaded files are kept, the program's
// version, a line for the owner (GBK; may be empty), and the saved file of a received
// message (its raw item), waiting for its download at most so long: empty when there is
// none (may be unset: no downloads).
struct OneBotParts {
    protocol::ServiceLink link;
    const protocol::SessionStore& sessions;
    const contacts::ContactStore& contacts;
    const contacts::ContactKeys& keys;
    const protocol::Connection& connection;
    messages::Sender& sender;
    messages::ReplyGuard& guard;
    const config::SettingsStore& settings;
    std::string files_folder;
    std::string version;
    std::function<void(std::string_view gbk_line)> log;
    std::function<std::string(std::string_view item, std::chrono::milliseconds wait)> received_file;
};

}  // namespace zelmo::onebot
