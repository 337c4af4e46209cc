#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace zelmo::ai {

// A model's answer (UTF-8) without the markdown a chat shows as stray marks: code fences
// (their lines kept), "#" heading marks, "**", "__", "~~" and inline code ticks, quote marks
// and rules; "*" and "+" bullets become "-". Line breaks are kept (CR LF and CR become LF),
// blank lines run together into one, and blanks at both ends go.
std::string PlainAnswerText(std::string_view utf8);

// At most `max_chars` characters (code points, not bytes) of a UTF-8 text. A longer one is
// cut just after its last sentence end within the limit (。！？ . ! ? with the closing quotes
// that follow, or a line end) when that keeps at least half of it; otherwise at the limit,
// with "…" as its last character.
std::string CutAtSentenceEnd(std::string_view utf8, std::size_t max_chars);

// The answer as the chat gets it (GBK): plain, cut to `max_chars`, and with every character
// GBK cannot hold left out (never written as "?"). Empty when nothing is left.
std::string ChatAnswerText(std::string_view utf8, std::size_t max_chars);

}  // namespace zelmo::ai
