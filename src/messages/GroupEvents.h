#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "config/Settings.h"

namespace zelmo::messages {

// The reply to a group join, invitation or removal notice. Nothing when the content holds
// none of the three system phrases; otherwise the reply, which may be empty (the chain
// ends there either way).
std::optional<std::string> GroupEventReply(const config::Settings& settings,
                                           std::string_view content);

}  // namespace zelmo::messages
