#pragma once

#include <string_view>

namespace zelmo::config {

// "最小化提示" in section "其它" of the settings file (path): whether the one-time tray tip
// at the first minimise was shown already. Absent means not yet.
bool MinimiseNoticeShown(std::string_view path);

// Records that the tip was shown (writes "1"), keeping every other line of the file. False
// when the file could not be read or written.
bool SetMinimiseNoticeShown(std::string_view path);

}  // namespace zelmo::config
