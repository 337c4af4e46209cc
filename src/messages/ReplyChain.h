#pragma once

#include <string>
#include <string_view>

#include "config/Settings.h"

namespace zelmo::app {
class Robot;
}

namespace zelmo::messages {

// The message as the reply sources see it (GBK texts).
struct ChatMessage {
    std::string_view content;       // for groups, the part after the sender prefix
    int chat_type = 0;              // ChatType
    std::string_view from;          // the friend's or the group's UserName
    std::string_view group_sender;  // the member who wrote it; empty in friend chats
};

// Function list, group events, learning and plugins, in that order: the first source that
// answers ends the chain with its answer (a group event may answer with an empty text).
// Empty when none did; "[noreply]" suppresses every reply. The overload without settings
// takes a fresh snapshot.
std::string RunReplyChain(app::Robot& robot, const config::Settings& settings,
                          const ChatMessage& message);
std::string RunReplyChain(app::Robot& robot, const ChatMessage& message);

}  // namespace zelmo::messages
