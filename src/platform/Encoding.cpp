#include "platform/Encoding.h"

#include <iconv.h>

#include <array>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/GbkBytes.h"
#include "platform/Utf8Pieces.h"

namespace zelmo::platform {

namespace {

// The mapping is glibc's "CP936", asked of iconv once per character (a few milliseconds)
// and kept in tables. Converting through iconv on every call costs tens of microseconds
// per unmappable character; a table lookup costs nanoseconds and maps the same way.

constexpr unsigned char LEAD_MIN = 0x81;
constexpr unsigned char LEAD_MAX = 0xFE;
constexpr unsigned char TRAIL_MIN = 0x40;
constexpr unsigned char TRAIL_MAX = 0xFE;
constexpr std::size_t TRAIL_COUNT = TRAIL_MAX - TRAIL_MIN + 1;
constexpr std::size_t PAIR_COUNT = (LEAD_MAX - LEAD_MIN + 1) * TRAIL_COUNT;
constexpr char UNMAPPABLE = '?';
constexpr std::uint32_t MENTION_SPACE = 0x2005;

struct IconvCloser {
    void operator()(void* handle) const { iconv_close(static_cast<iconv_t>(handle)); }
};
using IconvHandle = std::unique_ptr<void, IconvCloser>;

IconvHandle OpenIconv(const char* to, const char* from) {
    iconv_t handle = iconv_open(to, from);
    // iconv_open's failure value is (iconv_t)-1.
    const auto failed = reinterpret_cast<iconv_t>(-1);  // NOLINT(performance-no-int-to-ptr)
    if (handle == failed) {
        return nullptr;
    }
    return IconvHandle(handle);
}

// Converts one unit of input; the output bytes, or empty when the converter rejects it.
std::string ConvertOne(void* handle, const char* input, std::size_t length) {
    auto* converter = static_cast<iconv_t>(handle);
    iconv(converter, nullptr, nullptr, nullptr, nullptr);
    std::array<char, 8> output{};
    char* in = const_cast<char*>(input);
    char* out = output.data();
    std::size_t in_left = length;
    std::size_t out_left = output.size();
    if (iconv(converter, &in, &in_left, &out, &out_left) == static_cast<std::size_t>(-1) ||
        in_left != 0) {
        return {};
    }
    return std::string(output.data(), output.size() - out_left);
}

struct Tables {
    // Code point (BMP) -> GBK: 0 unmappable, < 0x100 one byte, else lead << 8 | trail.
    std::vector<std::uint16_t> to_gbk = std::vector<std::uint16_t>(0x10000, 0);
    // Single bytes 0x80..0xFF -> code point, 0 when not a character on their own.
    std::array<std::uint16_t, 0x80> high_single{};
    // Lead/trail pair -> code point, 0 when unmappable.
    std::vector<std::uint16_t> pair = std::vector<std::uint16_t>(PAIR_COUNT, 0);
};

Tables BuildTables() {
    Tables tables;
    for (unsigned code = 0; code < 0x80; ++code) {
        tables.to_gbk[code] = static_cast<std::uint16_t>(code);
    }
    IconvHandle decoder = OpenIconv("WCHAR_T", "CP936");
    if (decoder == nullptr) {
        return tables;
    }
    auto decode = [&](const char* bytes, std::size_t length) -> std::uint16_t {
        const std::string wide = ConvertOne(decoder.get(), bytes, length);
        if (wide.size() != sizeof(wchar_t)) {
            return 0;
        }
        wchar_t code = 0;
        std::memcpy(&code, wide.data(), sizeof code);
        if (code <= 0 || code > 0xFFFF) {
            return 0;
        }
        return static_cast<std::uint16_t>(code);
    };
    for (unsigned byte = 0x80; byte <= 0xFF; ++byte) {
        const char single = static_cast<char>(byte);
        tables.high_single[byte - 0x80] = decode(&single, 1);
    }
    for (unsigned lead = LEAD_MIN; lead <= LEAD_MAX; ++lead) {
        for (unsigned trail = TRAIL_MIN; trail <= TRAIL_MAX; ++trail) {
            if (!IsGbkTrail(static_cast<unsigned char>(trail))) {
                continue;
            }
            const std::array<char, 2> bytes{static_cast<char>(lead), static_cast<char>(trail)};
            tables.pair[(lead - LEAD_MIN) * TRAIL_COUNT + (trail - TRAIL_MIN)] =
                decode(bytes.data(), 2);
        }
    }
    IconvHandle encoder = OpenIconv("CP936", "WCHAR_T");
    if (encoder == nullptr) {
        return tables;
    }
    for (std::uint32_t code = 0x80; code <= 0xFFFF; ++code) {
        if (code >= 0xD800 && code <= 0xDFFF) {
            continue;
        }
        const auto wide = static_cast<wchar_t>(code);
        char in[sizeof(wchar_t)];
        std::memcpy(in, &wide, sizeof wide);
        const std::string bytes = ConvertOne(encoder.get(), in, sizeof in);
        if (bytes.size() == 1) {
            tables.to_gbk[code] = static_cast<unsigned char>(bytes[0]);
        } else if (bytes.size() == 2) {
            tables.to_gbk[code] = static_cast<std::uint16_t>(
                static_cast<unsigned char>(bytes[0]) << 8 | static_cast<unsigned char>(bytes[1]));
        }
    }
    return tables;
}

const Tables& GetTables() {
    static const Tables tables = BuildTables();
    return tables;
}

std::string_view UpToNul(std::string_view text) {
    // An empty view may have no data at all, and memchr must not see a null pointer.
    if (text.empty()) {
        return text;
    }
    const void* nul = std::memchr(text.data(), 0, text.size());
    if (nul == nullptr) {
        return text;
    }
    return text.substr(0, static_cast<const char*>(nul) - text.data());
}

// Decodes one UTF-8 sequence at data[0] (a non-ASCII byte). Returns the code point, or
// -1 for an invalid sequence; `length` is the number of bytes consumed (the maximal
// valid prefix, at least 1, so each broken sequence becomes exactly one "?").
std::int32_t DecodeUtf8(const unsigned char* data, std::size_t size, std::size_t& length) {
    const unsigned char first = data[0];
    std::size_t needed = 0;
    std::int32_t code = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (first >= 0xC2 && first <= 0xDF) {
        needed = 1;
        code = first & 0x1F;
    } else if (first >= 0xE0 && first <= 0xEF) {
        needed = 2;
        code = first & 0x0F;
        low = first == 0xE0 ? 0xA0 : 0x80;   // no overlong forms
        high = first == 0xED ? 0x9F : 0xBF;  // no surrogates
    } else if (first >= 0xF0 && first <= 0xF4) {
        needed = 3;
        code = first & 0x07;
        low = first == 0xF0 ? 0x90 : 0x80;
        high = first == 0xF4 ? 0x8F : 0xBF;  // nothing above U+10FFFF
    } else {
        length = 1;
        return -1;
    }
    length = 1;
    for (std::size_t index = 1; index <= needed; ++index) {
        if (index >= size) {
            return -1;
        }
        const unsigned char next = data[index];
        const unsigned char min = index == 1 ? low : 0x80;
        const unsigned char max = index == 1 ? high : 0xBF;
        if (next < min || next > max) {
            return -1;
        }
        code = code << 6 | (next & 0x3F);
        length = index + 1;
    }
    return code;
}

template <bool DROP>
std::string ConvertUtf8ToGbk(std::string_view utf8) {
    const std::string_view text = UpToNul(utf8);
    const Tables& tables = GetTables();
    const auto* data = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t size = text.size();
    // GBK never takes more bytes than UTF-8 for a character ("?" for four), so the text is
    // written into room of the input's size and cut to what was written.
    std::string out(size, '\0');
    char* write = out.data();
    std::size_t pos = 0;
    while (pos < size) {
        const std::size_t run = AsciiRun(data + pos, size - pos);
        std::memcpy(write, text.data() + pos, run);
        write += run;
        pos += run;
        while (pos < size && data[pos] >= 0x80) {
            std::int32_t code = 0;
            const unsigned char first = data[pos];
            // Most of a Chinese text: three-byte sequences whose second byte has no range
            // of its own (the leads E0 and ED have one).
            if (first >= 0xE1 && first <= 0xEF && first != 0xED && pos + 2 < size &&
                (data[pos + 1] & 0xC0) == 0x80 && (data[pos + 2] & 0xC0) == 0x80) {
                code = (first & 0x0F) << 12 | (data[pos + 1] & 0x3F) << 6 | (data[pos + 2] & 0x3F);
                pos += 3;
            } else {
                std::size_t length = 1;
                code = DecodeUtf8(data + pos, size - pos, length);
                pos += length;
            }
            const std::uint16_t gbk = code > 0 && code <= 0xFFFF ? tables.to_gbk[code] : 0;
            if (gbk == 0) {
                if constexpr (!DROP) {
                    *write++ = UNMAPPABLE;
                }
            } else if (gbk < 0x100) {
                *write++ = static_cast<char>(gbk);
            } else {
                *write++ = static_cast<char>(gbk >> 8);
                *write++ = static_cast<char>(gbk & 0xFF);
            }
        }
    }
    out.resize(static_cast<std::size_t>(write - out.data()));
    return out;
}

}  // namespace

std::string Utf8ToGbk(std::string_view utf8) {
    return ConvertUtf8ToGbk<false>(utf8);
}

std::string Utf8ToGbkDropping(std::string_view utf8) {
    return ConvertUtf8ToGbk<true>(utf8);
}

std::string GbkToUtf8(std::string_view gbk) {
    const std::string_view text = UpToNul(gbk);
    const Tables& tables = GetTables();
    const auto* data = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t size = text.size();
    std::string out;
    out.reserve(size + size / 2);
    std::size_t pos = 0;
    while (pos < size) {
        const std::size_t run = AsciiRun(data + pos, size - pos);
        out.append(text.data() + pos, run);
        pos += run;
        while (pos < size && data[pos] >= 0x80) {
            const unsigned char byte = data[pos];
            std::uint16_t code = 0;
            if (byte == static_cast<unsigned char>(MENTION_SPACE_GBK[0]) &&
                text.substr(pos).starts_with(MENTION_SPACE_GBK)) {
                AppendUtf8(out, MENTION_SPACE);
                pos += MENTION_SPACE_GBK.size();
                continue;
            }
            if (IsGbkLead(byte) && pos + 1 < size && IsGbkTrail(data[pos + 1])) {
                code = tables.pair[(byte - LEAD_MIN) * TRAIL_COUNT + (data[pos + 1] - TRAIL_MIN)];
                pos += 2;
            } else {
                code = tables.high_single[byte - 0x80];
                pos += 1;
            }
            if (code == 0) {
                out.push_back(UNMAPPABLE);
            } else {
                AppendUtf8(out, code);
            }
        }
    }
    return out;
}

}  // namespace zelmo::platform
