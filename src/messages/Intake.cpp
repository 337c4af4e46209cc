#include "messages/Intake.h"

#include <array>
#include <cctype>

#include "config/AccountPaths.h"
#include "contacts/ContactRequests.h"
#include "messages/MessageJobs.h"
#include "messages/ReplyChain.h"
#include "platform/GbkLiteral.h"
#include "platform/GbkText.h"
#include "platform/IniFile.h"
#include "protocol/ConnectionState.h"
#include "protocol/JsonText.h"
#include "protocol/TextHelpers.h"

namespace zelmo::messages {

namespace {

// The key's opening quote belongs to each marker: since 2017 every message object ends
// with "OriContent", and the sync pattern makes each item after the first begin inside
// the previous message, where `Content": "` alone would find that OriContent first.
constexpr std::string_view FROM_MARKER = "\"FromUserName\": \"";
constexpr std::string_view TO_MARKER = "\"ToUserName\": \"";
constexpr std::string_view CONTENT_MARKER = "\"Content\": \"";
constexpr std::string_view TOKEN_END = "\",";

constexpr std::string_view LINE_BREAK_MARKER = ":<br/>";
constexpr std::string_view GROUP_MARKER = "@@";
constexpr std::string_view PLAIN_HTTP = "http://";
constexpr std::string_view NO_REPLY = "[noreply]";

struct KindRow {
    std::string_view marker;
    std::string_view label_utf8;
};

// Tested in this order; the first row whose marker occurs decides.
constexpr std::array<KindRow, 8> KIND_ROWS{{
    {"&lt;msg&gt;<br/>&lt;op ", "[会话]"},
    {"&lt;msg&gt;&lt;img", "[图片]"},
    {"&lt;msg&gt;&lt;emoji", "[表情]"},
    {"&lt;msg&gt;&lt;voicemsg", "[语音]"},
    {"&lt;msg&gt;&lt;videomsg", "[视频]"},
    {"&lt;msg&gt;<br/>&lt;appmsg", "[应用消息]"},
    {"&lt;category", "[图文]"},
    {"&lt;?xml version", "[名片]"},
}};

const std::array<std::string, KIND_ROWS.size()>& KindLabels() {
    static const std::array<std::string, KIND_ROWS.size()> labels = [] {
        std::array<std::string, KIND_ROWS.size()> gbk;
        for (std::size_t i = 0; i < KIND_ROWS.size(); ++i) {
            gbk[i] = platform::Gbk(KIND_ROWS[i].label_utf8);
        }
        return gbk;
    }();
    return labels;
}

const std::string& LocationLabel() {
    static const std::string label = platform::Gbk("[地理位置]");
    return label;
}

// A group member's "@<UserName>:<br/>" at the start of a content (UserNames are "@" and
// letters or digits).
std::size_t MemberPrefixLength(std::string_view content) {
    const std::size_t end = platform::FindGbk(content, LINE_BREAK_MARKER);
    if (end == std::string_view::npos || end < 2 || content[0] != '@') {
        return 0;
    }
    for (std::size_t i = 1; i < end; ++i) {
        const auto c = static_cast<unsigned char>(content[i]);
        if (c >= 0x80 || (std::isalnum(c) == 0 && c != '@')) {
            return 0;
        }
    }
    return end + LINE_BREAK_MARKER.size();
}

std::string Location(std::string_view content) {
    // In a group the place follows the member's prefix: keep the prefix in front, so the
    // label names the place and the sender can still be split off.
    std::size_t prefix = MemberPrefixLength(content);
    if (prefix != 0 && !platform::ContainsGbk(content.substr(prefix), LINE_BREAK_MARKER)) {
        prefix = 0;
    }
    const std::string_view rest = content.substr(prefix);
    return std::string(content.substr(0, prefix)) + LocationLabel() +
           protocol::TextBefore(rest, LINE_BREAK_MARKER);
}

}  // namespace

std::string ClassifyContent(std::string_view content, std::string_view short_link_host) {
    for (std::size_t i = 0; i < KIND_ROWS.size(); ++i) {
        if (platform::ContainsGbk(content, KIND_ROWS[i].marker)) {
            return KindLabels()[i];
        }
    }
    if (!short_link_host.empty() && platform::ContainsGbk(content, LINE_BREAK_MARKER)) {
        const std::string link = std::string(PLAIN_HTTP) + std::string(short_link_host);
        if (platform::ContainsGbk(content, link)) {
            return Location(content);
        }
    }
    return std::string(content);
}

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
    if (parts.connection.load() != protocol::STATE_ONLINE) {
        return;
    }
    const std::string from = protocol::ExtractBetween(item, FROM_MARKER, TOKEN_END);
    const std::string to = protocol::ExtractBetween(item, TO_MARKER, TOKEN_END);
    // Content is a JSON string: cut at its real end and decoded; "<br/>" stays as sent.
    const std::string raw_content = protocol::ExtractJsonString(item, CONTENT_MARKER);
    if (raw_content.empty()) {
        return;
    }
    const std::string content =
        protocol::StripSpanTags(ClassifyContent(raw_content, parts.link.profile.short_link_host));

    const std::shared_ptr<const config::Settings> settings = parts.settings.Get();
    if (settings->显示消息) {
        jobs::PostJob(parts.queue, JOB_LOG_ENTRY, from, to, content);
    }
    // Written on another device of the own account: learn the partner, never answer.
    const std::shared_ptr<const protocol::ProtocolState> state = parts.sessions.Snapshot();
    if (from == state->own.UserName) {
        contacts::EnsureContactKnown(parts.link, *state, parts.connection, parts.contacts,
                                     parts.queue, parts.lists, to);
        return;
    }
    if (settings->启用回复) {
        DecideReply(parts.replies, *settings, parts.queue, from, content);
    }
}

void DecideReply(const ReplySources& sources, const config::Settings& settings,
                 jobs::JobQueue& queue, std::string_view from_user_name, std::string_view content) {
    if (!settings.启用回复 || from_user_name.empty()) {
        return;
    }
    const std::string& account_dir = sources.account_dir;
    const std::string uin =
        account_dir.empty()
            ? std::string()
            : platform::ReadIniItem(config::UinFilePath(account_dir), from_user_name, "Uin");
    if (IsInCommaList(settings.屏蔽uin, uin)) {
        return;
    }
    const ChatParts parts = SplitChat(from_user_name, content);
    const ChatMessage message{parts.content, parts.chat_type, from_user_name, parts.group_sender};
    std::string reply = RunReplyChain(sources, settings, message);
    if (reply == NO_REPLY) {
        return;
    }
    if (reply.empty()) {
        reply =
            sources.knowledge.LookupReply(parts.content, parts.chat_type, settings, sources.clock);
    }
    // The marker suppresses a reply wherever it comes from; it is never sent as text.
    if (!reply.empty() && reply != NO_REPLY) {
        jobs::PostJob(queue, JOB_SEND_TEXT, std::string(from_user_name), std::move(reply));
    }
}

}  // namespace zelmo::messages
