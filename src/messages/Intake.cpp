#include "messages/Intake.h"

#include "ai/AskRules.h"
#include "config/AccountPaths.h"
#include "contacts/ContactRequests.h"
#include "media/ReceivedMedia.h"
#include "messages/GroupEvents.h"
#include "messages/HelpReply.h"
#include "messages/KnowledgeBase.h"
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

// Asks the model about a message no other source answered, when it hears it; true when
// asked (the answer comes through the queue's result).
bool AskModel(const IntakeParts& parts, const config::Settings& settings, const ChatParts& chat,
              std::string_view from, const ModelInput& input) {
    const config::AiSettings& ai = settings.ai;
    // Settings the start or the settings page named as wrong leave the base's default
    // reply in place, as with the model off.
    if (parts.model == nullptr || !ai.启用 || !input.typed_text ||
        !config::CheckAiSettings(ai).empty()) {
        return false;
    }
    const bool group = chat.chat_type == CHAT_GROUP;
    std::string_view content = input.content;
    if (group) {
        const std::size_t split = platform::FindGbk(content, LINE_BREAK_MARKER);
        if (split != std::string_view::npos) {
            content.remove_prefix(split + LINE_BREAK_MARKER.size());
        }
    }
    const std::shared_ptr<const protocol::ProtocolState> state = parts.sessions.Snapshot();
    const protocol::OwnProfile& own = state->own;
    std::string own_group_name;
    if (group) {
        // A name the group never gave comes back as the UserName itself.
        own_group_name = parts.contacts.MemberName(from, own.UserName);
        if (own_group_name == own.UserName) {
            own_group_name.clear();
        }
    }
    const ai::IncomingFacts facts{.group = group,
                                  .content = content,
                                  .own_group_name = own_group_name,
                                  .own_nickname = own.NickName,
                                  .robot_name = settings.机器人姓名};
    std::optional<std::string> question = ai::QuestionFor(facts, ai);
    if (!question) {
        return false;
    }
    ai::Question asked;
    asked.chat = std::string(from);
    asked.turn.id = std::string(input.message_id);
    if (group && !chat.group_sender.empty()) {
        asked.turn.speaker = parts.contacts.MemberName(from, chat.group_sender);
    }
    asked.turn.text = std::move(*question);
    asked.asked_ms = parts.replies.clock.TickMs();
    parts.model->Ask(std::move(asked));
    return true;
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
        DecideReply(parts, *settings, from, content, classified.answering, item,
                    {message.MsgId, classified.content, classified.typed_text});
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
                 std::string_view item, const ModelInput& model) {
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
    if (answering == Answering::Never) {
        return;
    }
    const ChatParts chat = SplitChat(from_user_name, content);
    const contacts::ContactKey key = parts.keys.KeyOf(from_user_name);
    if (IsInCommaList(settings.屏蔽uin, key) ||
        (!chat.group_sender.empty() &&
         IsInCommaList(settings.屏蔽uin, parts.keys.KeyOf(chat.group_sender)))) {
        return;
    }
    // A system notice is answered only as a group event: a join notice that the group
    // texts leave unanswered must not reach learning, plugins or the default reply.
    if (answering == Answering::GroupEventsOnly) {
        if (settings.启用群管) {
            PostReply(parts, settings, from_user_name,
                      GroupEventReply(settings, chat.content).value_or(std::string()));
        }
        return;
    }
    const ChatMessage message{chat.content, chat.chat_type, from_user_name, chat.group_sender,
                              item};
    std::string reply = RunReplyChain(sources, settings, message);
    if (!reply.empty()) {
        PostReply(parts, settings, from_user_name, std::move(reply));
        return;
    }
    if (chat.chat_type == CHAT_GROUP && !PassesReplyChance(settings.回复几率, sources.clock)) {
        return;
    }
    if (std::optional<std::string> keyword =
            sources.knowledge.KeywordReply(chat.content, sources.clock)) {
        reply = std::move(*keyword);
    } else if (AskModel(parts, settings, chat, from_user_name, model)) {
        return;
    } else {
        reply = sources.knowledge.DefaultReply(chat.chat_type, settings, sources.clock);
    }
    // Only the knowledge base's "[图片=NAME]" forms send files.
    PostReply(parts, settings, from_user_name, std::move(reply), true);
}

bool AdmitReply(const IntakeParts& parts, const config::Settings& settings, std::string_view to,
                std::string_view reply, std::string_view mark) {
    const std::string own = parts.sessions.Snapshot()->own.UserName;
    const std::string shown =
        mark.empty() ? std::string(reply) : std::string(mark) + std::string(reply);
    // Counted per contact key, so a new login does not start the count afresh. Dropped, not
    // delayed: a delayed answer to a robot still feeds the loop.
    const contacts::ContactKey key = parts.keys.KeyOf(to);
    if (!parts.guard.Admit(key.empty() ? to : std::string_view(key), parts.replies.clock.TickMs(),
                           RepliesPerMinute(settings.每分钟回复上限))) {
        PostSentRow(parts.queue, settings, own, to, shown, true);
        return false;
    }
    PostSentRow(parts.queue, settings, own, to, shown);
    return true;
}

void PostReply(const IntakeParts& parts, const config::Settings& settings, std::string_view to,
               std::string reply, bool knowledge) {
    // The marker suppresses a reply wherever it comes from; it is never sent as text.
    if (reply.empty() || reply == NO_REPLY) {
        return;
    }
    // Stored texts may name the robot as the templates do.
    reply = NameTheRobot(reply, settings);
    if (AdmitReply(parts, settings, to, reply)) {
        jobs::PostJob(parts.queue, JOB_SEND_TEXT, std::string(to), std::move(reply),
                      knowledge ? std::string(REPLY_FROM_KNOWLEDGE) : std::string());
    }
}

}  // namespace zelmo::messages
