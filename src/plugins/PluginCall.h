#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace zelmo::platform {
class SharedLibrary;
}

namespace zelmo::plugins {

// The exports' C types; plugin-sdk/zelmo_plugin.h declares the same for plugin authors.
extern "C" {
using InfoFunction = const char* (*)();
using MessageHandler = const char* (*)(const char* message, const char* kind, const char* from,
                                       const char* sender, const char* account);
}

inline constexpr std::string_view INFO_EXPORT = "info";
inline constexpr std::string_view INIT_EXPORT = "zelmo_plugin_init";

// The five texts a message handler receives (GBK). An empty sender reaches the plugin as a
// null pointer, every other text as a (possibly empty) NUL-terminated text.
struct PluginArguments {
    std::string_view message;
    std::string_view kind;
    std::string_view from;
    std::string_view sender;
    std::string_view account;
};

// Loads the library at `library_path`, calls its export `function` and returns a copy of
// the answer, releasing this load once (the scan's own load keeps the library and its
// state). Empty when the library or export is missing, the answer is null or empty, or the
// export threw a C++ exception. Any thread; no lock is held around the call.
std::string CallPlugin(std::string_view library_path, std::string_view function,
                       const PluginArguments& arguments);

// Calls the library's "info" export and copies the description; nullopt when the export is
// missing, answers null or throws.
std::optional<std::string> ReadDescription(platform::SharedLibrary& library);

}  // namespace zelmo::plugins
