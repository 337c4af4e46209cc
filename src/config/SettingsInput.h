#pragma once

#include <string>
#include <string_view>

namespace zelmo::config {

// The rules the settings window applies to typed texts (GBK in, GBK out).

// 回复几率 as typed: its integer value (leading blanks, an optional sign, then the digits up
// to the first other character; none means 0) as decimal text when it lies in 1..100,
// otherwise "100".
std::string NormalizeReplyChance(std::string_view text);

// A count as typed (回复过期秒数, 每分钟回复上限, 自动登录上限): its whole number (leading
// blanks, then digits up to the first other character) as decimal text; "0" (none, no
// limit) stays. A text that does not start with a digit gives `fallback`.
std::string NormalizeCount(std::string_view text, std::string_view fallback);

// 媒体下载 as stored: 0, 1 or 2; anything else is the default 1.
int MediaDownloadMode(std::string_view text);

// 回复过期秒数 as typed: NormalizeCount with the default "300".
std::string NormalizeReplyExpiry(std::string_view text);

// 屏蔽uin typed one per line: the line breaks between lines become ","; breaks at either
// end and blank lines add no empty item. CR LF, LF and CR all count as a break; commas and
// other characters stay as typed.
std::string JoinShieldLines(std::string_view text);

// A free text stored as one INI value: each line break (CR LF, LF or CR) becomes "[enter]",
// the stored form of a line break.
std::string StoredLineBreaks(std::string_view text);

}  // namespace zelmo::config
