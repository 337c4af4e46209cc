#pragma once

#include <string>
#include <string_view>

namespace zelmo::app {

// Why the desktop program would find no display, before Qt aborts on it: empty when the
// X display opens (or a platform other than xcb is asked for, which Qt checks itself).
// `platform` is the -platform argument or QT_QPA_PLATFORM (empty when neither is given).
std::string NoDisplayReason(std::string_view platform);

}  // namespace zelmo::app
