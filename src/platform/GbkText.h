#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace zelmo::platform {

// Searches and edits on GBK texts that match only at character boundaries: a trail
// byte that looks like an ASCII letter or backslash is never taken for one.
// ignore_case folds ASCII letters only.

// Byte offset of the first match at or after `from` (a character boundary), npos if none.
// An empty needle matches at `from`.
std::size_t FindGbk(std::string_view text, std::string_view needle, std::size_t from = 0,
                    bool ignore_case = false);

bool ContainsGbk(std::string_view text, std::string_view needle, bool ignore_case = false);

// Every non-overlapping match, left to right, replaced. An empty needle changes nothing.
std::string ReplaceAllGbk(std::string_view text, std::string_view needle,
                          std::string_view replacement, bool ignore_case = false);

// At most max_bytes bytes, never ending inside a two-byte character.
std::string TruncateGbk(std::string_view text, std::size_t max_bytes);

// Bytes taken by the character starting at `pos` (1 or 2); `pos` must be inside the text.
std::size_t GbkCharLength(std::string_view text, std::size_t pos);

// True when the byte at `pos` starts a character (walking from the text's start).
bool IsGbkBoundary(std::string_view text, std::size_t pos);

}  // namespace zelmo::platform
