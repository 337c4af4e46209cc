#include "messages/Intake.h"

#include "config/AccountPaths.h"
#include "contacts/ContactRequests.h"
#include "media/ReceivedMedia.h"
#include "messages/GroupEvents.h"
#include "messages/HelpReply.h"
#include "messages/MessageJobs.h"
#include "messages/MessageLog.h"
#include "messages/ReceivedMessage.h"
#include "messages/ReplyChain.h"
#include "platform/GbkText.h"
#include "platform/IniFile.h"
#include "protocol/TextHelpers.h"

namespace zelmo::messages {

namespace {

constexpr std::string_view LINE_BREAK_MARKER = ":<br/>";
constexpr std::string_view GROUP_MARKER = "@@";
constexpr std::string_view NO_REPLY = "[noreply]";

// A reply and whether the knowledge base gave it (only its "[图片=NAME]" forms send files).
struct FoundReply {
    std::string text;
    bool knowledge = false;
};

// The reply a message gets from the sources `answering` allows; empty for none.
FoundReply FindReply(const ReplySources& sources, const config::Settings& settings,
                     const ChatParts& chat, std::string_view from, Answering answering,
                     std::string_view item) {
    if (answering == Answering::Never) {
        return {};
    }
    // A system notice is answered only as a group event: a join notice that the group
    // texts leave unanswered must not reach learning, plugins or the default reply.
    if (answering == Answering::GroupEventsOnly) {
        if (!settings.启用群管) {
            return {};
        }
        return {GroupEventReply(settings, chat.content).value_or(std::string())};
    }
    const ChatMessage message{chat.content, chat.chat_type, from, chat.group_sender, item};
    std::string reply = RunReplyChain(sources, settings, message);
    if (!reply.empty()) {
        return {std::move(reply)};
    }
    return {sources.knowledge.LookupReply(chat.content, chat.chat_type, settings, sources.clock),
            true};
}

}  // namespace

bool IsInCommaList(std::string_view list, std::string_view item) {
    if (list.empty() || item.empty()) {
        return false;
    }
    // "," is never a GBK trail byte, so a byte split is a character split.
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = list.find(',', start);
        const std::string_view piece = list.substr(start, comma - start);
        if (piece == item) {
            return true;
        }
        if (comma == std::string_view::npos) {
            return false;
        }
        start = comma + 1;
    }
}

ChatParts SplitChat(std::string_view from_user_name, std::string_view content) {
    ChatParts parts;
    parts.content = std::string(content);
    if (!platform::ContainsGbk(from_user_name, GROUP_MARKER)) {
        return parts;
    }
    parts.chat_type = CHAT_GROUP;
    // One position for both halves, so sender and text always meet at the same marker.
    const std::size_t split = platform::FindGbk(content, LINE_BREAK_MARKER);
    if (split != std::string_view::npos) {
        parts.group_sender = std::string(content.substr(0, split));
        parts.content = std::string(content.substr(split + LINE_BREAK_MARKER.size()));
    }
    return parts;
}

void HandleIncomingMessage(const IntakeParts& parts, std::string_view item) {
    const ReceivedMessage message = ReadMessageItem(item);
    if (message.Content.empty()) {
        return;
    }
    const Classified classified = ClassifyMessage(message, parts.link.profile.short_link_host);
    const std::string content = protocol::StripSpanTags(classified.content);
    const std::string& from = message.FromUserName;
    const std::string& to = message.ToUserName;

    const std::shared_ptr<const config::Settings> settings = parts.settings.Get();
    if (settings->显示消息) {
        // The row of a message with media learns of the saved file by its MsgId.
        const bool media =
            media::MayCarryMedia(message.MsgType) && media::ReadReceivedMedia(item).has_value();
        jobs::PostJob(parts.queue, JOB_LOG_ENTRY, from, to,
                      ReadableContent(parts.contacts, from, content),
                      media ? message.MsgId : std::string());
    }
    // Written on another device of the own account: learn the partner, never answer.
    const std::shared_ptr<const protocol::ProtocolState> state = parts.sessions.Snapshot();
    const bool own = from == state->own.UserName;
    if (own) {
        contacts::EnsureContactKnown(parts.link, *state, parts.contacts, parts.queue, parts.lists,
                                     parts.pause, to);
    } else if (classified.answering != Answering::Never && settings->启用回复 &&
               // Official accounts broadcast; an answer would only talk to a machine.
               parts.contacts.FindKind(from) != contacts::KIND_PUBLIC &&
               !(parts.answered_elsewhere && parts.answered_elsewhere())) {
        DecideReply(parts, *settings, from, content, classified.answering, item);
    }
    const std::string& chat = own ? to : from;
    const ChatParts split = SplitChat(chat, content);
    const std::string& sender = own ? from : split.group_sender.empty() ? from : split.group_sender;
    parts.observers.Received({.item = item,
                              .message = message,
                              .classified = classified,
                              .text = split.content,
                              .chat_type = split.chat_type,
                              .chat = chat,
                              .sender = sender,
                              .own = own});
}

void DecideReply(const IntakeParts& parts, const config::Settings& settings,
                 std::string_view from_user_name, std::string_view content, Answering answering,
                 std::string_view item) {
    if (!settings.启用回复 || from_user_name.empty()) {
        return;
    }
    const ReplySources& sources = parts.replies;
    const std::string& account_dir = sources.account_dir;
    const std::string uin =
        account_dir.empty()
            ? std::string()
            : platform::ReadIniItem(config::UinFilePath(account_dir), from_user_name, "Uin");
    if (IsInCommaList(settings.屏蔽uin, uin)) {
        return;
    }
    const ChatParts chat = SplitChat(from_user_name, content);
    const contacts::ContactKey key = parts.keys.KeyOf(from_user_name);
    if (IsInCommaList(settings.屏蔽uin, key) ||
        (!chat.group_sender.empty() &&
         IsInCommaList(settings.屏蔽uin, parts.keys.KeyOf(chat.group_sender)))) {
        return;
    }
    FoundReply found = FindReply(sources, settings, chat, from_user_name, answering, item);
    std::string& reply = found.text;
    // The marker suppresses a reply wherever it comes from; it is never sent as text.
    if (reply.empty() || reply == NO_REPLY) {
        return;
    }
    // Stored texts may name the robot as the templates do.
    reply = NameTheRobot(reply, settings);
    const std::string own = parts.sessions.Snapshot()->own.UserName;
    // Dropped, not delayed: a delayed answer to a robot still feeds the loop.
    if (!parts.guard.Admit(key.empty() ? from_user_name : std::string_view(key),
                           sources.clock.TickMs(), RepliesPerMinute(settings.每分钟回复上限))) {
        PostSentRow(parts.queue, settings, own, from_user_name, reply, true);
        return;
    }
    PostSentRow(parts.queue, settings, own, from_user_name, reply);
    jobs::PostJob(parts.queue, JOB_SEND_TEXT, std::string(from_user_name), std::move(reply),
                  found.knowledge ? std::string(REPLY_FROM_KNOWLEDGE) : std::string());
}

}  // namespace zelmo::messages
