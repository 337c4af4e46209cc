#include "messages/Classification.h"

#include <algorithm>
#include <array>
#include <cctype>

#include "platform/GbkLiteral.h"
#include "platform/GbkText.h"
#include "protocol/TextHelpers.h"

namespace zelmo::messages {

namespace {

constexpr std::string_view LINE_BREAK_MARKER = ":<br/>";
constexpr std::string_view PLAIN_HTTP = "http://";
constexpr std::string_view CATEGORY_MARKER = "&lt;category";
constexpr std::string_view RECALL_TEXT_START = "&lt;![CDATA[";
constexpr std::string_view RECALL_TEXT_END = "]]&gt;";

// The service's message types.
enum MsgType : int {
    MSG_TEXT = 1,
    MSG_PICTURE = 3,
    MSG_VOICE = 34,
    MSG_FRIEND_REQUEST = 37,
    MSG_POSSIBLE_FRIEND = 40,
    MSG_CARD = 42,
    MSG_VIDEO = 43,
    MSG_STICKER = 47,
    MSG_LOCATION = 48,
    MSG_APP = 49,
    MSG_STATUS_NOTICE = 51,
    MSG_SHORT_VIDEO = 62,
    MSG_SYSTEM_NOTICE = 9999,
    MSG_SYSTEM = 10000,
    MSG_RECALL = 10002,
};
// A text's SubMsgType when it is a location.
constexpr int SUB_LOCATION = 48;

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
    {CATEGORY_MARKER, "[图文]"},
    {"&lt;?xml version", "[名片]"},
}};

static_assert(std::all_of(KIND_ROWS.begin(), KIND_ROWS.end(),
                          [](const KindRow& row) { return row.marker.starts_with('&'); }));

// The labels in GBK, made once.
struct Labels {
    std::array<std::string, KIND_ROWS.size()> rows;
    std::string session = platform::Gbk("[会话]");
    std::string picture = platform::Gbk("[图片]");
    std::string sticker = platform::Gbk("[表情]");
    std::string voice = platform::Gbk("[语音]");
    std::string video = platform::Gbk("[视频]");
    std::string app = platform::Gbk("[应用消息]");
    std::string article = platform::Gbk("[图文]");
    std::string card = platform::Gbk("[名片]");
    std::string location = platform::Gbk("[地理位置]");
    std::string friend_request = platform::Gbk("[好友请求]");
    std::string recall = platform::Gbk("[撤回]");

    Labels() {
        for (std::size_t i = 0; i < KIND_ROWS.size(); ++i) {
            rows[i] = platform::Gbk(KIND_ROWS[i].label_utf8);
        }
    }
};

const Labels& Texts() {
    static const Labels labels;
    return labels;
}

// Where a location's place follows a group member's prefix, the prefix counts only when
// a second ":<br/>" ends the place.
std::size_t LocationPrefixLength(std::string_view content) {
    const std::size_t prefix = GroupMemberPrefixLength(content);
    if (prefix != 0 && !platform::ContainsGbk(content.substr(prefix), LINE_BREAK_MARKER)) {
        return 0;
    }
    return prefix;
}

// "[地理位置]" and the place: the text before the first ":<br/>" after the member's prefix,
// which stays in front.
std::string Location(std::string_view content) {
    const std::size_t prefix = LocationPrefixLength(content);
    return std::string(content.substr(0, prefix)) + Texts().location +
           protocol::TextBefore(content.substr(prefix), LINE_BREAK_MARKER);
}

Classified Labelled(std::string_view prefix, const std::string& label,
                    Answering answering = Answering::Chain) {
    return {std::string(prefix) + label, answering};
}

// A text that names a place: MsgType 1 with the map's Url, and SubMsgType 48 where the
// item carries it.
bool IsLocationText(const ReceivedMessage& message, std::string_view rest) {
    return !message.Url.empty() && (message.SubMsgType == SUB_LOCATION || message.SubMsgType < 0) &&
           platform::ContainsGbk(rest, LINE_BREAK_MARKER);
}

// What the recall notice itself says ("\"Bob\" 撤回了一条消息").
std::string RecallText(std::string_view rest) {
    std::string said = protocol::ExtractBetween(rest, RECALL_TEXT_START, RECALL_TEXT_END);
    return said.empty() ? Texts().recall : said;
}

}  // namespace

std::size_t GroupMemberPrefixLength(std::string_view content) {
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

std::string ClassifyContent(std::string_view content, std::string_view short_link_host) {
    const std::size_t prefix = GroupMemberPrefixLength(content);
    const std::string_view rest = content.substr(prefix);
    // Every marker starts with an escaped "<": a typed text, mostly without "&", is told by
    // one look ("&" is never the second byte of a GBK character).
    if (rest.find('&') != std::string_view::npos) {
        for (std::size_t i = 0; i < KIND_ROWS.size(); ++i) {
            if (platform::ContainsGbk(rest, KIND_ROWS[i].marker)) {
                return std::string(content.substr(0, prefix)) + Texts().rows[i];
            }
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

Classified ClassifyMessage(const ReceivedMessage& message, std::string_view short_link_host) {
    const Labels& labels = Texts();
    const std::string_view content = message.Content;
    const std::size_t prefix_length = GroupMemberPrefixLength(content);
    const std::string_view prefix = content.substr(0, prefix_length);
    const std::string_view rest = content.substr(prefix_length);
    switch (message.MsgType) {
        case MSG_PICTURE:
            return Labelled(prefix, labels.picture);
        case MSG_VOICE:
            return Labelled(prefix, labels.voice);
        case MSG_VIDEO:
        case MSG_SHORT_VIDEO:
            return Labelled(prefix, labels.video);
        case MSG_STICKER:
            return Labelled(prefix, labels.sticker);
        case MSG_CARD:
            return Labelled(prefix, labels.card);
        case MSG_APP:
            return Labelled(
                prefix, platform::ContainsGbk(rest, CATEGORY_MARKER) ? labels.article : labels.app);
        case MSG_LOCATION:
            return {Location(content), Answering::Chain};
        case MSG_FRIEND_REQUEST:
        case MSG_POSSIBLE_FRIEND:
            return {labels.friend_request + message.RecommendNickName, Answering::Never};
        case MSG_STATUS_NOTICE:
            return {labels.session, Answering::Never};
        case MSG_RECALL:
            return {std::string(prefix) + RecallText(rest), Answering::Never};
        case MSG_SYSTEM_NOTICE:
            return {std::string(content), Answering::Never};
        case MSG_SYSTEM:
            return {std::string(content), Answering::GroupEventsOnly};
        case MSG_TEXT: {
            if (IsLocationText(message, content.substr(LocationPrefixLength(content)))) {
                return {Location(content), Answering::Chain};
            }
            std::string text = ClassifyContent(content, short_link_host);
            const bool typed = text == content;
            return {std::move(text), Answering::Chain, typed};
        }
        default:
            break;
    }
    return {ClassifyContent(content, short_link_host), Answering::Chain};
}

}  // namespace zelmo::messages
