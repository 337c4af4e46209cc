#pragma once

#include <string>
#include <string_view>

namespace zelmo::platform {

// How the bytes of an account text file are to be taken. The program's texts are GBK;
// editors on Linux write UTF-8. Short GBK Chinese text is valid two-byte UTF-8 more often
// than one would think (a GBK lead byte 0xC2-0xD5 with a second byte 0xA1-0xBF reads as
// one such sequence: about one text of four characters in a thousand), but almost never
// holds a valid three-byte sequence, and every CJK character in UTF-8 is one. So a file
// is UTF-8 when it is valid UTF-8 throughout and holds a sequence of three or four bytes,
// or when it starts with a UTF-8 byte-order mark.
enum class TextEncoding {
    Gbk,          // plain ASCII, or bytes that are not UTF-8: taken as they are
    Utf8,         // a UTF-8 byte-order mark before valid UTF-8, or UTF-8 with CJK (see above)
    Undecodable,  // a UTF-16 or UTF-32 byte-order mark, or a UTF-8 one before non-UTF-8
};

struct DecodedText {
    TextEncoding encoding = TextEncoding::Gbk;
    std::string text;    // GBK; empty when undecodable
    std::string reason;  // undecodable: why, in a few English words
};

inline constexpr std::string_view UTF8_BOM = "\xEF\xBB\xBF";

// The encoding of a file's bytes (see TextEncoding); `reason` says why for Undecodable.
TextEncoding DetectTextEncoding(std::string_view bytes, std::string& reason);

// True when every byte sequence is well-formed UTF-8 (no overlong forms, surrogates or
// code points above U+10FFFF).
bool IsValidUtf8(std::string_view bytes);

// The program's GBK text of a file's bytes: GBK is moved through untouched; UTF-8 loses
// its byte-order mark and is converted (a character GBK lacks becomes "?", NUL bytes
// stay). Takes any bytes.
DecodedText DecodeAccountText(std::string bytes);

}  // namespace zelmo::platform
