#pragma once

#include <string_view>

namespace zelmo::app {

class Robot;

// Classifies one message by direction and appends its row to the message log.
void LogMessage(Robot& robot, std::string_view from, std::string_view to, std::string_view content);

}  // namespace zelmo::app
