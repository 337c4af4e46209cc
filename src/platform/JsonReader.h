#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace zelmo::platform {

// One forward pass over JSON bytes, token by token, copying nothing. Answers may arrive cut
// off or broken, and what their intact part holds still counts, so the reader is tolerant
// in one direction only: it yields every token up to the first fault (a string, scalar or
// container left open, a byte where none may stand, nesting deeper than MAX_DEPTH) and
// Fault from then on; skipped values are checked more loosely (see SkipValue). A NUL byte ends the
// input, as it ends the text an answer converts to. Whitespace is never significant. Accepted
// beyond JSON: a comma before a closing bracket, any escape in a string (kept as written) and any
// bytes in a scalar; bytes after the top-level value are ignored.
class JsonReader {
public:
    enum class Token : std::uint8_t {
        ObjectStart,
        ObjectEnd,
        ArrayStart,
        ArrayEnd,
        Key,     // a member's name; its value follows
        String,  // a string value
        Scalar,  // a number, true, false, null or any other bare word
        End,     // the top-level value is complete (or there was none)
        Fault,
    };

    static constexpr std::size_t MAX_DEPTH = 512;

    explicit JsonReader(std::string_view bytes);

    Token Next();

    // Key and String: the raw content between the quotes, escapes as written. Scalar: its
    // bytes. Empty for the other tokens.
    std::string_view Text() const { return m_text; }
    // A String or Scalar value as it stands in the bytes (a string with its quotes).
    std::string_view ValueBytes() const;
    // Offset of the current token's first byte ('{', '}', the opening quote, the scalar).
    std::size_t Offset() const { return m_token_start; }
    // Containers open after the current token (an ObjectStart counts its own object).
    std::size_t Depth() const { return m_depth; }
    // The input, up to the NUL that ends it once the reader has met one.
    std::string_view Bytes() const { return {m_begin, static_cast<std::size_t>(m_end - m_begin)}; }

    // After a Key: reads past its whole value. Inside a container it checks only that the
    // strings end and the brackets pair up, which is what tells a cut value. The value's
    // last token: ObjectEnd, ArrayEnd, String or Scalar, or Fault.
    Token SkipValue();
    // Inside a container: reads past the rest of it, as SkipValue reads a container. Its
    // last token: the container's ObjectEnd or ArrayEnd, or Fault.
    Token SkipRest();

private:
    enum class Expect : std::uint8_t { Value, ValueOrClose, KeyOrClose, CommaOrClose, Done };

    Token Fail();
    Token Close(char closer);
    Token AfterValue(Token token);
    Token ReadString(bool is_key);
    Token ReadScalar();
    Token ReadValue(char c);
    Token SkipTo(std::size_t depth);

    const char* m_begin;
    const char* m_end;
    const char* m_pos;
    std::string_view m_text;
    std::size_t m_token_start = 0;
    std::size_t m_depth = 0;
    Expect m_expect = Expect::Value;
    bool m_failed = false;
    // One bit per open container: set for an object.
    std::uint64_t m_is_object[MAX_DEPTH / 64] = {};
};

// A string's raw content with its escapes decoded (\" \\ \/ \b \f \n \r \t and \uXXXX
// with surrogate pairs), UTF-8 in and out. A lone surrogate or \u0000 becomes "?"; any
// other escape stays as written. Bytes that are not escapes pass unchanged.
std::string UnescapeJson(std::string_view raw);

}  // namespace zelmo::platform
