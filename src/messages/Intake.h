#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "ai/ModelQueue.h"
#include "config/Settings.h"
#include "config/SettingsStore.h"
#include "contacts/ContactKeys.h"
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
// are never answered) and their keys (the shield list and the reply limit know people by
// them across logins), the job queue (log rows, replies), where replies come from and the
// guard that limits them.
struct IntakeParts {
    protocol::ServiceLink link;
    const protocol::SessionStore& sessions;
    platform::Pause pause;  // the waits of a contact fetch tried again
    const config::SettingsStore& settings;
    contacts::ContactStore& contacts;
    const contacts::ContactKeys& keys;
    contacts::ListsPort& lists;
    jobs::JobQueue& queue;
    const ReplySources& replies;
    ReplyGuard& guard;
    const MessageObservers& observers;  // told of every message once it is handled
    // True while something outside the robot answers its chats (a bot framework that took
    // the replies over): the robot's own reply chain stays quiet. Empty: never.
    std::function<bool()> answered_elsewhere;
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
// messages are shown; replies only to other accounts, never to what the classification
// or the sender's kind (an official account) rules out, and not while the replies are
// answered elsewhere; then tells the observers.
void HandleIncomingMessage(const IntakeParts& parts, std::string_view item);

// The reply decision for one message from another account: shield list (a Uin the uin file
// gives the sender, or the contact key of the sender or of the group member who wrote),
// chat type, the sources `answering` allows, then (for the whole chain) the knowledge base's
// keywords, the language model for what they do not match (when it hears the message; its
// answer comes later) and else the base's default reply. A reply is posted as PostReply
// posts it. `item` is the raw AddMsgList item, for the plugins that ask for the message's
// media.
void DecideReply(const IntakeParts& parts, const config::Settings& settings,
                 std::string_view from_user_name, std::string_view content,
                 Answering answering = Answering::Chain, std::string_view item = {},
                 const ModelInput& model = {});

// The reply limit (每分钟回复上限, counted per contact key, so a new login does not start it
// afresh) and the log row of a reply about to go to `to`, with `mark` in front of it in the
// row: true when it may be sent; one over the limit is dropped, and its row says so.
bool AdmitReply(const IntakeParts& parts, const config::Settings& settings, std::string_view to,
                std::string_view reply, std::string_view mark = {});

// A reply of the chain or the knowledge base on its way: nothing for an empty reply or
// "[noreply]"; otherwise the robot named as the templates name it, then AdmitReply, then
// a send job to `to` (the friend or the whole group). Only a reply of the knowledge base
// (`knowledge`) may send a file by its "[图片=NAME]" forms.
void PostReply(const IntakeParts& parts, const config::Settings& settings, std::string_view to,
               std::string reply, bool knowledge = false);

}  // namespace zelmo::messages
