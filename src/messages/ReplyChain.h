#pragma once

#include <string>

#include "config/Settings.h"
#include "messages/ReplySources.h"
#include "protocol/ChatMessage.h"

namespace zelmo::messages {

using protocol::ChatMessage;

// Function list, group events, learning and plugins, in that order: the first source that
// answers ends the chain with its answer (a group event may answer with an empty text).
// Empty when none did; "[noreply]" suppresses every reply.
std::string RunReplyChain(const ReplySources& sources, const config::Settings& settings,
                          const ChatMessage& message);

}  // namespace zelmo::messages
