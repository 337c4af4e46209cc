#pragma once

#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

namespace zelmo::platform {

// The small steps every UTF-8 reader and writer here takes; inline, as they run per byte.

// Length of the leading run of ASCII bytes, eight at a time.
inline std::size_t AsciiRun(const unsigned char* data, std::size_t size) {
    std::size_t index = 0;
    constexpr std::uint64_t HIGH_BITS = 0x8080808080808080ULL;
    while (index + 8 <= size) {
        std::uint64_t word = 0;
        std::memcpy(&word, data + index, 8);
        if ((word & HIGH_BITS) != 0) {
            break;
        }
        index += 8;
    }
    while (index < size && data[index] < 0x80) {
        ++index;
    }
    return index;
}

// Appends a code point (at most U+10FFFF) as UTF-8.
inline void AppendUtf8(std::string& out, std::uint32_t code_point) {
    if (code_point < 0x80) {
        out.push_back(static_cast<char>(code_point));
    } else if (code_point < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (code_point >> 6)));
        out.push_back(static_cast<char>(0x80 | (code_point & 0x3F)));
    } else if (code_point < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (code_point >> 12)));
        out.push_back(static_cast<char>(0x80 | ((code_point >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (code_point & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (code_point >> 18)));
        out.push_back(static_cast<char>(0x80 | ((code_point >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((code_point >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (code_point & 0x3F)));
    }
}

// The byte a one-letter JSON escape (\n, \t, \/, ...) stands for; NUL for any
// other letter.
inline char JsonSimpleEscape(char c) {
    switch (c) {
        case '"':
            return '"';
        case '\\':
            return '\\';
        case '/':
            return '/';
        case 'b':
            return '\b';
        case 'f':
            return '\f';
        case 'n':
            return '\n';
        case 'r':
            return '\r';
        case 't':
            return '\t';
        default:
            return '\0';
    }
}

// The four hex digits at raw[pos] (a \u escape's), either case; nothing when cut or not hex.
inline std::optional<std::uint32_t> ParseHex4(std::string_view raw, std::size_t pos) {
    if (pos + 4 > raw.size()) {
        return std::nullopt;
    }
    std::uint32_t value = 0;
    for (std::size_t i = pos; i < pos + 4; ++i) {
        const char c = raw[i];
        std::uint32_t digit = 0;
        if (c >= '0' && c <= '9') {
            digit = static_cast<std::uint32_t>(c - '0');
        } else if (c >= 'a' && c <= 'f') {
            digit = static_cast<std::uint32_t>(c - 'a' + 10);
        } else if (c >= 'A' && c <= 'F') {
            digit = static_cast<std::uint32_t>(c - 'A' + 10);
        } else {
            return std::nullopt;
        }
        value = value * 16 + digit;
    }
    return value;
}

}  // namespace zelmo::platform
