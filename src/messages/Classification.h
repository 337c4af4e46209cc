#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "messages/ReceivedMessage.h"

namespace zelmo::messages {

// Length of a group member's "@<UserName>:<br/>" at the start of a content (a UserName is
// "@" and letters or digits); 0 when there is none.
std::size_t GroupMemberPrefixLength(std::string_view content);

// The bracketed label of a media content, "[地理位置]" and the place of a location, or the
// content itself (GBK), by the content's markers alone; a group member's "@<UserName>:<br/>"
// in front stays in front of the label. short_link_host names the service's URL shortener
// (from the service profile); without one no content is a location.
std::string ClassifyContent(std::string_view content, std::string_view short_link_host);

// Which reply sources a received message may reach.
enum class Answering {
    Chain,            // every source: function list, group events, learning, plugins, base
    GroupEventsOnly,  // a system notice: only a group join, invitation or removal is answered
    Never,            // recalls, friend requests, status notices: logged, never answered
};

struct Classified {
    std::string content;  // what the chain and the log get: a label, or the content
    Answering answering = Answering::Chain;
    bool typed_text = false;  // a text a person typed: no label, no location
};

// Classifies by the message object's MsgType (with AppMsgType and SubMsgType) first; texts
// and kinds it does not know fall back on the content markers (ClassifyContent). Labels
// keep a group member's prefix, so the chain and the log still know who sent them.
Classified ClassifyMessage(const ReceivedMessage& message, std::string_view short_link_host);

}  // namespace zelmo::messages
