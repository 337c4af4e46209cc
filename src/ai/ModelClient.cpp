#include "ai/ModelClient.h"

#include <array>

namespace zelmo::ai {

namespace {

constexpr std::string_view COMPLETIONS = "/chat/completions";

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && static_cast<unsigned char>(text.front()) <= ' ') {
        text.remove_prefix(1);
    }
    while (!text.empty() && static_cast<unsigned char>(text.back()) <= ' ') {
        text.remove_suffix(1);
    }
    return text;
}

void HideKey(std::string& text, std::string_view key, std::string_view mask) {
    if (key.empty()) {
        return;
    }
    for (std::size_t at = text.find(key); at != std::string::npos;
         at = text.find(key, at + mask.size())) {
        text.replace(at, key.size(), mask);
    }
}

}  // namespace

std::string CompletionsUrl(std::string_view address) {
    std::string_view base = Trimmed(address);
    if (base.ends_with(COMPLETIONS)) {
        return std::string(base);
    }
    while (base.ends_with('/')) {
        base.remove_suffix(1);
    }
    return std::string(base) + std::string(COMPLETIONS);
}

ModelAnswer AskModel(const platform::WebClient& web, const ModelEndpoint& endpoint,
                     std::string_view body) {
    const std::string_view key = Trimmed(endpoint.key);
    const std::string authorization = "Authorization: Bearer " + std::string(key);
    std::array<std::string_view, 4> headers = {"Content-Type: application/json",
                                               "Accept: application/json", "User-Agent: Zelmo",
                                               authorization};
    platform::AnswerHead head;
    platform::RequestOptions options;
    options.method = "POST";
    options.body = body;
    options.timeout_s = endpoint.timeout_s;
    options.extra_headers =
        std::span<const std::string_view>(headers.data(), key.empty() ? 3 : headers.size());
    options.head = &head;
    options.max_body_bytes = MAX_ANSWER_BYTES;
    options.allow_loopback_http = true;
    options.direct = true;
    const std::string answer = web.Request(CompletionsUrl(endpoint.address), options);
    ModelAnswer read = ReadModelAnswer(head.complete ? head.status : 0, head.headers, answer);
    const std::string mask = MaskKey(key);
    HideKey(read.detail, key, mask);
    return read;
}

std::string MaskKey(std::string_view key) {
    if (key.empty()) {
        return {};
    }
    if (key.size() < 16) {
        return "***";
    }
    return std::string(key.substr(0, 3)) + "***" + std::string(key.substr(key.size() - 4));
}

}  // namespace zelmo::ai
