#include "config/OneBotSettings.h"

#include <algorithm>
#include <array>
#include <charconv>

#include "platform/Files.h"
#include "platform/GbkLiteral.h"
#include "platform/IniFile.h"
#include "platform/TextFile.h"

namespace zelmo::config {

namespace {

constexpr std::string_view SECTION = "OneBot";
constexpr long long MAX_EVENT_BUFFER = 100000;
constexpr long long MAX_INTERVAL_MS = 24LL * 3600 * 1000;

// The numbers a setting may hold: decimal digits only, at most `max`.
bool IsCount(std::string_view text, long long min, long long max) {
    long long value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size() && !text.empty() &&
           text.front() != '-' && value >= min && value <= max;
}

std::string Trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) {
        text.remove_suffix(1);
    }
    return std::string(text);
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() &&
           std::equal(prefix.begin(), prefix.end(), text.begin(), [](char a, char b) {
               return std::tolower(static_cast<unsigned char>(a)) ==
                      std::tolower(static_cast<unsigned char>(b));
           });
}

// The host of "scheme://host[:port][/...]"; empty when there is none.
std::string UrlHost(std::string_view url) {
    const std::size_t scheme_end = url.find("://");
    if (scheme_end == std::string_view::npos) {
        return {};
    }
    std::string_view rest = url.substr(scheme_end + 3);
    rest = rest.substr(0, rest.find_first_of("/?#"));
    if (rest.find('@') != std::string_view::npos) {
        return {};
    }
    if (!rest.empty() && rest.front() == '[') {
        const std::size_t close = rest.find(']');
        return close == std::string_view::npos ? std::string()
                                               : std::string(rest.substr(1, close - 1));
    }
    return std::string(rest.substr(0, rest.find(':')));
}

void Add(std::vector<OneBotSettingsError>& errors, std::string_view key_utf8,
         std::string_view text_utf8) {
    errors.push_back({platform::Gbk(key_utf8), platform::Gbk(text_utf8)});
}

void CheckListener(std::vector<OneBotSettingsError>& errors, std::string_view key,
                   std::string_view value, bool has_token) {
    if (value.empty()) {
        return;
    }
    ListenAddress address;
    if (!SplitListenAddress(value, address)) {
        Add(errors, key,
            "OneBot 的" + std::string(key) + "“" + std::string(value) +
                "”不是“主机:端口”（例如 127.0.0.1:6700）");
        return;
    }
    if (!IsLoopbackHost(address.host) && !has_token) {
        Add(errors, key,
            "OneBot 的" + std::string(key) + " " + std::string(value) +
                " 不是本机地址，其他机器也能连上：请设置访问令牌，或改用 127.0.0.1");
    }
}

}  // namespace

OneBotSettings LoadOneBotSettings(std::string_view path) {
    return ReadOneBotSettings(platform::ReadTextFile(path).text);
}

OneBotSettings ReadOneBotSettings(std::string_view text) {
    const OneBotSettings defaults;
    const std::string section(SECTION);
    auto item = [&](std::string_view key, std::string_view fallback) {
        return platform::IniTextItem(text, section, platform::Gbk(key), fallback);
    };
    auto flag = [&](std::string_view key, bool fallback) {
        const std::string missing = "\n";  // no value read from a line holds a line break
        const std::string value = item(key, missing);
        return value == missing ? fallback : platform::IniTextToBool(value);
    };
    OneBotSettings settings;
    settings.启用 = flag("启用", defaults.启用);
    settings.HTTP地址 = Trimmed(item("HTTP地址", defaults.HTTP地址));
    settings.WS地址 = Trimmed(item("WS地址", defaults.WS地址));
    settings.反向WS = item("反向WS", defaults.反向WS);
    settings.Webhook = item("Webhook", defaults.Webhook);
    settings.访问令牌 = item("访问令牌", defaults.访问令牌);
    settings.心跳间隔 = Trimmed(item("心跳间隔", defaults.心跳间隔));
    settings.重连间隔 = Trimmed(item("重连间隔", defaults.重连间隔));
    settings.接管回复 = flag("接管回复", defaults.接管回复);
    settings.HTTP事件 = flag("HTTP事件", defaults.HTTP事件);
    settings.事件缓冲 = Trimmed(item("事件缓冲", defaults.事件缓冲));
    settings.文件目录 = Trimmed(item("文件目录", defaults.文件目录));
    return settings;
}

bool SaveOneBotSettings(std::string_view path, const OneBotSettings& settings) {
    platform::TextFile file = platform::ReadTextFileForUpdate(path);
    if (!platform::MayReplace(file.report)) {
        return false;
    }
    std::string text = std::move(file.text);
    return PutOneBotSettings(text, settings) && platform::WriteFileKeepingBackup(path, text);
}

bool PutOneBotSettings(std::string& text, const OneBotSettings& settings) {
    const std::string section(SECTION);
    bool ok = true;
    auto put = [&](std::string_view key, std::string_view value) {
        ok = ok && platform::SetIniTextItem(text, section, platform::Gbk(key), value);
    };
    put("启用", settings.启用 ? "1" : "0");
    put("HTTP地址", settings.HTTP地址);
    put("WS地址", settings.WS地址);
    put("反向WS", settings.反向WS);
    put("Webhook", settings.Webhook);
    put("访问令牌", settings.访问令牌);
    put("心跳间隔", settings.心跳间隔);
    put("重连间隔", settings.重连间隔);
    put("接管回复", settings.接管回复 ? "1" : "0");
    put("HTTP事件", settings.HTTP事件 ? "1" : "0");
    put("事件缓冲", settings.事件缓冲);
    put("文件目录", settings.文件目录);
    return ok;
}

bool SplitListenAddress(std::string_view text, ListenAddress& address) {
    std::string_view host;
    std::string_view port;
    if (!text.empty() && text.front() == '[') {
        const std::size_t close = text.find("]:");
        if (close == std::string_view::npos) {
            return false;
        }
        host = text.substr(1, close - 1);
        port = text.substr(close + 2);
        if (host.empty()) {
            return false;
        }
    } else {
        const std::size_t colon = text.rfind(':');
        if (colon == std::string_view::npos || text.find(':') != colon) {
            return false;
        }
        host = text.substr(0, colon);
        port = text.substr(colon + 1);
    }
    if (!IsCount(port, 0, 65535) || host.find_first_of(" \t/?#@") != std::string_view::npos) {
        return false;
    }
    address.host = host.empty() ? "0.0.0.0" : std::string(host);
    address.port = std::string(port);
    return true;
}

bool IsLoopbackHost(std::string_view host) {
    if (host.size() > 2 && host.front() == '[' && host.back() == ']') {
        host = host.substr(1, host.size() - 2);
    }
    if (host == "::1" || (host.size() == 9 && StartsWithNoCase(host, "localhost"))) {
        return true;
    }
    // 127.0.0.0/8, written as four decimal parts.
    if (!host.starts_with("127.")) {
        return false;
    }
    int parts = 0;
    std::size_t start = 0;
    for (;;) {
        const std::size_t dot = host.find('.', start);
        const std::string_view part = host.substr(start, dot - start);
        if (!IsCount(part, 0, 255) || part.size() > 3) {
            return false;
        }
        ++parts;
        if (dot == std::string_view::npos) {
            break;
        }
        start = dot + 1;
    }
    return parts == 4;
}

std::vector<std::string> SplitUrlList(std::string_view text) {
    std::vector<std::string> urls;
    std::size_t start = 0;
    for (;;) {
        const std::size_t semicolon = text.find(';', start);
        std::string url = Trimmed(text.substr(start, semicolon - start));
        if (!url.empty()) {
            urls.push_back(std::move(url));
        }
        if (semicolon == std::string_view::npos) {
            return urls;
        }
        start = semicolon + 1;
    }
}

std::vector<OneBotSettingsError> CheckOneBotSettings(const OneBotSettings& settings) {
    std::vector<OneBotSettingsError> errors;
    if (!settings.启用) {
        return errors;
    }
    const bool has_token = !settings.访问令牌.empty();
    CheckListener(errors, "HTTP地址", settings.HTTP地址, has_token);
    CheckListener(errors, "WS地址", settings.WS地址, has_token);
    for (const std::string& url : SplitUrlList(settings.反向WS)) {
        if (!StartsWithNoCase(url, "ws://") || UrlHost(url).empty()) {
            Add(errors, "反向WS",
                "OneBot 的反向WS“" + url + "”不是 ws://主机:端口/路径 形式的地址");
            break;
        }
    }
    for (const std::string& url : SplitUrlList(settings.Webhook)) {
        const std::string host = UrlHost(url);
        const bool https = StartsWithNoCase(url, "https://");
        const bool http = StartsWithNoCase(url, "http://");
        if (host.empty() || (!https && !http)) {
            Add(errors, "Webhook", "OneBot 的Webhook“" + url + "”不是 http(s):// 地址");
            break;
        }
        if (http && !IsLoopbackHost(host)) {
            Add(errors, "Webhook",
                "OneBot 的Webhook“" + url +
                    "”用明文 http 发往其他机器：请改用 https，或发往 127.0.0.1");
            break;
        }
    }
    if (!IsCount(settings.心跳间隔, 0, MAX_INTERVAL_MS)) {
        Add(errors, "心跳间隔", "OneBot 的心跳间隔应为毫秒数（0 为不发心跳）");
    }
    if (!IsCount(settings.重连间隔, 1, MAX_INTERVAL_MS)) {
        Add(errors, "重连间隔", "OneBot 的重连间隔应为大于 0 的毫秒数");
    }
    if (!IsCount(settings.事件缓冲, 1, MAX_EVENT_BUFFER)) {
        Add(errors, "事件缓冲", "OneBot 的事件缓冲应为 1 到 100000 之间的条数");
    }
    return errors;
}

OneBotSettings WithoutRefused(const OneBotSettings& settings,
                              const std::vector<OneBotSettingsError>& errors) {
    OneBotSettings sound = settings;
    const OneBotSettings defaults;
    for (const OneBotSettingsError& error : errors) {
        if (error.key == platform::Gbk("HTTP地址")) {
            sound.HTTP地址.clear();
        } else if (error.key == platform::Gbk("WS地址")) {
            sound.WS地址.clear();
        } else if (error.key == platform::Gbk("反向WS")) {
            sound.反向WS.clear();
        } else if (error.key == platform::Gbk("Webhook")) {
            sound.Webhook.clear();
        } else if (error.key == platform::Gbk("心跳间隔")) {
            sound.心跳间隔 = defaults.心跳间隔;
        } else if (error.key == platform::Gbk("重连间隔")) {
            sound.重连间隔 = defaults.重连间隔;
        } else if (error.key == platform::Gbk("事件缓冲")) {
            sound.事件缓冲 = defaults.事件缓冲;
        }
    }
    return sound;
}

}  // namespace zelmo::config
