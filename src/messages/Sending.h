#pragma once

#include <string>
#include <string_view>

namespace zelmo::app {
class Robot;
}

namespace zelmo::messages {

// Sends one text to a contact or group: expands it, then posts it and pauses 500 ms while
// holding the robot's SendLock, so every send of the program leaves one at a time. The
// answer's "Ret" text (empty on failure). Any thread but the UI thread.
std::string SendText(app::Robot& robot, std::string_view to, std::string_view text);

}  // namespace zelmo::messages
