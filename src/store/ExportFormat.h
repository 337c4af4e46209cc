#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "store/ArchiveRecords.h"

namespace zelmo::store {

// Archive rows as text for other programs (UTF-8).

// Appends `text` as a JSON string, quotes included. Bytes that are not UTF-8 become
// U+FFFD, so the result is valid JSON whatever the database held.
void AppendJsonString(std::string& out, std::string_view text);

// Local time as "2024-05-01 09:05:07".
std::string LocalTimeText(std::int64_t unix_ms);
// Local time in ISO 8601 with its offset: "2024-05-01T09:05:07+08:00".
std::string IsoTimeText(std::int64_t unix_ms);

// One JSON object and a line break, with the keys time, direction ("in" or "out"), chat,
// chat_key, sender, sender_key, kind, text and msg_id; `full` adds result, recalled, origin
// and media_path.
std::string JsonLine(const ArchiveRow& row, bool full);

// CSV (RFC 4180, CR LF line ends) with the columns of a full JSON line. A cell that a
// spreadsheet would run as a formula (it starts with = + - @ or a tab) gets a leading "'".
std::string CsvHeader();
std::string CsvLine(const ArchiveRow& row);

}  // namespace zelmo::store
