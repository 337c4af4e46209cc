#include "sim/ModelEndpoint.h"

#include <nlohmann/json.hpp>

#include "sim/SimulatorImpl.h"

namespace sim {
namespace {

using Json = nlohmann::json;

std::size_t CountChars(std::string_view utf8) {
    std::size_t count = 0;
    for (const char c : utf8) {
        count += (static_cast<unsigned char>(c) & 0xC0) != 0x80 ? 1 : 0;
    }
    return count;
}

// The request's fields; `valid` only for the shape the API asks for.
ModelCall ReadCall(const HttpRequest& request) {
    ModelCall call;
    call.body = request.body;
    call.authorization = HeaderValue(request.headers, "Authorization");
    call.content_type = HeaderValue(request.headers, "Content-Type");
    const Json root = Json::parse(request.body, nullptr, false);
    if (!root.is_object()) {
        return call;
    }
    const auto model = root.find("model");
    const auto messages = root.find("messages");
    if (const auto stream = root.find("stream"); stream != root.end()) {
        call.stream = stream->dump();
    }
    if (const auto max = root.find("max_tokens"); max != root.end() && max->is_number_integer()) {
        call.max_tokens = max->get<long long>();
    }
    if (model == root.end() || !model->is_string() || messages == root.end() ||
        !messages->is_array()) {
        return call;
    }
    call.model = model->get<std::string>();
    call.valid = true;
    for (const Json& message : *messages) {
        const auto role = message.find("role");
        const auto content = message.find("content");
        const bool whole = message.is_object() && role != message.end() && role->is_string() &&
                           content != message.end() && content->is_string();
        call.valid = call.valid && whole;
        if (whole) {
            call.messages.emplace_back(role->get<std::string>(), content->get<std::string>());
        }
    }
    return call;
}

std::string LastUserText(const ModelCall& call) {
    for (auto it = call.messages.rbegin(); it != call.messages.rend(); ++it) {
        if (it->first == "user") {
            return it->second;
        }
    }
    return {};
}

bool Matches(const ModelScript& script, const ModelCall& call) {
    return (script.model.empty() || script.model == call.model) &&
           (script.match.empty() || LastUserText(call).find(script.match) != std::string::npos);
}

// The error object the hosted services send for a status.
Json ErrorObject(int status, const std::string& model) {
    std::string message = "The server had an error while processing your request.";
    std::string type = "server_error";
    Json code = nullptr;
    switch (status) {
        case 400:
            message = "We could not parse the JSON body of your request.";
            type = "invalid_request_error";
            break;
        case 401:
            message = "Incorrect API key provided.";
            type = "invalid_request_error";
            code = "invalid_api_key";
            break;
        case 403:
            message = "You are not allowed to sample from this model.";
            type = "invalid_request_error";
            code = "permission_denied";
            break;
        case 404:
            message = "The model `" + model + "` does not exist or you do not have access to it.";
            type = "invalid_request_error";
            code = "model_not_found";
            break;
        case 429:
            message = "Rate limit reached for requests.";
            type = "requests";
            code = "rate_limit_exceeded";
            break;
        default:
            break;
    }
    return {{"error", {{"message", message}, {"type", type}, {"param", nullptr}, {"code", code}}}};
}

HttpResponse JsonResponse(int status, const Json& value) {
    HttpResponse response;
    response.status = status;
    response.headers.emplace_back("Content-Type", "application/json");
    response.body = value.dump(-1, ' ', false, Json::error_handler_t::replace);
    return response;
}

}  // namespace

bool ModelScriptFromJsonText(std::string_view json_text, ModelScript& script) {
    const Json root = Json::parse(json_text, nullptr, false);
    if (!root.is_object()) {
        return false;
    }
    try {
        script.match = root.value("match", script.match);
        script.model = root.value("model", script.model);
        script.status = root.value("status", script.status);
        if (const auto content = root.find("content"); content != root.end()) {
            script.null_content = content->is_null();
            script.content = script.null_content ? std::string() : content->get<std::string>();
        }
        script.refusal = root.value("refusal", script.refusal);
        script.body = root.value("body", script.body);
        script.content_type = root.value("content_type", script.content_type);
        script.delay_ms = root.value("delay_ms", script.delay_ms);
        script.retry_after_s = root.value("retry_after_s", script.retry_after_s);
        script.prompt_tokens = root.value("prompt_tokens", script.prompt_tokens);
        script.completion_tokens = root.value("completion_tokens", script.completion_tokens);
        script.finish_reason = root.value("finish_reason", script.finish_reason);
        script.times = root.value("times", script.times);
    } catch (const std::exception&) {
        return false;
    }
    return true;
}

HttpResponse Simulator::Impl::ChatCompletions(const HttpRequest& request) {
    ModelCall call = ReadCall(request);
    ModelScript script;
    bool scripted = false;
    std::size_t index = 0;
    std::uint64_t stalls_ended = 0;
    {
        std::lock_guard lock(mutex);
        call.at_ms = NowMs();
        if (call.valid) {
            for (auto it = model_scripts.begin(); it != model_scripts.end(); ++it) {
                if (Matches(*it, call)) {
                    script = *it;
                    scripted = true;
                    if (it->times > 0 && --it->times == 0) {
                        model_scripts.erase(it);
                    }
                    break;
                }
            }
        }
        if (!scripted) {
            script.content = "(simulated model) " + LastUserText(call);
        }
        call.status = !call.valid && request.method == "POST" ? 400 : script.status;
        if (request.method != "POST") {
            call.status = 405;
        }
        index = model_calls.size();
        model_calls.push_back(call);
        // Taken with the record, so an end of stalls that follows a wait for this call
        // reaches it.
        stalls_ended = model_stalls_ended;
        if (options.traffic) {
            options.traffic("~> model " + call.model + ": " + LastUserText(call));
        }
    }
    request_seen.notify_all();
    if (script.delay_ms > 0) {
        std::unique_lock lock(mutex);
        state_changed.wait_for(lock, std::chrono::milliseconds(script.delay_ms),
                               [&] { return stopping || model_stalls_ended != stalls_ended; });
    }
    const int status = call.status;
    HttpResponse response;
    if (status != 200 || !script.body.empty()) {
        if (!script.body.empty()) {
            response.status = status;
            response.headers.emplace_back("Content-Type", script.content_type);
            response.body = script.body;
        } else {
            response = JsonResponse(status, ErrorObject(status, call.model));
        }
        if (script.retry_after_s >= 0) {
            response.headers.emplace_back("Retry-After", std::to_string(script.retry_after_s));
        }
        return response;
    }
    std::size_t prompt_chars = 0;
    for (const auto& [role, content] : call.messages) {
        prompt_chars += CountChars(content);
    }
    const int prompt =
        script.prompt_tokens >= 0 ? script.prompt_tokens : static_cast<int>(prompt_chars);
    const int completion = script.completion_tokens >= 0
                               ? script.completion_tokens
                               : static_cast<int>(CountChars(script.content));
    Json message = {{"role", "assistant"}, {"content", nullptr}};
    if (!script.null_content) {
        message["content"] = script.content;
    } else {
        message["refusal"] = script.refusal;
    }
    std::int64_t created = 0;
    {
        std::lock_guard lock(mutex);
        created = UnixNow();
        if (options.traffic) {
            options.traffic("<~ model " + call.model + ": " +
                            (script.null_content ? "(refused) " + script.refusal : script.content));
        }
    }
    return JsonResponse(200, {{"id", "chatcmpl-sim" + std::to_string(index + 1)},
                              {"object", "chat.completion"},
                              {"created", created},
                              {"model", call.model},
                              {"choices", Json::array({{{"index", 0},
                                                        {"message", message},
                                                        {"logprobs", nullptr},
                                                        {"finish_reason", script.finish_reason}}})},
                              {"usage",
                               {{"prompt_tokens", prompt},
                                {"completion_tokens", completion},
                                {"total_tokens", prompt + completion}}}});
}

std::string Simulator::ModelBaseUrl() const {
    return "https://127.0.0.1:" + std::to_string(Port()) + "/v1";
}

void Simulator::QueueModelAnswer(ModelScript script) {
    std::lock_guard lock(m_impl->mutex);
    m_impl->model_scripts.push_back(std::move(script));
}

void Simulator::ClearModelAnswers() {
    std::lock_guard lock(m_impl->mutex);
    m_impl->model_scripts.clear();
}

void Simulator::EndModelStalls() {
    std::lock_guard lock(m_impl->mutex);
    ++m_impl->model_stalls_ended;
    m_impl->state_changed.notify_all();
}

std::vector<ModelCall> Simulator::ModelCalls() const {
    std::lock_guard lock(m_impl->mutex);
    return m_impl->model_calls;
}

bool Simulator::WaitForModelCalls(std::size_t count, std::chrono::milliseconds timeout) {
    std::unique_lock lock(m_impl->mutex);
    return m_impl->request_seen.wait_for(lock, timeout, [&] {
        return m_impl->model_calls.size() >= count || m_impl->stopping;
    }) && !m_impl->stopping;
}

}  // namespace sim
