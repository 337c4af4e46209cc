#pragma once

#include <string_view>

namespace zelmo::protocol {

enum ChatType : int { CHAT_FRIEND = 1, CHAT_GROUP = 2 };

// A received message as the reply sources (the robot's own and the plugins) see it (GBK).
struct ChatMessage {
    std::string_view content;       // for groups, the part after the sender prefix
    int chat_type = 0;              // ChatType
    std::string_view from;          // the friend's or the group's UserName
    std::string_view group_sender;  // the member who wrote it; empty in friend chats
    std::string_view item;          // the AddMsgList item as the service sent it; may be empty
};

}  // namespace zelmo::protocol
