#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "plugins/PluginHost.h"
#include "plugins/PluginPort.h"

namespace zelmo::plugins {

// The plugin libraries in the plugin folder.
inline constexpr std::string_view PLUGIN_PATTERN = "*.mzp.so";

// A library's file name (file-system bytes, normally UTF-8) as GBK text for the screen.
std::string DisplayFileName(std::string_view file_name);

// The question before an uninstall: "您真的要卸载插件"<name>"吗？" (GBK).
std::string UninstallQuestion(std::string_view name);

// Removes the library of record `index` (0-based) with its enable file, then rescans and
// reloads the flags. Failed deletions are not reported; a library still present is found
// again. Out-of-range indexes do nothing. UI thread.
void UninstallPlugin(PluginHost& plugins, std::string_view account_dir, PluginPort& screen,
                     std::size_t index);

}  // namespace zelmo::plugins
