#pragma once

#include <string>
#include <string_view>

#include "protocol/ServiceLink.h"
#include "protocol/Session.h"

namespace zelmo::media {

// The small pieces every media request is built from. Bodies are UTF-8 from the start:
// file names come from the file system and never pass through GBK.

// A UTF-8 text as the content of a JSON string: " \ and control characters escaped.
std::string JsonString(std::string_view utf8);

// A text as XML character data or a quoted attribute: & < > " ' as entities.
std::string XmlEscape(std::string_view text);

// Every byte but letters, digits and "-._~" as %XX, for a query value.
std::string PercentEncode(std::string_view text);

// The BaseRequest member of every media request ("BaseRequest":{...}), with the comma that
// follows it.
std::string BaseRequestJson(const protocol::ProtocolState& state);

// The value of one cookie in the session's jar; empty when it has none.
std::string CookieValue(std::string_view jar, std::string_view name);

// A "post" of a UTF-8 JSON body to `url` with the session's cookies. The raw answer; empty
// on failure.
std::string PostJson(const protocol::ServiceLink& link, const protocol::ProtocolState& state,
                     std::string_view url, std::string_view body);

// From a JSON answer: BaseResponse's Ret as written, and a top-level member's string value
// (decoded, UTF-8) or scalar as written. Empty when missing.
std::string AnswerRet(std::string_view answer);
std::string AnswerValue(std::string_view answer, std::string_view key);

}  // namespace zelmo::media
