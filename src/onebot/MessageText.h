#pragma once

#include <string>
#include <string_view>

namespace zelmo::onebot {

// A message content as the service writes it (UTF-8, JSON escapes decoded) as people read
// it: "<br/>" a line break, HTML entities decoded, emoji spans the characters they stand for
// (an unknown span dropped), no other markup touched.
std::string ReadableText(std::string_view content);

// The text between the first `open` and the next `close` after it; empty when either is
// missing.
std::string_view Between(std::string_view text, std::string_view open, std::string_view close);

}  // namespace zelmo::onebot
