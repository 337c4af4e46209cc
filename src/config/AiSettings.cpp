#include "config/AiSettings.h"

#include <algorithm>
#include <charconv>

#include "platform/GbkLiteral.h"
#include "platform/WebClient.h"

namespace zelmo::config {

namespace {

// The whole text as a decimal number in [low, high]; the fallback for anything else.
int NumberIn(std::string_view text, int low, int high, int fallback) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) {
        text.remove_suffix(1);
    }
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() || value < low ||
        value > high) {
        return fallback;
    }
    return value;
}

bool StartsWithIgnoreCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() &&
           std::equal(prefix.begin(), prefix.end(), text.begin(), [](char a, char b) {
               const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c + 32) : c; };
               return lower(a) == lower(b);
           });
}

// The host of "scheme://[user@]host[:port][/...]", brackets kept for IPv6; empty when none.
std::string_view HostOf(std::string_view address) {
    const std::size_t scheme_end = address.find("://");
    if (scheme_end == std::string_view::npos) {
        return {};
    }
    std::string_view authority = address.substr(scheme_end + 3);
    authority = authority.substr(0, authority.find_first_of("/?#"));
    if (const std::size_t at = authority.rfind('@'); at != std::string_view::npos) {
        authority.remove_prefix(at + 1);
    }
    if (authority.starts_with('[')) {
        const std::size_t close = authority.find(']');
        return close == std::string_view::npos ? std::string_view()
                                               : authority.substr(0, close + 1);
    }
    return authority.substr(0, authority.find(':'));
}

std::string Said(std::string_view utf8_text, std::string_view address) {
    return platform::Gbk(utf8_text) + std::string(address);
}

}  // namespace

AiSettings::AiSettings() : 系统提示(DefaultAiPrompt()) {}

const std::string& DefaultAiPrompt() {
    static const std::string prompt = platform::Gbk(
        "你是[mkname]，一个替主人在微信里回复消息的聊天机器人。"
        "请用简短、友好的中文纯文本回答，不要使用 Markdown。");
    return prompt;
}

AiNumbers ReadAiNumbers(const AiSettings& settings) {
    const AiNumbers defaults;
    AiNumbers numbers;
    numbers.context_turns = NumberIn(settings.上下文条数, 0, 50, defaults.context_turns);
    numbers.max_reply_chars = NumberIn(settings.最长回复, 1, 10000, defaults.max_reply_chars);
    numbers.timeout_s = NumberIn(settings.超时秒数, 1, 600, defaults.timeout_s);
    numbers.group = static_cast<AiGroupMode>(NumberIn(settings.群, 0, 2, 1));
    numbers.daily_limit = NumberIn(settings.每日上限, 0, 1000000, defaults.daily_limit);
    return numbers;
}

bool IsLoopbackHttp(std::string_view address) {
    return StartsWithIgnoreCase(address, "http://") && platform::IsLoopbackHost(HostOf(address));
}

std::string CheckAiAddress(std::string_view address) {
    if (address.empty()) {
        return platform::Gbk("AI回复：没有填写接口地址。");
    }
    if (std::any_of(address.begin(), address.end(),
                    [](char c) { return static_cast<unsigned char>(c) <= ' '; })) {
        return Said("AI回复：接口地址里不能有空格或换行：", address);
    }
    const bool https = StartsWithIgnoreCase(address, "https://");
    if (!https && !StartsWithIgnoreCase(address, "http://")) {
        return Said("AI回复：接口地址必须以 https:// 开头（本机的服务也可以用 http://）：",
                    address);
    }
    if (HostOf(address).empty()) {
        return Said("AI回复：接口地址里没有主机名：", address);
    }
    if (!https && !IsLoopbackHttp(address)) {
        return Said(
            "AI回复：只有本机地址（127.0.0.1、localhost、[::1]）可以用不加密的 http://，"
            "其它地址请改用 https://：",
            address);
    }
    return {};
}

std::string CheckAiSettings(const AiSettings& settings) {
    if (!settings.启用) {
        return {};
    }
    if (std::string fault = CheckAiAddress(settings.接口地址); !fault.empty()) {
        return fault;
    }
    if (settings.模型.empty()) {
        return platform::Gbk("AI回复：没有填写模型名称（模型）。");
    }
    return {};
}

}  // namespace zelmo::config
