#pragma once

#include <string>
#include <string_view>

namespace zelmo::app {

// The popup's one-line rule: a text of 19 bytes or more becomes its first 16 bytes (fewer
// when a GBK character would be split) followed by "...".
std::string StatusLine(std::string_view gbk_text);

}  // namespace zelmo::app
