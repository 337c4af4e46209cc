#pragma once

#include <string>

#include "messages/ReplyChain.h"

namespace zelmo::app {
class Robot;
}

namespace zelmo::plugins {

// Offers the message to the enabled plugin entries in table order; the first non-empty
// answer, or empty. Only entries that want the account receive the session's cookie text.
// Worker threads; reads one snapshot of the table, holds no lock around plugin calls.
std::string DispatchToPlugins(app::Robot& robot, const messages::ChatMessage& message);

}  // namespace zelmo::plugins
