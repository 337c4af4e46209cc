#include "platform/TextDecoding.h"

#include <cstdint>
#include <cstring>

#include "platform/Encoding.h"
#include "platform/Utf8Pieces.h"

namespace zelmo::platform {

namespace {

constexpr std::string_view UTF16_LE_BOM = "\xFF\xFE";
constexpr std::string_view UTF16_BE_BOM = "\xFE\xFF";
constexpr std::string_view UTF32_BE_BOM = std::string_view("\x00\x00\xFE\xFF", 4);

bool StartsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

// Bytes of the well-formed sequence at data[0] (a byte >= 0x80), or 0 when it is not one.
std::size_t SequenceLength(const unsigned char* data, std::size_t size) {
    const unsigned char first = data[0];
    std::size_t length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (first >= 0xC2 && first <= 0xDF) {
        length = 2;
    } else if (first >= 0xE0 && first <= 0xEF) {
        length = 3;
        low = first == 0xE0 ? 0xA0 : 0x80;   // no overlong forms
        high = first == 0xED ? 0x9F : 0xBF;  // no surrogates
    } else if (first >= 0xF0 && first <= 0xF4) {
        length = 4;
        low = first == 0xF0 ? 0x90 : 0x80;
        high = first == 0xF4 ? 0x8F : 0xBF;  // nothing above U+10FFFF
    } else {
        return 0;
    }
    if (length > size || data[1] < low || data[1] > high) {
        return 0;
    }
    for (std::size_t index = 2; index < length; ++index) {
        if (data[index] < 0x80 || data[index] > 0xBF) {
            return 0;
        }
    }
    return length;
}

// Valid UTF-8, and whether a sequence of three or four bytes was seen.
bool ScanUtf8(std::string_view bytes, bool& long_sequence) {
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
    const std::size_t size = bytes.size();
    long_sequence = false;
    std::size_t pos = 0;
    while (pos < size) {
        pos += AsciiRun(data + pos, size - pos);
        if (pos == size) {
            break;
        }
        const std::size_t length = SequenceLength(data + pos, size - pos);
        if (length == 0) {
            return false;
        }
        long_sequence = long_sequence || length >= 3;
        pos += length;
    }
    return true;
}

// Utf8ToGbk ends at a NUL; a file's NUL bytes are kept between the converted pieces.
std::string Utf8ToGbkKeepingNul(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    while (true) {
        const std::size_t nul = utf8.find('\0');
        out += Utf8ToGbk(utf8.substr(0, nul));
        if (nul == std::string_view::npos) {
            return out;
        }
        out += '\0';
        utf8.remove_prefix(nul + 1);
    }
}

}  // namespace

bool IsValidUtf8(std::string_view bytes) {
    bool long_sequence = false;
    return ScanUtf8(bytes, long_sequence);
}

TextEncoding DetectTextEncoding(std::string_view bytes, std::string& reason) {
    reason.clear();
    // UTF-32 LE begins with the UTF-16 LE mark, so one test covers both.
    if (StartsWith(bytes, UTF16_LE_BOM) || StartsWith(bytes, UTF16_BE_BOM) ||
        StartsWith(bytes, UTF32_BE_BOM)) {
        reason = "UTF-16 or UTF-32 text (a byte-order mark says so); save it as GBK or UTF-8";
        return TextEncoding::Undecodable;
    }
    bool long_sequence = false;
    if (StartsWith(bytes, UTF8_BOM)) {
        if (ScanUtf8(bytes.substr(UTF8_BOM.size()), long_sequence)) {
            return TextEncoding::Utf8;
        }
        reason = "a UTF-8 byte-order mark before bytes that are not UTF-8";
        return TextEncoding::Undecodable;
    }
    return ScanUtf8(bytes, long_sequence) && long_sequence ? TextEncoding::Utf8 : TextEncoding::Gbk;
}

DecodedText DecodeAccountText(std::string bytes) {
    DecodedText decoded;
    decoded.encoding = DetectTextEncoding(bytes, decoded.reason);
    switch (decoded.encoding) {
        case TextEncoding::Gbk:
            decoded.text = std::move(bytes);
            break;
        case TextEncoding::Utf8: {
            std::string_view utf8 = bytes;
            if (StartsWith(utf8, UTF8_BOM)) {
                utf8.remove_prefix(UTF8_BOM.size());
            }
            decoded.text = Utf8ToGbkKeepingNul(utf8);
            break;
        }
        case TextEncoding::Undecodable:
            break;
    }
    return decoded;
}

}  // namespace zelmo::platform
