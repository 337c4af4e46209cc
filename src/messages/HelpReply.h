#pragma once

#include <string>

#include "config/Settings.h"
#include "messages/LangTemplates.h"
#include "plugins/PluginHost.h"

namespace zelmo::messages {

// The function-list reply for a chat type: the head, the learning command when learning
// is on for that chat type, then one line per enabled, listed plugin entry.
std::string BuildHelpReply(const LangTemplates& templates, const config::Settings& settings,
                           const plugins::PluginHost& plugins, int chat_type);

}  // namespace zelmo::messages
