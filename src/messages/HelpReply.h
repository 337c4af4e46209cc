#pragma once

#include <string>
#include <string_view>

#include "config/Settings.h"
#include "messages/LangTemplates.h"
#include "plugins/PluginHost.h"

namespace zelmo::messages {

// "[mzname]", the templates' name for the robot, becomes the robot's name (letter case
// ignored, as "[mkname]" is when a text is sent).
std::string NameTheRobot(std::string_view text, const config::Settings& settings);

// The function-list reply for a chat type: the head, the learning command when learning
// is on for that chat type, then one line per enabled, listed plugin entry; the robot is
// named (NameTheRobot).
std::string BuildHelpReply(const LangTemplates& templates, const config::Settings& settings,
                           const plugins::PluginHost& plugins, int chat_type);

}  // namespace zelmo::messages
