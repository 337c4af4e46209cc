#pragma once

namespace zelmo::app {

// Shown in the main window's caption before the connection state.
constexpr const char* VERSION_TEXT = "Zelmo 0.1";

}  // namespace zelmo::app
