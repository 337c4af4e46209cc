#include "messages/HelpReply.h"

namespace zelmo::messages {

std::string BuildHelpReply(app::Robot&, int) {
    return {};
}

}  // namespace zelmo::messages
