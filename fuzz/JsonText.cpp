#include "protocol/JsonText.h"

#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzInput.h"
#include "platform/Encoding.h"

// Input: the marker before a value, then the text.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace zelmo::protocol;
    const auto fields = FuzzFields(data, size, 2);
    const std::string_view before = fields[0];
    const std::string_view text = fields[1];

    const std::size_t end = FindJsonStringEnd(text, 0);
    FUZZ_CHECK(end == std::string_view::npos || (end < text.size() && text[end] == '"'));
    ExtractJsonString(text, before);
    ExtractJsonString(text, before, text.size() / 2);
    const std::string decoded = DecodeJsonString(text);
    (void)decoded;

    // An escaped text is one JSON string that decodes to itself: nothing can end it early.
    // (Checked on GBK texts without NUL, the only ones the robot escapes.)
    const std::string escaped = JsonEscape(text);
    for (const char c : escaped) {
        FUZZ_CHECK(static_cast<unsigned char>(c) >= 0x20);
    }
    // What the service receives: in the UTF-8 body every quote is escaped, whatever the
    // text held, so nothing can end the string early.
    if (text.find('\0') == std::string_view::npos) {
        const std::string body = zelmo::platform::GbkToUtf8(escaped);
        std::size_t backslashes = 0;
        for (const char c : body) {
            FUZZ_CHECK(c != '"' || backslashes % 2 == 1);
            backslashes = c == '\\' ? backslashes + 1 : 0;
        }
        FUZZ_CHECK(backslashes % 2 == 0);
    }
    const bool plain_gbk = text.find('\0') == std::string_view::npos &&
                           zelmo::platform::Utf8ToGbk(zelmo::platform::GbkToUtf8(text)) == text;
    if (plain_gbk) {
        FUZZ_CHECK(FindJsonStringEnd(escaped + "\"", 0) == escaped.size());
        FUZZ_CHECK(DecodeJsonString(escaped) == text);
    }
    return 0;
}
