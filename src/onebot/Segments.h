#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "contacts/ContactStore.h"
#include "onebot/Action.h"
#include "onebot/ContactIds.h"
#include "onebot/MessageMemory.h"
#include "platform/Json.h"

namespace zelmo::onebot {

struct Segment {
    std::string type;
    platform::Json data;  // an object
};

// The `message` of an action: a plain string (one text segment), one segment, or a list of
// them. Nothing, with `error` set, for another type (BAD_PARAM), a segment without a string
// type or an object data, or without the string its type needs (BAD_SEGMENT_DATA), or a type
// the robot cannot send (UNSUPPORTED_SEGMENT: voice among them, which the web service does
// not take).
std::optional<std::vector<Segment>> ReadSegments(const platform::Json& message,
                                                 ActionResult& error);

// What the text of a message is made with: the chat it goes to (a group's record when it is
// one) and the messages a reply may quote.
struct ComposeContext {
    const contacts::ContactStore& contacts;
    const ContactIds& ids;
    const MessageMemory& memory;
    std::optional<contacts::ContactRecord> group;  // set when the chat is a group
};

// One send of a message: a text, or a file kept under a file_id.
struct MessagePart {
    std::string text;     // UTF-8; empty for a file
    std::string type;     // a file's segment type: "image", "video" or "file"; empty for a text
    std::string file_id;  // a file's
};

// The sends the segments make, in their order: the segments between two files as one text
// (texts as they are, a mention as "@", the name the chat knows the person by and the
// service's separator U+2005, everyone as "@所有人" and the separator, a reply as the quoted
// message in front), each file as its own. Nothing, with `error` set, for a mention of
// someone the chat does not know, a reply to an unknown message, or a message that makes
// no send at all.
std::optional<std::vector<MessagePart>> ComposeParts(const std::vector<Segment>& segments,
                                                     const ComposeContext& context,
                                                     ActionResult& error);

// The composed text as the robot's sender takes it (GBK), the service's mention separator
// in the form the sender carries to the service (platform::MENTION_SPACE_GBK).
std::string RobotText(std::string_view utf8);

}  // namespace zelmo::onebot
