#include "plugins/PluginCall.h"

#include <string>

#include "platform/SharedLibrary.h"

namespace zelmo::plugins {

namespace {

// A C++ exception thrown inside a plugin unwinds through the C boundary into these frames
// and is caught here; faults that are not exceptions (a crash, a hang) cannot be caught
// in-process.
const char* GuardedCall(MessageHandler handler, const PluginArguments& arguments) {
    const std::string message(arguments.message);
    const std::string kind(arguments.kind);
    const std::string from(arguments.from);
    const std::string sender(arguments.sender);
    const std::string account(arguments.account);
    try {
        return handler(message.c_str(), kind.c_str(), from.c_str(),
                       sender.empty() ? nullptr : sender.c_str(), account.c_str());
    } catch (...) {
        return nullptr;
    }
}

}  // namespace

std::string CallPlugin(std::string_view library_path, std::string_view function,
                       const PluginArguments& arguments) {
    platform::SharedLibrary library;
    if (!library.Open(library_path)) {
        return {};
    }
    auto handler = reinterpret_cast<MessageHandler>(library.Symbol(function));
    if (handler == nullptr) {
        return {};
    }
    const char* answer = GuardedCall(handler, arguments);
    // Copied while this load still holds the library, which `library` releases on return.
    return answer != nullptr ? std::string(answer) : std::string();
}

std::optional<std::string> ReadDescription(platform::SharedLibrary& library) {
    auto info = reinterpret_cast<InfoFunction>(library.Symbol(INFO_EXPORT));
    if (info == nullptr) {
        return std::nullopt;
    }
    const char* text = nullptr;
    try {
        text = info();
    } catch (...) {
        return std::nullopt;
    }
    if (text == nullptr) {
        return std::nullopt;
    }
    return std::string(text);
}

}  // namespace zelmo::plugins
