#pragma once

#include <string>

namespace zelmo::ai {

// One message of a chat as the model hears it (GBK texts).
struct ChatTurn {
    std::string id;           // the message's MsgId; empty when unknown
    bool from_robot = false;  // said by the robot (the own account), not by a person
    std::string speaker;      // in groups, the person's name; empty otherwise
    std::string text;

    bool operator==(const ChatTurn&) const = default;
};

}  // namespace zelmo::ai
