#include "onebot/Auth.h"

namespace zelmo::onebot {

namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

std::string PercentDecoded(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && HexDigit(text[i + 1]) >= 0 &&
            HexDigit(text[i + 2]) >= 0) {
            out.push_back(static_cast<char>(HexDigit(text[i + 1]) * 16 + HexDigit(text[i + 2])));
            i += 2;
        } else if (text[i] == '+') {
            out.push_back(' ');
        } else {
            out.push_back(text[i]);
        }
    }
    return out;
}

}  // namespace

bool SameSecret(std::string_view given, std::string_view expected) {
    // Every byte of the expected text is visited whatever the given one holds.
    unsigned difference = given.size() == expected.size() ? 0U : 1U;
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const auto left = static_cast<unsigned char>(given.empty() ? 0 : given[i % given.size()]);
        difference |= left ^ static_cast<unsigned char>(expected[i]);
    }
    return difference == 0;
}

std::optional<std::string> QueryParameter(std::string_view target, std::string_view name) {
    const std::size_t question = target.find('?');
    if (question == std::string_view::npos) {
        return std::nullopt;
    }
    std::string_view query = target.substr(question + 1);
    query = query.substr(0, query.find('#'));
    std::size_t start = 0;
    for (;;) {
        const std::size_t amp = query.find('&', start);
        const std::string_view pair = query.substr(start, amp - start);
        const std::size_t equals = pair.find('=');
        if (PercentDecoded(pair.substr(0, equals)) == name) {
            return equals == std::string_view::npos ? std::string()
                                                    : PercentDecoded(pair.substr(equals + 1));
        }
        if (amp == std::string_view::npos) {
            return std::nullopt;
        }
        start = amp + 1;
    }
}

bool Authorized(std::string_view token, std::optional<std::string_view> authorization,
                std::string_view target) {
    if (token.empty()) {
        return true;
    }
    const std::string expected = "Bearer " + std::string(token);
    if (authorization) {
        return SameSecret(*authorization, expected);
    }
    const std::optional<std::string> given = QueryParameter(target, "access_token");
    return given && SameSecret(*given, token);
}

}  // namespace zelmo::onebot
