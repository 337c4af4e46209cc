#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "ai/ModelAnswer.h"
#include "platform/WebClient.h"

namespace zelmo::ai {

// The most bytes a model's answer may take.
inline constexpr std::size_t MAX_ANSWER_BYTES = std::size_t{1} << 20;

// Where and how the model is asked.
struct ModelEndpoint {
    std::string address;  // 接口地址, the base URL
    std::string key;      // 密钥; empty sends no Authorization header
    int timeout_s = 30;
};

// "<base>/chat/completions"; a base that already ends so is taken as it is, a trailing "/"
// is dropped.
std::string CompletionsUrl(std::string_view address);

// One chat-completions exchange through the robot's WebClient: TLS verified, plain http only
// to a loopback address, never through the service's connect_to, the answer capped at
// MAX_ANSWER_BYTES, the whole exchange bounded by the time-out. Blocks; any thread. The key
// never appears in the answer's texts (an endpoint may echo it): MaskKey stands in.
ModelAnswer AskModel(const platform::WebClient& web, const ModelEndpoint& endpoint,
                     std::string_view body);

// The key as the event log may show it: its first three and last four characters around
// "***" when it is long enough to keep most of it hidden, else "***"; empty stays empty.
std::string MaskKey(std::string_view key);

}  // namespace zelmo::ai
