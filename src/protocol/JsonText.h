#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace zelmo::protocol {

// JSON string values inside GBK texts. Escapes are honoured; a GBK trail byte that
// looks like a backslash is part of its character, never an escape.

// Position of the quote that ends the string whose content starts at `pos` (just after
// the opening quote); npos when the string never ends.
std::size_t FindJsonStringEnd(std::string_view text, std::size_t pos);

// Decodes the escapes of a raw string content: \" \\ \/ \b \f \n \r \t and \uXXXX (with
// surrogate pairs) into GBK, "?" where GBK has no character. Unknown escapes stay as
// they are.
std::string DecodeJsonString(std::string_view raw);

// The decoded string value after the first `before` at or after the 1-based `start`;
// `before` ends with the opening quote (e.g. "\"NickName\": \""). Empty when missing or
// unterminated.
std::string ExtractJsonString(std::string_view text, std::string_view before,
                              std::size_t start = 1);

// Escapes a GBK text for a JSON string body: " \ and control characters. GBK characters
// stay as they are (the body is converted to UTF-8 afterwards).
std::string JsonEscape(std::string_view gbk_text);

// Position of the bracket that closes the '[' or '{' at `open_pos`, skipping strings;
// npos when it never closes, the brackets do not pair up, or open_pos holds neither.
std::size_t FindJsonEnd(std::string_view text, std::size_t open_pos);

}  // namespace zelmo::protocol
