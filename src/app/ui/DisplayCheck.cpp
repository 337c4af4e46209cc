#include "app/ui/DisplayCheck.h"

#include <xcb/xcb.h>

#include <cstdlib>

namespace zelmo::app {

std::string NoDisplayReason(std::string_view platform) {
    if (!platform.empty() && !platform.starts_with("xcb")) {
        return {};
    }
    // A Wayland session Qt may use without X.
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    if (platform.empty() && wayland != nullptr && *wayland != '\0') {
        return {};
    }
    const char* display = std::getenv("DISPLAY");
    if (display == nullptr || *display == '\0') {
        return "DISPLAY is not set";
    }
    xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
    const bool failed = xcb_connection_has_error(connection) != 0;
    xcb_disconnect(connection);
    return failed ? "cannot open display " + std::string(display) : std::string();
}

}  // namespace zelmo::app
