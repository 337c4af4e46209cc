#pragma once

#include <string_view>

#include "plugins/PluginTable.h"

namespace zelmo::plugins {

// Entries are separated by this line; each entry's ten lines by CR LF.
inline constexpr std::string_view ENTRY_SEPARATOR = "\r\n-----\r\n";
inline constexpr std::size_t ENTRY_LINES = 10;

// The accepted entries of an "info" description (GBK) as disabled records of the library
// `file_name`, in text order. An entry is accepted with exactly ten lines, non-empty name,
// version, author, introduction and function, and line 9 exactly "1" or "2"; others are
// skipped. A CR LF ending the whole text closes the last line instead of opening an
// eleventh.
PluginTable ParseDescription(std::string_view text, std::string_view file_name);

}  // namespace zelmo::plugins
