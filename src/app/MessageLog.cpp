#include "app/MessageLog.h"

namespace zelmo::app {

void LogMessage(Robot&, std::string_view, std::string_view, std::string_view) {}

}  // namespace zelmo::app
