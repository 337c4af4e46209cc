#include "messages/ReplyChain.h"

namespace zelmo::messages {

std::string RunReplyChain(app::Robot&, const ChatMessage&) {
    return {};
}

}  // namespace zelmo::messages
