#include "messages/GroupEvents.h"

namespace zelmo::messages {

std::optional<std::string> GroupEventReply(const config::Settings&, std::string_view) {
    return std::nullopt;
}

}  // namespace zelmo::messages
