#include "onebot/Action.h"

namespace zelmo::onebot {

using platform::Json;

ActionResult Ok(Json data) {
    return ActionResult{OK, std::move(data), {}};
}

ActionResult Failed(int retcode, std::string message) {
    return ActionResult{retcode, Json(), std::move(message)};
}

std::optional<ActionRequest> ReadActionRequest(std::string_view text, std::optional<Json>& echo) {
    std::optional<Json> document = platform::ParseJson(text);
    if (!document || !document->IsObject()) {
        return std::nullopt;
    }
    if (const Json* given = document->Find("echo")) {
        echo = *given;
    }
    const Json* action = document->Find("action");
    if (action == nullptr || !action->IsString()) {
        return std::nullopt;
    }
    ActionRequest request;
    request.action = action->AsString();
    request.echo = echo;
    request.params = Json::MakeObject();
    if (const Json* params = document->Find("params"); params != nullptr && !params->IsNull()) {
        if (!params->IsObject()) {
            return std::nullopt;
        }
        request.params = *params;
    }
    if (const Json* self = document->Find("self"); self != nullptr && !self->IsNull()) {
        if (!self->IsObject()) {
            return std::nullopt;
        }
        request.self = *self;
    }
    return request;
}

std::string ResponseText(const ActionResult& result, const std::optional<Json>& echo) {
    // Written piece by piece: a long list in `data` is not copied into a whole document.
    std::string text =
        result.retcode == OK ? R"({"status":"ok","retcode":)" : R"({"status":"failed","retcode":)";
    text += std::to_string(result.retcode);
    text += R"(,"data":)";
    platform::AppendJson(text, result.data);
    text += R"(,"message":)";
    platform::AppendJsonString(text, result.message);
    if (echo) {
        text += R"(,"echo":)";
        platform::AppendJson(text, *echo);
    }
    text += '}';
    return text;
}

std::optional<std::string> RequiredString(const Json& params, std::string_view name,
                                          ActionResult& error) {
    const Json* value = params.Find(name);
    if (value == nullptr || !value->IsString() || value->AsString().empty()) {
        error = Failed(BAD_PARAM, std::string(name) + " must be a non-empty string");
        return std::nullopt;
    }
    return value->AsString();
}

}  // namespace zelmo::onebot
