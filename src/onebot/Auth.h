#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace zelmo::onebot {

// Whether a request may pass: always without a token; else when its Authorization header is
// exactly "Bearer <token>", or, only when it has no Authorization header at all, when the
// target's query parameter access_token is the token. Compared in constant time.
bool Authorized(std::string_view token, std::optional<std::string_view> authorization,
                std::string_view target);

// True when both texts are equal; the time taken depends on their lengths only.
bool SameSecret(std::string_view given, std::string_view expected);

// The decoded value of a query parameter of a request target ("/?a=1&b=%20x");
// nothing when it is absent.
std::optional<std::string> QueryParameter(std::string_view target, std::string_view name);

}  // namespace zelmo::onebot
