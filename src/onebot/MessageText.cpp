#include "onebot/MessageText.h"

#include <charconv>
#include <cstdint>

#include "platform/Utf8Pieces.h"

namespace zelmo::onebot {

namespace {

constexpr std::string_view LINE_BREAK = "<br/>";
constexpr std::string_view EMOJI_OPEN = "<span class=\"emoji emoji";
constexpr std::string_view SPAN_CLOSE = "</span>";

struct Entity {
    std::string_view name;
    char byte;
};
constexpr Entity ENTITIES[] = {{"&lt;", '<'},   {"&gt;", '>'},    {"&amp;", '&'},
                               {"&quot;", '"'}, {"&apos;", '\''}, {"&nbsp;", ' '}};

bool IsValidCodePoint(std::uint32_t code) {
    return code > 0 && code <= 0x10FFFF && (code < 0xD800 || code > 0xDFFF);
}

// The characters of an emoji span's hex name: one code point, or two of five digits each
// (flags and keycaps); false when it is neither.
bool AppendEmoji(std::string& out, std::string_view hex) {
    auto parse = [](std::string_view digits, std::uint32_t& code) {
        const auto [end, error] =
            std::from_chars(digits.data(), digits.data() + digits.size(), code, 16);
        return error == std::errc() && end == digits.data() + digits.size() &&
               IsValidCodePoint(code);
    };
    std::uint32_t first = 0;
    if (hex.size() >= 2 && hex.size() <= 6 && parse(hex, first)) {
        platform::AppendUtf8(out, first);
        return true;
    }
    std::uint32_t second = 0;
    if (hex.size() == 10 && parse(hex.substr(0, 5), first) && parse(hex.substr(5), second)) {
        platform::AppendUtf8(out, first);
        platform::AppendUtf8(out, second);
        return true;
    }
    return false;
}

// A numeric entity ("&#26376;" or "&#x1F600;") at the start of `text`: its length, and
// the character appended; 0 when there is none.
std::size_t NumericEntity(std::string& out, std::string_view text) {
    if (!text.starts_with("&#")) {
        return 0;
    }
    const std::size_t end = text.find(';');
    if (end == std::string_view::npos || end > 12) {
        return 0;
    }
    std::string_view digits = text.substr(2, end - 2);
    int base = 10;
    if (!digits.empty() && (digits.front() == 'x' || digits.front() == 'X')) {
        digits.remove_prefix(1);
        base = 16;
    }
    std::uint32_t code = 0;
    const auto [last, error] =
        std::from_chars(digits.data(), digits.data() + digits.size(), code, base);
    if (digits.empty() || error != std::errc() || last != digits.data() + digits.size() ||
        !IsValidCodePoint(code)) {
        return 0;
    }
    platform::AppendUtf8(out, code);
    return end + 1;
}

}  // namespace

std::string ReadableText(std::string_view content) {
    std::string out;
    out.reserve(content.size());
    std::size_t i = 0;
    while (i < content.size()) {
        const std::size_t next = content.find_first_of("<&", i);
        if (next == std::string_view::npos) {
            out.append(content.substr(i));
            break;
        }
        out.append(content.substr(i, next - i));
        i = next;
        const std::string_view rest = content.substr(i);
        if (rest.starts_with(LINE_BREAK)) {
            out.push_back('\n');
            i += LINE_BREAK.size();
            continue;
        }
        if (rest.starts_with(EMOJI_OPEN)) {
            const std::size_t name_end = rest.find('"', EMOJI_OPEN.size());
            const std::size_t close = rest.find(SPAN_CLOSE);
            if (name_end != std::string_view::npos && close != std::string_view::npos &&
                name_end < close) {
                AppendEmoji(out, rest.substr(EMOJI_OPEN.size(), name_end - EMOJI_OPEN.size()));
                i += close + SPAN_CLOSE.size();
                continue;
            }
        }
        if (rest.front() == '&') {
            bool named = false;
            for (const Entity& entity : ENTITIES) {
                if (rest.starts_with(entity.name)) {
                    out.push_back(entity.byte);
                    i += entity.name.size();
                    named = true;
                    break;
                }
            }
            if (named) {
                continue;
            }
            if (const std::size_t length = NumericEntity(out, rest)) {
                i += length;
                continue;
            }
        }
        out.push_back(rest.front());
        ++i;
    }
    return out;
}

std::string_view Between(std::string_view text, std::string_view open, std::string_view close) {
    const std::size_t start = text.find(open);
    if (start == std::string_view::npos) {
        return {};
    }
    const std::size_t from = start + open.size();
    const std::size_t end = text.find(close, from);
    if (end == std::string_view::npos) {
        return {};
    }
    return text.substr(from, end - from);
}

}  // namespace zelmo::onebot
