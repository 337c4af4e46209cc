#include "protocol/JsonText.h"

#include <cstdint>
#include <optional>
#include <vector>

#include "platform/Encoding.h"
#include "platform/GbkText.h"
#include "platform/Utf8Pieces.h"

namespace zelmo::protocol {

namespace {

constexpr char HEX_DIGITS[] = "0123456789abcdef";

bool IsHighSurrogate(std::uint32_t unit) {
    return unit >= 0xD800 && unit <= 0xDBFF;
}
bool IsLowSurrogate(std::uint32_t unit) {
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

// Reads the \uXXXX escape (or surrogate pair) at `pos`; advances `pos` past it. A lone
// surrogate or NUL yields "?" as its code point, so it can neither turn into invalid
// UTF-8 nor cut the text short.
std::optional<std::uint32_t> ReadUnicodeEscape(std::string_view raw, std::size_t& pos) {
    const std::optional<std::uint32_t> unit = platform::ParseHex4(raw, pos + 2);
    if (!unit) {
        return std::nullopt;
    }
    pos += 6;
    if (IsHighSurrogate(*unit)) {
        if (pos + 1 < raw.size() && raw[pos] == '\\' && raw[pos + 1] == 'u') {
            const std::optional<std::uint32_t> low = platform::ParseHex4(raw, pos + 2);
            if (low && IsLowSurrogate(*low)) {
                pos += 6;
                return 0x10000 + ((*unit - 0xD800) << 10) + (*low - 0xDC00);
            }
        }
        return '?';
    }
    if (IsLowSurrogate(*unit) || *unit == 0) {
        return '?';
    }
    return *unit;
}

}  // namespace

std::size_t FindJsonStringEnd(std::string_view text, std::size_t pos) {
    while (pos < text.size()) {
        const char c = text[pos];
        if (c == '"') {
            return pos;
        }
        if (c == '\\') {
            pos += 2;
            continue;
        }
        pos += platform::GbkCharLength(text, pos);
    }
    return std::string_view::npos;
}

std::string DecodeJsonString(std::string_view raw) {
    std::string out;
    out.reserve(raw.size());
    std::string pending_utf8;  // a run of \u escapes, converted to GBK in one go
    const auto flush = [&] {
        if (!pending_utf8.empty()) {
            out.append(platform::Utf8ToGbk(pending_utf8));
            pending_utf8.clear();
        }
    };
    std::size_t pos = 0;
    while (pos < raw.size()) {
        if (raw[pos] == '\\' && pos + 1 < raw.size() && raw[pos + 1] == 'u') {
            std::size_t next = pos;
            if (const std::optional<std::uint32_t> code_point = ReadUnicodeEscape(raw, next)) {
                if (*code_point < 0x80) {
                    flush();
                    out.push_back(static_cast<char>(*code_point));
                } else {
                    platform::AppendUtf8(pending_utf8, *code_point);
                }
                pos = next;
                continue;
            }
        }
        flush();
        if (raw[pos] == '\\' && pos + 1 < raw.size()) {
            if (const char plain = platform::JsonSimpleEscape(raw[pos + 1]); plain != '\0') {
                out.push_back(plain);
                pos += 2;
                continue;
            }
            out.append(raw.substr(pos, 2));
            pos += 2;
            continue;
        }
        const std::size_t length = platform::GbkCharLength(raw, pos);
        out.append(raw.substr(pos, length));
        pos += length;
    }
    flush();
    return out;
}

std::string ExtractJsonString(std::string_view text, std::string_view before, std::size_t start) {
    const std::size_t from = start == 0 ? 0 : start - 1;
    if (from >= text.size()) {
        return {};
    }
    const std::size_t found = platform::FindGbk(text, before, from);
    if (found == std::string_view::npos) {
        return {};
    }
    const std::size_t value_start = found + before.size();
    const std::size_t value_end = FindJsonStringEnd(text, value_start);
    if (value_end == std::string_view::npos) {
        return {};
    }
    return DecodeJsonString(text.substr(value_start, value_end - value_start));
}

std::string JsonEscape(std::string_view gbk_text) {
    std::string out;
    out.reserve(gbk_text.size() + 16);
    std::size_t pos = 0;
    while (pos < gbk_text.size()) {
        // Its bytes are no GBK character; the body's conversion makes it U+2005.
        if (gbk_text.substr(pos).starts_with(platform::MENTION_SPACE_GBK)) {
            out.append(platform::MENTION_SPACE_GBK);
            pos += platform::MENTION_SPACE_GBK.size();
            continue;
        }
        const std::size_t length = platform::GbkCharLength(gbk_text, pos);
        if (length == 2) {
            // A trail byte may be 0x5C; it belongs to its character and must stay bare.
            out.append(gbk_text.substr(pos, 2));
            pos += 2;
            continue;
        }
        const char c = gbk_text[pos++];
        switch (c) {
            case '"':
                out.append("\\\"");
                break;
            case '\\':
                out.append("\\\\");
                break;
            case '\n':
                out.append("\\n");
                break;
            case '\r':
                out.append("\\r");
                break;
            case '\t':
                out.append("\\t");
                break;
            case '\b':
                out.append("\\b");
                break;
            case '\f':
                out.append("\\f");
                break;
            default:
                if (static_cast<unsigned char>(c) > 0x80) {
                    // A lead byte without its trail would pair with the backslash of the
                    // next escape once the body is converted, and end the string early.
                    // It is no character anyway: it would become "?" too.
                    out.push_back('?');
                } else if (static_cast<unsigned char>(c) < 0x20) {
                    const auto byte = static_cast<unsigned char>(c);
                    out.append("\\u00");
                    out.push_back(HEX_DIGITS[byte >> 4]);
                    out.push_back(HEX_DIGITS[byte & 0x0F]);
                } else {
                    out.push_back(c);
                }
        }
    }
    return out;
}

std::size_t FindJsonEnd(std::string_view text, std::size_t open_pos) {
    if (open_pos >= text.size() || (text[open_pos] != '[' && text[open_pos] != '{')) {
        return std::string_view::npos;
    }
    // The expected closers of the open brackets: a heap stack, so deep nesting costs
    // memory in proportion to the input but never the call stack.
    std::vector<char> closers;
    std::size_t pos = open_pos;
    while (pos < text.size()) {
        const char c = text[pos];
        if (c == '"') {
            const std::size_t end = FindJsonStringEnd(text, pos + 1);
            if (end == std::string_view::npos) {
                return std::string_view::npos;
            }
            pos = end + 1;
            continue;
        }
        if (c == '[' || c == '{') {
            closers.push_back(c == '[' ? ']' : '}');
        } else if (c == ']' || c == '}') {
            if (closers.back() != c) {
                return std::string_view::npos;
            }
            closers.pop_back();
            if (closers.empty()) {
                return pos;
            }
        }
        pos += platform::GbkCharLength(text, pos);
    }
    return std::string_view::npos;
}

}  // namespace zelmo::protocol
