#include "app/StatusLine.h"

#include "platform/GbkText.h"

namespace zelmo::app {

namespace {
constexpr std::size_t LONG_TEXT_BYTES = 19;
constexpr std::size_t KEPT_BYTES = 16;
}  // namespace

std::string StatusLine(std::string_view gbk_text) {
    if (gbk_text.size() < LONG_TEXT_BYTES) {
        return std::string(gbk_text);
    }
    return platform::TruncateGbk(gbk_text, KEPT_BYTES) + "...";
}

}  // namespace zelmo::app
