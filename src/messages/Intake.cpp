#include "messages/Intake.h"

namespace zelmo::messages {

std::string ClassifyContent(std::string_view content, std::string_view) {
    return std::string(content);
}
bool IsInCommaList(std::string_view, std::string_view) {
    return false;
}
void HandleIncomingMessage(app::Robot&, std::string_view) {}
void DecideReply(app::Robot&, std::string_view, std::string_view) {}

}  // namespace zelmo::messages
