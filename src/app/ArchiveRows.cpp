#include "app/ArchiveRows.h"

#include <algorithm>
#include <array>
#include <optional>

#include "onebot/MessageText.h"
#include "platform/Encoding.h"
#include "platform/GbkLiteral.h"
#include "platform/GbkText.h"
#include "platform/Json.h"
#include "protocol/ChatMessage.h"
#include "protocol/MessageItem.h"
#include "protocol/TextHelpers.h"

namespace zelmo::app {

namespace {

constexpr std::string_view MEMBER_END = ":<br/>";
constexpr std::string_view TEXT_KIND = "文本";
constexpr std::string_view SENT = "ok";

// The service's message types whose kind the content does not tell.
enum MsgType : int {
    MSG_FRIEND_REQUEST = 37,
    MSG_POSSIBLE_FRIEND = 40,
    MSG_STATUS_NOTICE = 51,
    MSG_SYSTEM_NOTICE = 9999,
    MSG_SYSTEM = 10000,
    MSG_RECALL = 10002,
};

std::optional<std::string_view> FixedKind(int msg_type) {
    switch (msg_type) {
        case MSG_FRIEND_REQUEST:
        case MSG_POSSIBLE_FRIEND:
            return "[好友请求]";
        case MSG_STATUS_NOTICE:
            return "[会话]";
        case MSG_SYSTEM_NOTICE:
        case MSG_SYSTEM:
            return "[系统消息]";
        case MSG_RECALL:
            return "[撤回]";
        default:
            return std::nullopt;
    }
}

// The label a classification put in place of the content ("[图片]", "[地理位置]" before a
// place), in UTF-8; "文本" when it left the content as it was.
std::string KindOf(const messages::ReceivedMessage& message,
                   const messages::Classified& classified) {
    if (const std::optional<std::string_view> fixed = FixedKind(message.MsgType)) {
        return std::string(*fixed);
    }
    if (classified.content == message.Content) {
        return std::string(TEXT_KIND);
    }
    const std::string_view labelled = classified.content;
    const std::string_view rest = labelled.substr(messages::GroupMemberPrefixLength(labelled));
    const std::size_t end = platform::FindGbk(rest, "]");
    if (rest.empty() || rest.front() != '[' || end == std::string_view::npos) {
        return std::string(TEXT_KIND);
    }
    return platform::GbkToUtf8(rest.substr(0, end + 1));
}

bool IsText(std::string_view kind) {
    return kind == TEXT_KIND || kind == "[系统消息]";
}

// A contact's name as the log shows it, in UTF-8; empty for a UserName nobody knows.
std::string NameOf(const RowNames& names, std::string_view user_name) {
    if (user_name == names.own_user_name) {
        return platform::GbkToUtf8(names.own_nickname);
    }
    const std::string name = names.contacts.FindNickName(user_name);
    return name == contacts::NICKNAME_NOT_FOUND ? std::string() : platform::GbkToUtf8(name);
}

std::string_view OriginWord(messages::SendOrigin origin) {
    switch (origin) {
        case messages::SendOrigin::Reply:
            return "reply";
        case messages::SendOrigin::Model:
            return "model";
        case messages::SendOrigin::Chat:
            return "chat";
        case messages::SendOrigin::Mass:
            return "mass";
        case messages::SendOrigin::Plugin:
            return "plugin";
        case messages::SendOrigin::OneBot:
            return "onebot";
    }
    return {};
}

std::string WithoutCarriageReturns(std::string text) {
    std::erase(text, '\r');
    return text;
}

// A UTF-8 text as the log holds it: GBK, line breaks CR LF.
std::string LogText(std::string_view utf8) {
    std::string gbk = platform::Utf8ToGbk(utf8);
    std::string text;
    text.reserve(gbk.size());
    for (const char c : gbk) {
        if (c == '\n') {
            text += "\r\n";
        } else if (c != '\r') {
            text.push_back(c);
        }
    }
    return text;
}

std::string DayAndTime(std::int64_t unix_ms, std::int64_t today_ms) {
    const messages::LocalTime time = messages::ToLocalTime(unix_ms);
    const messages::LocalTime today = messages::ToLocalTime(today_ms);
    std::string text;
    if (time.year != today.year) {
        text = std::to_string(time.year) + "-";
    }
    if (time.year != today.year || time.month != today.month || time.day != today.day) {
        text += std::to_string(time.month) + "-" + std::to_string(time.day) + " ";
    }
    return text + messages::LogTimeText(time);
}

}  // namespace

std::string ReceivedText(std::string_view item, bool cut_sender) {
    std::string content;
    if (const std::optional<platform::Json> document = platform::ParseJson(item);
        document && document->IsObject()) {
        if (const platform::Json* value = document->Find("Content");
            value != nullptr && value->IsString()) {
            content = value->AsString();
        }
    } else {
        // A cut or broken item: what the tolerant reader finds, without what GBK lacks.
        content = platform::GbkToUtf8(protocol::ReadMessageItem(item).Content);
    }
    if (cut_sender) {
        if (const std::size_t end = content.find(MEMBER_END); end != std::string::npos) {
            content.erase(0, end + MEMBER_END.size());
        }
    }
    return onebot::ReadableText(content);
}

store::ArchiveRow ReceivedRow(const messages::ReceivedEvent& event, const RowNames& names,
                              std::int64_t now_ms) {
    const messages::ReceivedMessage& message = event.message;
    store::ArchiveRow row;
    row.time_ms = message.CreateTime > 0 ? message.CreateTime * 1000 : now_ms;
    row.direction = event.own ? store::Direction::Out : store::Direction::In;
    row.kind = KindOf(message, event.classified);
    row.msg_id = message.MsgId;
    if (event.chat != names.own_user_name) {
        row.chat_key = names.keys.KeyOf(event.chat);
    }
    row.chat_name = NameOf(names, event.chat);
    // A group's own notices have no member in front.
    const bool member =
        !event.own && event.chat_type == protocol::CHAT_GROUP && event.sender != event.chat;
    if (member) {
        row.sender_key = names.keys.KeyOf(event.sender);
        const std::string name = names.contacts.MemberName(event.chat, event.sender);
        row.sender_name = name == event.sender ? std::string() : platform::GbkToUtf8(name);
    } else if (event.own) {
        row.sender_name = platform::GbkToUtf8(names.own_nickname);
    } else {
        row.sender_key = row.chat_key;
        row.sender_name = row.chat_name;
    }
    row.text = IsText(row.kind) ? ReceivedText(event.item, member)
                                : WithoutCarriageReturns(platform::GbkToUtf8(event.text));
    return row;
}

store::ArchiveRow SentRow(const messages::SentEvent& event, const RowNames& names,
                          std::int64_t now_ms) {
    store::ArchiveRow row;
    row.time_ms = now_ms;
    row.direction = store::Direction::Out;
    row.kind = std::string(TEXT_KIND);
    row.chat_key = names.keys.KeyOf(event.to);
    row.chat_name = NameOf(names, event.to);
    row.sender_name = platform::GbkToUtf8(names.own_nickname);
    row.msg_id = std::string(event.msg_id);
    // Sent with CR LF; kept with the line breaks received texts have.
    row.text = WithoutCarriageReturns(platform::GbkToUtf8(event.text));
    row.result = event.sent ? std::string(SENT) : platform::GbkToUtf8(event.reason);
    row.origin = std::string(OriginWord(event.origin));
    if (event.origin == messages::SendOrigin::Model && !event.model.empty()) {
        row.origin += ":" + platform::GbkToUtf8(event.model);
    }
    return row;
}

std::string RecalledMsgId(const messages::ReceivedMessage& message) {
    if (message.MsgType != MSG_RECALL) {
        return {};
    }
    // The recalled message's MsgId; the old id is a client's, the last resort.
    static constexpr std::array<std::pair<std::string_view, std::string_view>, 4> MARKERS = {{
        {"&lt;msgid&gt;", "&lt;/msgid&gt;"},
        {"<msgid>", "</msgid>"},
        {"&lt;oldmsgid&gt;", "&lt;/oldmsgid&gt;"},
        {"<oldmsgid>", "</oldmsgid>"},
    }};
    for (const auto& [open, close] : MARKERS) {
        std::string id = protocol::ExtractBetween(message.Content, open, close);
        if (!id.empty() &&
            std::all_of(id.begin(), id.end(), [](char c) { return c >= '0' && c <= '9'; })) {
            return id;
        }
    }
    return {};
}

messages::LogRow LogRowOf(const store::ArchiveRow& row, std::string_view own_nickname,
                          std::int64_t today_ms) {
    messages::LogRow log;
    log.time = DayAndTime(row.time_ms, today_ms);
    std::string content = LogText(row.text);
    if (row.direction == store::Direction::Out) {
        const bool sent = row.result.empty() || row.result == SENT;
        log.label = platform::Gbk(sent ? "[↑]好友" : "[↑]未发送");
        log.source = row.sender_name.empty() ? std::string(own_nickname)
                                             : platform::Utf8ToGbk(row.sender_name);
        log.destination = platform::Utf8ToGbk(row.chat_name);
        if (!sent) {
            content = platform::Utf8ToGbk(row.result) + platform::Gbk("：") + content;
        }
    } else {
        const bool group = row.sender_key != row.chat_key || row.sender_name != row.chat_name;
        log.label = platform::Gbk(group ? "[↓]群" : "[↓]好友");
        log.source = platform::Utf8ToGbk(row.chat_name);
        log.destination = std::string(own_nickname);
        if (group && !row.sender_name.empty()) {
            content = platform::Utf8ToGbk(row.sender_name) + ": " + content;
        }
    }
    if (row.recalled) {
        content += platform::Gbk("（已撤回）");
    }
    log.content = std::move(content);
    return log;
}

std::optional<ai::ChatTurn> ContextTurnOf(const store::ArchiveRow& row) {
    const bool out = row.direction == store::Direction::Out;
    // Received rows have no result; sent ones say "ok" or why they did not go.
    if (row.kind != TEXT_KIND || row.text.empty() || row.recalled ||
        !(row.result.empty() || row.result == SENT)) {
        return std::nullopt;
    }
    ai::ChatTurn turn;
    turn.id = row.msg_id;
    turn.from_robot = out;
    if (!out && row.sender_key != row.chat_key) {
        turn.speaker = platform::Utf8ToGbk(row.sender_name);
    }
    turn.text = platform::Utf8ToGbk(row.text);
    return turn;
}

}  // namespace zelmo::app
