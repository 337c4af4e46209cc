#pragma once

#include <string>
#include <string_view>

namespace zelmo::app {
class Robot;
}

namespace zelmo::messages {

// The pause after every send, inside SendLock.
inline constexpr int SEND_PAUSE_MS = 500;

// Sends one text to a contact or group: expands it, then posts it and pauses 500 ms while
// holding the robot's SendLock, so every send of the program leaves one at a time. The
// answer's "Ret" text (empty on failure). Any thread but the UI thread.
std::string SendText(app::Robot& robot, std::string_view to, std::string_view text);

// Every "[mkname]" becomes the robot's name, then every "[enter]" CR LF, letter case
// ignored in both; nothing else is expanded.
std::string ExpandOutgoing(std::string_view text, std::string_view robot_name);

// The webwxsendmsg request alone, without lock or pause: the text (GBK) goes out
// JSON-escaped as the message content. The answer's "Ret" text; empty when the request
// failed or the answer holds none.
std::string PostSendMsg(app::Robot& robot, std::string_view to, std::string_view text);

}  // namespace zelmo::messages
