#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <string_view>

namespace zelmo::platform {
class Clock;
}

namespace zelmo::app {

class Robot;

// One message-log row, its five cells in column order (GBK texts).
struct LogRow {
    std::string label;
    std::string time;
    std::string source;
    std::string destination;
    std::string content;
};

// The log's rows in order. A deque, so a log of any length grows without moving its rows.
using LogRows = std::deque<LogRow>;

// A moment in local time, each part as its calendar value (month 1..12).
struct LocalTime {
    int year = 0;
    int month = 0;
    int day = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
};

// The local time of a Unix time in milliseconds.
LocalTime ToLocalTime(std::int64_t unix_ms);

// Hour, minute and second without leading zeros, joined by ":" ("9:5:7").
std::string LogTimeText(const LocalTime& time);

// Classifies one message by direction (from and to are UserNames) and appends its row.
// Any thread.
void LogMessage(Robot& robot, std::string_view from, std::string_view to, std::string_view content);

// Appends one row stamped with the current local time; rows of concurrent callers never
// mix, and reach the screen in the order they were stamped. Any thread.
void AddLogRow(Robot& robot, std::string_view label, std::string_view source,
               std::string_view destination, std::string_view content);

// What the row-details box shows for a row; every cell empty for no row.
std::string RowDetails(const LogRow& row);

// The export file's GBK text: every row, in order, in the file layout.
std::string ExportText(const LogRows& rows);

// The export file name: date and time without leading zeros or separators, eight random
// digits, ".txt".
std::string ExportFileName(const LocalTime& time, platform::Clock& clock);

// Writes the rows to a new file in the current directory (through a temporary file) and
// reports the outcome in a message box. The file name; empty when the write failed.
std::string ExportMessageLog(Robot& robot, const LogRows& rows);

}  // namespace zelmo::app
