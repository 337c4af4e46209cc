#pragma once

#include <string>
#include <string_view>

#include "ai/ModelQueue.h"
#include "config/Settings.h"
#include "config/SettingsStore.h"
#include "contacts/ContactStore.h"
#include "contacts/ListsPort.h"
#include "jobs/JobQueue.h"
#include "messages/Classification.h"
#include "messages/MessageEvents.h"
#include "messages/ReplyGuard.h"
#include "messages/ReplySources.h"
#include "platform/Pause.h"
#include "protocol/ChatMessage.h"
#include "protocol/ServiceLink.h"
#include "protocol/Session.h"
#include "protocol/SessionStore.h"

namespace zelmo::messages {

using protocol::CHAT_FRIEND;
using protocol::CHAT_GROUP;
using protocol::ChatType;

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
// the own account from another device names a partner that may be new; official accounts
// are never answered), the job queue (log rows, replies), where replies come from and the
// guard that limits them.
struct IntakeParts {
    protocol::ServiceLink link;
    const protocol::SessionStore& sessions;
    platform::Pause pause;  // the waits of a contact fetch tried again
    const config::SettingsStore& settings;
    contacts::ContactStore& contacts;
    contacts::ListsPort& lists;
    jobs::JobQueue& queue;
    const ReplySources& replies;
    ReplyGuard& guard;
    const MessageObservers& observers;  // told of every message once it is handled
    // Asked what no other source answered, while its [AI回复] is on; nullptr: none.
    ai::ModelQueue* model = nullptr;
};

// What the language model needs of a message beyond what the chain reads.
struct ModelInput {
    std::string_view message_id;
    // The content as classified, before emoji markup and every "?" are removed: the end of
    // a mention (U+2005, which GBK lacks) is still there as a "?".
    std::string_view content;
    bool typed_text = false;  // typed by a person: a text, not a label or a location
};

// Job kind 5: one raw AddMsgList item; the caller runs it only while the robot is online.
// Dropped when it has no content; posts the log job (the content as people read it) when
// messages are shown; replies only to other accounts, and never to what the classification
// or the sender's kind (an official account) rules out; then tells the observers.
void HandleIncomingMessage(const IntakeParts& parts, std::string_view item);

// The reply decision for one message from another account: shield list, chat type, the
// sources `answering` allows, then (for the whole chain) the knowledge base's keywords, the
// language model for what they do not match (when it hears the message; its answer comes
// later) and else the base's default reply. A reply is posted as PostReply posts it.
void DecideReply(const IntakeParts& parts, const config::Settings& settings,
                 std::string_view from_user_name, std::string_view content,
                 Answering answering = Answering::Chain, const ModelInput& model = {});

// The reply limit (每分钟回复上限) and the log row of a reply about to go to `to`, with
// `mark` in front of it in the row: true when it may be sent; one over the limit is
// dropped, and its row says so.
bool AdmitReply(const IntakeParts& parts, const config::Settings& settings, std::string_view to,
                std::string_view reply, std::string_view mark = {});

// A reply of the chain or the knowledge base on its way: nothing for an empty reply or
// "[noreply]"; otherwise the robot named as the templates name it, then AdmitReply, then
// a send job to `to` (the friend or the whole group).
void PostReply(const IntakeParts& parts, const config::Settings& settings, std::string_view to,
               std::string reply);

}  // namespace zelmo::messages
