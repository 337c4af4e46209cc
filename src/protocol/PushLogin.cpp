#include "protocol/PushLogin.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "protocol/ServiceProfile.h"

namespace zelmo::protocol {

namespace {

constexpr std::string_view PUSH_PATH = "/cgi-bin/mmwebwx-bin/webwxpushloginurl?uin=";
constexpr std::size_t MAX_UUID = 64;

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool IsUuidChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '+' ||
           c == '/' || c == '=' || c == '_' || c == '-';
}

// The value of the first member `"key":` as text: a quoted string up to its closing quote
// (escapes are not decoded: no value of this answer has any), or a bare run up to the next
// ",", "}" or blank. Empty when the key is missing.
std::string_view MemberValue(std::string_view json, std::string_view key) {
    const std::string quoted = "\"" + std::string(key) + "\"";
    std::size_t at = json.find(quoted);
    if (at == std::string_view::npos) {
        return {};
    }
    at += quoted.size();
    while (at < json.size() && IsBlank(json[at])) {
        ++at;
    }
    if (at >= json.size() || json[at] != ':') {
        return {};
    }
    ++at;
    while (at < json.size() && IsBlank(json[at])) {
        ++at;
    }
    if (at < json.size() && json[at] == '"') {
        const std::size_t end = json.find('"', at + 1);
        return end == std::string_view::npos ? std::string_view()
                                             : json.substr(at + 1, end - at - 1);
    }
    std::size_t end = at;
    while (end < json.size() && json[end] != ',' && json[end] != '}' && !IsBlank(json[end])) {
        ++end;
    }
    return json.substr(at, end - at);
}

}  // namespace

std::string PushLoginUuid(std::string_view answer) {
    if (MemberValue(answer, "ret") != "0") {
        return {};
    }
    const std::string_view uuid = MemberValue(answer, "uuid");
    if (uuid.empty() || uuid.size() > MAX_UUID ||
        !std::all_of(uuid.begin(), uuid.end(), IsUuidChar)) {
        return {};
    }
    return std::string(uuid);
}

std::string NewestCookies(std::string_view jar) {
    std::vector<std::pair<std::string_view, std::string_view>> pairs;
    std::size_t start = 0;
    while (start < jar.size()) {
        std::size_t end = jar.find(';', start);
        if (end == std::string_view::npos) {
            end = jar.size();
        }
        std::string_view pair = jar.substr(start, end - start);
        start = end + 1;
        while (!pair.empty() && pair.front() == ' ') {
            pair.remove_prefix(1);
        }
        if (pair.empty()) {
            continue;
        }
        const std::string_view name = pair.substr(0, pair.find('='));
        const auto known = std::find_if(pairs.begin(), pairs.end(),
                                        [name](const auto& seen) { return seen.first == name; });
        if (known == pairs.end()) {
            pairs.emplace_back(name, pair);
        } else {
            known->second = pair;
        }
    }
    std::string newest;
    for (const auto& [name, pair] : pairs) {
        if (!newest.empty()) {
            newest += "; ";
        }
        newest.append(pair);
    }
    return newest;
}

PushStart RequestPushLogin(const ServiceLink& link, const Session& session) {
    PushStart start;
    if (session.uin.empty() || session.cookies.empty()) {
        return start;
    }
    platform::RequestOptions options;
    options.cookie_header = session.cookies;
    const std::string answer = link.web.Request(
        WebUrl(link.profile, session.fun) + std::string(PUSH_PATH) + session.uin, options);
    start.answered = !answer.empty();
    start.uuid = PushLoginUuid(answer);
    return start;
}

}  // namespace zelmo::protocol
