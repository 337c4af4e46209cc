#pragma once

#include <string>

namespace zelmo::app {
class Robot;
}

namespace zelmo::messages {

// The function-list reply for a chat type: the head, the learning command when learning
// is on for that chat type, then one line per enabled, listed plugin entry.
std::string BuildHelpReply(app::Robot& robot, int chat_type);

}  // namespace zelmo::messages
