#include "onebot/Segments.h"

#include <array>

#include "onebot/ContactViews.h"
#include "platform/Encoding.h"

namespace zelmo::onebot {

using platform::Json;

namespace {

constexpr std::string_view MENTION_SEPARATOR = "\xE2\x80\x85";  // U+2005
constexpr std::string_view QUOTE_RULE = "\n- - - - - - - - - - - - - - -\n";
// A quoted message is cut after so many characters.
constexpr std::size_t QUOTE_CHARACTERS = 60;

constexpr std::array<std::string_view, 7> SENDABLE = {"text",  "mention", "mention_all", "reply",
                                                      "image", "video",   "file"};

bool IsFileSegment(std::string_view type) {
    return type == "image" || type == "video" || type == "file";
}

bool IsSendable(std::string_view type) {
    for (std::string_view sendable : SENDABLE) {
        if (type == sendable) {
            return true;
        }
    }
    return false;
}

std::optional<Segment> ReadSegment(const Json& value, ActionResult& error) {
    const Json* type = value.Find("type");
    const Json* data = value.Find("data");
    if (!value.IsObject() || type == nullptr || !type->IsString() || data == nullptr ||
        !data->IsObject()) {
        error = Failed(BAD_SEGMENT_DATA,
                       "a segment is an object with a string type and an "
                       "object data");
        return std::nullopt;
    }
    const std::string& name = type->AsString();
    if (!IsSendable(name)) {
        error = Failed(UNSUPPORTED_SEGMENT, "segments of type " + name + " cannot be sent");
        return std::nullopt;
    }
    auto require = [&](std::string_view field) {
        const Json* text = data->Find(field);
        if (text == nullptr || !text->IsString()) {
            error = Failed(BAD_SEGMENT_DATA,
                           "a " + name + " segment needs a string " + std::string(field));
            return false;
        }
        return true;
    };
    if (name == "text" && !require("text")) {
        return std::nullopt;
    }
    if (name == "mention" && !require("user_id")) {
        return std::nullopt;
    }
    if (name == "reply" && !require("message_id")) {
        return std::nullopt;
    }
    if (IsFileSegment(name) && !require("file_id")) {
        return std::nullopt;
    }
    return Segment{name, *data};
}

// The first `count` characters of a UTF-8 text, with an ellipsis when there were more.
std::string Shortened(std::string_view text, std::size_t count) {
    std::size_t characters = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) {
            if (characters == count) {
                return std::string(text.substr(0, i)) + "…";
            }
            ++characters;
        }
    }
    return std::string(text);
}

}  // namespace

std::optional<std::vector<Segment>> ReadSegments(const Json& message, ActionResult& error) {
    std::vector<Segment> segments;
    if (message.IsString()) {
        segments.push_back(Segment{"text", Json::MakeObject().Set("text", message.AsString())});
        return segments;
    }
    if (message.IsObject()) {
        std::optional<Segment> segment = ReadSegment(message, error);
        if (!segment) {
            return std::nullopt;
        }
        segments.push_back(std::move(*segment));
        return segments;
    }
    if (!message.IsArray()) {
        error = Failed(BAD_PARAM, "message must be a string, a segment or a list of segments");
        return std::nullopt;
    }
    for (const Json& item : message.Items()) {
        std::optional<Segment> segment = ReadSegment(item, error);
        if (!segment) {
            return std::nullopt;
        }
        segments.push_back(std::move(*segment));
    }
    return segments;
}

std::optional<std::vector<MessagePart>> ComposeParts(const std::vector<Segment>& segments,
                                                     const ComposeContext& context,
                                                     ActionResult& error) {
    std::vector<MessagePart> parts;
    std::string text;
    for (const Segment& segment : segments) {
        if (IsFileSegment(segment.type)) {
            if (!text.empty()) {
                parts.push_back(MessagePart{std::move(text), {}, {}});
                text.clear();
            }
            parts.push_back(
                MessagePart{{}, segment.type, segment.data.Find("file_id")->AsString()});
        } else if (segment.type == "text") {
            text += segment.data.Find("text")->AsString();
        } else if (segment.type == "mention_all") {
            text += "@所有人";
            text += MENTION_SEPARATOR;
        } else if (segment.type == "mention") {
            const std::string& id = segment.data.Find("user_id")->AsString();
            const std::string user = context.ids.UserNameOf(id);
            std::string name;
            if (context.group) {
                name = GroupMemberName(context.contacts, *context.group, user);
            } else if (const auto contact = FindContact(context.contacts, user)) {
                name = contact->NickName;
            }
            if (name.empty()) {
                error = Failed(UNKNOWN_CONTACT, "nobody in this chat has the user_id " + id);
                return std::nullopt;
            }
            text += "@" + platform::GbkToUtf8(name);
            text += MENTION_SEPARATOR;
        } else if (segment.type == "reply") {
            const std::string& id = segment.data.Find("message_id")->AsString();
            const std::optional<RememberedMessage> quoted = context.memory.Find(id);
            if (!quoted) {
                error = Failed(UNKNOWN_MESSAGE, "no recent message has the message_id " + id);
                return std::nullopt;
            }
            text += "「" + quoted->sender_name + "：" + Shortened(quoted->text, QUOTE_CHARACTERS) +
                    "」";
            text += QUOTE_RULE;
        }
    }
    if (!text.empty()) {
        parts.push_back(MessagePart{std::move(text), {}, {}});
    }
    if (parts.empty()) {
        error = Failed(BAD_PARAM, "the message has nothing to send");
        return std::nullopt;
    }
    return parts;
}

std::string RobotText(std::string_view utf8) {
    std::string text;
    text.reserve(utf8.size());
    std::size_t start = 0;
    for (;;) {
        const std::size_t at = utf8.find(MENTION_SEPARATOR, start);
        text += platform::Utf8ToGbk(utf8.substr(start, at - start));
        if (at == std::string_view::npos) {
            break;
        }
        text += platform::MENTION_SPACE_GBK;
        start = at + MENTION_SEPARATOR.size();
    }
    return text;
}

}  // namespace zelmo::onebot
