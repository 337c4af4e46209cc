#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "config/Settings.h"

namespace zelmo::config {

// The settings file read again while the robot runs. Unlike the start, which falls back to
// the defaults, a file that cannot be read, or that was cut off while it was written (empty,
// or its last line broken off), gives nothing: the settings in force stay, and the shield
// list with them. A missing file reads as the defaults, as at the start.
struct SettingsReload {
    std::optional<SettingsFile> file;
    std::string problem;  // why nothing was read (UTF-8); empty when `file` is set
};
SettingsReload ReloadSettingsFile(std::string_view path);

// Why a settings text (GBK) looks cut off while it was written; empty when it looks whole:
// it is not empty and ends with a line break, or its last line is a whole section header,
// item or comment that ends on a whole character.
std::string CutOffReason(std::string_view text);

}  // namespace zelmo::config
