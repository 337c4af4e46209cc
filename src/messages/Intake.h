#pragma once

#include <atomic>
#include <string>
#include <string_view>

#include "config/Settings.h"
#include "config/SettingsStore.h"
#include "contacts/ContactStore.h"
#include "contacts/ListsPort.h"
#include "jobs/JobQueue.h"
#include "messages/ReplySources.h"
#include "protocol/ChatMessage.h"
#include "protocol/ServiceLink.h"
#include "protocol/Session.h"

namespace zelmo::messages {

using protocol::CHAT_FRIEND;
using protocol::CHAT_GROUP;
using protocol::ChatType;

// The bracketed label of a media content, "[地理位置]" and the place of a location, or the
// content itself (GBK). short_link_host names the service's URL shortener (from the
// service profile); without one no content is a location.
std::string ClassifyContent(std::string_view content, std::string_view short_link_host);

// True when one comma-separated piece of list equals item exactly (no trimming); false
// when either is empty.
bool IsInCommaList(std::string_view list, std::string_view item);

// A message as the reply chain sees it.
struct ChatParts {
    int chat_type = CHAT_FRIEND;
    std::string group_sender;  // the member's UserName; empty in friend chats
    std::string content;       // for group texts, what follows the sender prefix
};

// A UserName with "@@" is a group; a group content "<member>:<br/><text>" splits at its
// first ":<br/>" into sender and text. Other contents stay whole.
ChatParts SplitChat(std::string_view from_user_name, std::string_view content);

// What a received message reaches: the session it came in on, the contacts (a message of
// the own account from another device names a partner that may be new), the job queue
// (log rows, replies) and where replies come from.
struct IntakeParts {
    protocol::ServiceLink link;
    const protocol::SessionStore& sessions;
    const std::atomic<int>& connection;  // ConnectionState
    const config::SettingsStore& settings;
    contacts::ContactStore& contacts;
    contacts::ListsPort& lists;
    jobs::JobQueue& queue;
    const ReplySources& replies;
};

// Job kind 5: one raw AddMsgList item. Dropped unless the robot is online or when it has
// no content; posts the log job when messages are shown; replies only to other accounts.
void HandleIncomingMessage(const IntakeParts& parts, std::string_view item);

// The reply decision for one message from another account: shield list, chat type, the
// reply chain, then the knowledge base; a reply is posted to `queue` as a send job to the
// sender (the friend or the whole group).
void DecideReply(const ReplySources& sources, const config::Settings& settings,
                 jobs::JobQueue& queue, std::string_view from_user_name, std::string_view content);

}  // namespace zelmo::messages
