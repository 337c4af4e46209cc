#include "platform/JsonReader.h"

#include <array>
#include <bit>
#include <cstring>
#include <optional>

#include "platform/Utf8Pieces.h"

namespace zelmo::platform {

namespace {

constexpr unsigned char SPACE = 1;
constexpr unsigned char ENDS_SCALAR = 2;
constexpr unsigned char STRUCTURE = 4;  // what a skipped container is read for

constexpr std::array<unsigned char, 256> ByteClasses() {
    std::array<unsigned char, 256> classes{};
    for (const unsigned char c : {' ', '\n', '\r', '\t'}) {
        classes[c] = SPACE | ENDS_SCALAR;
    }
    // A NUL ends the input, so it ends a scalar too.
    for (const unsigned char c : {',', ':', '"', '{', '}', '[', ']', '\0'}) {
        classes[c] = ENDS_SCALAR;
    }
    for (const unsigned char c : {'"', '{', '}', '[', ']', '\0'}) {
        classes[c] |= STRUCTURE;
    }
    return classes;
}
constexpr std::array<unsigned char, 256> BYTE_CLASSES = ByteClasses();

bool Is(char c, unsigned char byte_class) {
    return (BYTE_CLASSES[static_cast<unsigned char>(c)] & byte_class) != 0;
}

// The first '"' or NUL in [pos, end), or end. Eight bytes at a time: most strings are
// short, and a call to memchr per string costs more than the scan.
const char* FindQuoteOrNul(const char* pos, const char* end) {
    if constexpr (std::endian::native == std::endian::little) {
        constexpr std::uint64_t ONES = 0x0101010101010101ULL;
        constexpr std::uint64_t HIGH_BITS = 0x8080808080808080ULL;
        constexpr std::uint64_t QUOTES = ONES * '"';
        while (end - pos >= 8) {
            std::uint64_t word = 0;
            std::memcpy(&word, pos, 8);
            const std::uint64_t diff = word ^ QUOTES;
            // The lowest flagged byte is the first match; flags above it may be false.
            const std::uint64_t found =
                ((diff - ONES) & ~diff & HIGH_BITS) | ((word - ONES) & ~word & HIGH_BITS);
            if (found != 0) {
                return pos + std::countr_zero(found) / 8;
            }
            pos += 8;
        }
    }
    while (pos < end && *pos != '"' && *pos != '\0') {
        ++pos;
    }
    return pos;
}

// The quote that ends the string whose content starts at `start`, or null when none does
// before the end. A NUL ends the input: `end` moves to it.
const char* StringEnd(const char* start, const char*& end) {
    const char* quote = start;
    for (;;) {
        quote = FindQuoteOrNul(quote, end);
        if (quote == end) {
            return nullptr;
        }
        if (*quote == '\0') {
            end = quote;
            return nullptr;
        }
        // The quote ends the string unless an odd run of backslashes escapes it.
        const char* run = quote;
        while (run > start && run[-1] == '\\') {
            --run;
        }
        if (((quote - run) & 1) == 0) {
            return quote;
        }
        ++quote;
    }
}

}  // namespace

JsonReader::JsonReader(std::string_view bytes)
    : m_begin(bytes.data()), m_end(bytes.data() + bytes.size()), m_pos(bytes.data()) {}

JsonReader::Token JsonReader::Fail() {
    m_failed = true;
    m_text = {};
    return Token::Fault;
}

JsonReader::Token JsonReader::AfterValue(Token token) {
    m_expect = m_depth == 0 ? Expect::Done : Expect::CommaOrClose;
    return token;
}

JsonReader::Token JsonReader::Close(char closer) {
    if (m_depth == 0) {
        return Fail();
    }
    const std::size_t top = m_depth - 1;
    const bool in_object = ((m_is_object[top / 64] >> (top % 64)) & 1U) != 0;
    if (closer != (in_object ? '}' : ']')) {
        return Fail();
    }
    m_is_object[top / 64] &= ~(std::uint64_t{1} << (top % 64));
    --m_depth;
    ++m_pos;
    return AfterValue(in_object ? Token::ObjectEnd : Token::ArrayEnd);
}

JsonReader::Token JsonReader::ReadString(bool is_key) {
    const char* start = m_pos + 1;
    const char* quote = StringEnd(start, m_end);
    if (quote == nullptr) {
        return Fail();
    }
    m_text = std::string_view(start, static_cast<std::size_t>(quote - start));
    m_pos = quote + 1;
    if (!is_key) {
        return AfterValue(Token::String);
    }
    while (m_pos < m_end && Is(*m_pos, SPACE)) {
        ++m_pos;
    }
    if (m_pos == m_end || *m_pos != ':') {
        if (m_pos < m_end && *m_pos == '\0') {
            m_end = m_pos;
        }
        return Fail();
    }
    ++m_pos;
    m_expect = Expect::Value;
    return Token::Key;
}

JsonReader::Token JsonReader::ReadScalar() {
    const char* start = m_pos;
    while (m_pos < m_end && !Is(*m_pos, ENDS_SCALAR)) {
        ++m_pos;
    }
    // A scalar that runs into the end may have been cut: "12" of "123".
    if (m_pos == m_end || *m_pos == '\0') {
        m_end = m_pos;
        return Fail();
    }
    m_text = std::string_view(start, static_cast<std::size_t>(m_pos - start));
    return AfterValue(Token::Scalar);
}

JsonReader::Token JsonReader::ReadValue(char c) {
    if (c == '{' || c == '[') {
        if (m_depth == MAX_DEPTH) {
            return Fail();
        }
        if (c == '{') {
            m_is_object[m_depth / 64] |= std::uint64_t{1} << (m_depth % 64);
        }
        ++m_depth;
        ++m_pos;
        m_expect = c == '{' ? Expect::KeyOrClose : Expect::ValueOrClose;
        return c == '{' ? Token::ObjectStart : Token::ArrayStart;
    }
    if (c == '"') {
        return ReadString(false);
    }
    if (Is(c, ENDS_SCALAR)) {
        return Fail();
    }
    return ReadScalar();
}

JsonReader::Token JsonReader::Next() {
    m_text = {};
    if (m_failed) {
        return Token::Fault;
    }
    for (;;) {
        while (m_pos < m_end && Is(*m_pos, SPACE)) {
            ++m_pos;
        }
        if (m_expect == Expect::Done) {
            return Token::End;
        }
        if (m_pos < m_end && *m_pos == '\0') {
            m_end = m_pos;
        }
        if (m_pos == m_end) {
            // Nothing at all is no value; anything begun and not ended was cut.
            return m_depth == 0 && m_expect == Expect::Value ? Token::End : Fail();
        }
        const char c = *m_pos;
        m_token_start = static_cast<std::size_t>(m_pos - m_begin);
        switch (m_expect) {
            case Expect::Value:
                return ReadValue(c);
            case Expect::ValueOrClose:
                return c == ']' ? Close(c) : ReadValue(c);
            case Expect::KeyOrClose:
                if (c == '}') {
                    return Close(c);
                }
                return c == '"' ? ReadString(true) : Fail();
            case Expect::CommaOrClose: {
                if (c == '}' || c == ']') {
                    return Close(c);
                }
                if (c != ',') {
                    return Fail();
                }
                ++m_pos;
                const std::size_t top = m_depth - 1;
                const bool in_object = ((m_is_object[top / 64] >> (top % 64)) & 1U) != 0;
                m_expect = in_object ? Expect::KeyOrClose : Expect::ValueOrClose;
                continue;
            }
            case Expect::Done:
                return Token::End;
        }
    }
}

std::string_view JsonReader::ValueBytes() const {
    if (m_text.data() == nullptr || m_text.data() == m_begin + m_token_start) {
        return m_text;
    }
    // A string's text starts one byte after its opening quote.
    return {m_text.data() - 1, m_text.size() + 2};
}

JsonReader::Token JsonReader::SkipValue() {
    const Token first = Next();
    if (first != Token::ObjectStart && first != Token::ArrayStart) {
        return first;
    }
    return SkipTo(m_depth - 1);
}

JsonReader::Token JsonReader::SkipRest() {
    if (m_failed || m_depth == 0) {
        return Next();
    }
    return SkipTo(m_depth - 1);
}

JsonReader::Token JsonReader::SkipTo(std::size_t depth) {
    // Inside a skipped container only the brackets and strings matter: pair them up and
    // step over the rest without reading it as tokens.
    m_text = {};
    const char* pos = m_pos;
    while (pos < m_end) {
        if (!Is(*pos, STRUCTURE)) {
            ++pos;
            continue;
        }
        const char c = *pos;
        if (c == '\0') {
            m_end = pos;
            break;
        }
        if (c == '"') {
            const char* quote = StringEnd(pos + 1, m_end);
            if (quote == nullptr) {
                break;
            }
            pos = quote + 1;
            continue;
        }
        if (c == '{' || c == '[') {
            if (m_depth == MAX_DEPTH) {
                break;
            }
            if (c == '{') {
                m_is_object[m_depth / 64] |= std::uint64_t{1} << (m_depth % 64);
            }
            ++m_depth;
        } else if (c == '}' || c == ']') {
            m_pos = pos;
            m_token_start = static_cast<std::size_t>(pos - m_begin);
            const Token closed = Close(c);
            if (closed == Token::Fault || m_depth == depth) {
                return closed;
            }
        }
        ++pos;
    }
    m_pos = pos;
    return Fail();
}

namespace {

// The \u escape (or surrogate pair) at `pos`; advances `pos` past it. A lone surrogate or
// NUL reads as "?", so it can neither make invalid UTF-8 nor cut the text short.
std::optional<std::uint32_t> UnicodeEscape(std::string_view raw, std::size_t& pos) {
    const std::optional<std::uint32_t> unit = ParseHex4(raw, pos + 2);
    if (!unit) {
        return std::nullopt;
    }
    pos += 6;
    const bool high = *unit >= 0xD800 && *unit <= 0xDBFF;
    const bool low = *unit >= 0xDC00 && *unit <= 0xDFFF;
    if (high && pos + 1 < raw.size() && raw[pos] == '\\' && raw[pos + 1] == 'u') {
        const std::optional<std::uint32_t> second = ParseHex4(raw, pos + 2);
        if (second && *second >= 0xDC00 && *second <= 0xDFFF) {
            pos += 6;
            return 0x10000 + ((*unit - 0xD800) << 10) + (*second - 0xDC00);
        }
    }
    if (high || low || *unit == 0) {
        return '?';
    }
    return *unit;
}

}  // namespace

std::string UnescapeJson(std::string_view raw) {
    std::string out;
    out.reserve(raw.size());
    std::size_t pos = 0;
    while (pos < raw.size()) {
        const void* found = std::memchr(raw.data() + pos, '\\', raw.size() - pos);
        const std::size_t slash =
            found == nullptr ? raw.size() : static_cast<const char*>(found) - raw.data();
        out.append(raw.substr(pos, slash - pos));
        pos = slash;
        if (pos + 1 >= raw.size()) {
            out.append(raw.substr(pos));
            break;
        }
        if (raw[pos + 1] == 'u') {
            std::size_t next = pos;
            if (const std::optional<std::uint32_t> code_point = UnicodeEscape(raw, next)) {
                AppendUtf8(out, *code_point);
                pos = next;
                continue;
            }
        }
        if (const char plain = JsonSimpleEscape(raw[pos + 1]); plain != '\0') {
            out.push_back(plain);
        } else {
            out.append(raw.substr(pos, 2));
        }
        pos += 2;
    }
    return out;
}

}  // namespace zelmo::platform
