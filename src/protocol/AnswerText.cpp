#include "protocol/AnswerText.h"

#include <cstdint>
#include <cstring>
#include <utility>

#include "platform/Encoding.h"
#include "platform/JsonReader.h"
#include "protocol/TextHelpers.h"

namespace zelmo::protocol {

namespace {

// ASCII without NUL is the same in GBK: most tokens and numbers need no conversion.
bool IsPlainAscii(std::string_view text) {
    std::size_t pos = 0;
    constexpr std::uint64_t ONES = 0x0101010101010101ULL;
    constexpr std::uint64_t HIGH_BITS = 0x8080808080808080ULL;
    for (; pos + 8 <= text.size(); pos += 8) {
        std::uint64_t word = 0;
        std::memcpy(&word, text.data() + pos, 8);
        if ((word & HIGH_BITS) != 0 || ((word - ONES) & ~word & HIGH_BITS) != 0) {
            return false;
        }
    }
    for (; pos < text.size(); ++pos) {
        const auto byte = static_cast<unsigned char>(text[pos]);
        if (byte >= 0x80 || byte == 0) {
            return false;
        }
    }
    return true;
}

}  // namespace

std::string TokenText(std::string_view raw) {
    return IsPlainAscii(raw) ? std::string(raw) : platform::Utf8ToGbk(raw);
}

std::string ValueText(std::string_view raw) {
    // Most values hold no escape: convert them as they stand.
    if (raw.find('\\') == std::string_view::npos) {
        return TokenText(raw);
    }
    return platform::Utf8ToGbk(platform::UnescapeJson(raw));
}

namespace {

// Most texts hold no entity, no "?" and no markup: they stay as they are, uncopied.
std::string Entities(std::string&& text) {
    if (text.find('&') == std::string::npos) {
        return std::move(text);
    }
    return DecodeHtmlEntities(text);
}

}  // namespace

std::string ShownText(std::string_view raw) {
    return Entities(ValueText(raw));
}

std::string NameText(std::string_view raw) {
    std::string text = ValueText(raw);
    if (text.find('?') != std::string::npos || text.find("span") != std::string::npos) {
        text = StripSpanTags(text);
    }
    return Entities(std::move(text));
}

}  // namespace zelmo::protocol
