#pragma once

#include <string>
#include <string_view>

#include "plugins/PluginHost.h"
#include "protocol/ChatMessage.h"

namespace zelmo::plugins {

// Offers the message to the enabled plugin entries in table order; the first non-empty
// answer, or empty. Only entries that want the account receive `account` (the session's
// cookie text). Worker threads; reads one snapshot of the table, holds no lock around plugin
// calls.
std::string DispatchToPlugins(const PluginHost& plugins, std::string_view account_dir,
                              std::string_view account, const protocol::ChatMessage& message);

}  // namespace zelmo::plugins
