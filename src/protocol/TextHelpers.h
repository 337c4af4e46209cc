#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/Clock.h"
#include "protocol/Session.h"

namespace zelmo::protocol {

// Searches below match only at GBK character boundaries (a trail byte never starts a
// match). Positions given as `start` count from 1; 0 counts as 1.

// The text between the first `before` at or after `start` and the first `after` behind it
// (case-sensitive). Empty when either marker is missing or start lies past the end.
std::string ExtractBetween(std::string_view text, std::string_view before, std::string_view after,
                           std::size_t start = 1);

// Everything after the first `marker` (ASCII letters folded); empty when it is missing.
std::string TextAfter(std::string_view text, std::string_view marker);

// The text from its beginning up to the first `marker` found at or after `start`; empty
// when the marker is missing.
std::string TextBefore(std::string_view text, std::string_view marker, std::size_t start = 0,
                       bool ignore_case = false);

// The integer at the start of a text (blanks, an optional sign, digits), as number texts
// are read; 0 when there is none, saturating instead of overflowing.
long long IntegerValue(std::string_view text);

// Unix time in milliseconds with a random millisecond part, as decimal text.
std::string TimeStamp(platform::Clock& clock);

// Takes the SyncKey of a webwxinit or webwxsync answer (GBK, one field per line) into both
// forms. An answer without a SyncKey, with zero entries or with a broken entry leaves
// `sync_key` as it was; returns whether it changed.
bool UpdateSyncKey(std::string_view answer, SyncKey& sync_key);

// Removes emoji span elements, then every "?" (which stands for unmappable characters).
std::string StripSpanTags(std::string_view text);

// The service writes "<", ">", "&", quotes in names as HTML entities: "&lt;" "&gt;" "&amp;"
// "&quot;" "&#39;" "&apos;" and numeric ones ("&#60;", "&#x3c;") become their characters
// (GBK; "?" where GBK has none), in one pass. Anything else stays as it is.
std::string DecodeHtmlEntities(std::string_view text);

}  // namespace zelmo::protocol
