#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "onebot/Retcodes.h"
#include "platform/Json.h"

namespace zelmo::onebot {

// What an action answers: `data` is null when it has nothing to give, `message` (UTF-8) is
// empty when it went well.
struct ActionResult {
    int retcode = OK;
    platform::Json data;
    std::string message;
};

ActionResult Ok(platform::Json data = {});
ActionResult Failed(int retcode, std::string message);

// Takes an action's result, once, on whatever thread the action ends.
using ActionDone = std::function<void(ActionResult result)>;

// Where a request came from: some actions belong to one transport only.
enum class Transport { Http, WebSocket, Webhook };

// One action request as the standard shapes it.
struct ActionRequest {
    std::string action;
    platform::Json params;               // an object; empty when the request had none
    std::optional<platform::Json> echo;  // given back unchanged
    std::optional<platform::Json> self;  // the account the request names, if any
};

// Reads a request text. Nothing when it is no JSON object with a string "action" and, when
// present, an object "params" and "self"; `echo` is filled as far as it could be read, so
// even a refused request gets its echo back.
std::optional<ActionRequest> ReadActionRequest(std::string_view text,
                                               std::optional<platform::Json>& echo);

// The response text: status, retcode, data, message and the request's echo when it had one.
std::string ResponseText(const ActionResult& result, const std::optional<platform::Json>& echo);

// A parameter that must be a non-empty string; nothing (and `error` set) otherwise.
std::optional<std::string> RequiredString(const platform::Json& params, std::string_view name,
                                          ActionResult& error);

}  // namespace zelmo::onebot
