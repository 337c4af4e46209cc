#pragma once

#include <string>
#include <string_view>

namespace zelmo::platform {

// UTF-8 bytes to GBK (code page 936). Each character GBK cannot hold becomes one "?";
// invalid UTF-8 sequences likewise. The result ends at the first NUL of the input.
std::string Utf8ToGbk(std::string_view utf8);

// The same, but each character GBK cannot hold (and each invalid sequence) is left out:
// for texts written elsewhere that the chat shows, where a "?" would read as part of them.
std::string Utf8ToGbkDropping(std::string_view utf8);

// U+2005, the blank the service writes after a mention ("@name" U+2005), has no GBK form;
// the program's texts carry it in its GB18030 form, which no GBK text holds otherwise.
// GbkToUtf8 and the JSON bodies for the service turn it back into U+2005; Utf8ToGbk never
// makes it.
inline constexpr std::string_view MENTION_SPACE_GBK = "\x81\x36\xA4\x31";

// GBK text to UTF-8 bytes; an invalid GBK byte becomes "?", MENTION_SPACE_GBK U+2005.
// Ends at the first NUL.
std::string GbkToUtf8(std::string_view gbk);

}  // namespace zelmo::platform
