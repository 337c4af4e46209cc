#pragma once

#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <string_view>

#include "config/Settings.h"
#include "contacts/ContactStore.h"
#include "jobs/JobQueue.h"
#include "messages/LogPort.h"
#include "platform/Clock.h"
#include "protocol/Session.h"

namespace zelmo::messages {

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

// The message log's writer: stamps rows with the local time and hands them to the screen.
class MessageLog {
public:
    MessageLog(LogPort& screen, platform::Clock& clock) : m_screen(screen), m_clock(clock) {}

    // AddLogRow: appends one row stamped with the current local time; rows of concurrent
    // callers never mix, and reach the screen in the order they were stamped. Any thread.
    void AddRow(std::string_view label, std::string_view source, std::string_view destination,
                std::string_view content);
    // The same for a received message whose media a later ShowFile names by its MsgId.
    void AddRow(std::string_view label, std::string_view source, std::string_view destination,
                std::string_view content, std::string_view msg_id);
    // The media of the message `msg_id` is saved at `path` (file-system bytes). Any thread.
    void ShowFile(std::string_view msg_id, std::string_view path);

private:
    LogPort& m_screen;
    platform::Clock& m_clock;
    std::mutex m_log_lock;  // LogLock
};

// Classifies one message by direction (from and to are UserNames; `own` is the account's
// profile, `contacts` names the others) and appends its row; a received message with media
// gives its MsgId, by which the row learns of the saved file. Any thread.
void LogMessage(MessageLog& log, const contacts::ContactStore& contacts,
                const protocol::OwnProfile& own, std::string_view from, std::string_view to,
                std::string_view content, std::string_view msg_id = {});

// True for the four direction labels of chat traffic; a row with any other label reports
// an event of the robot's own (a failure, say).
bool IsChatRow(std::string_view label);

// A received content (GBK, labelled) as a person reads it in the log: in a group, the
// member's "@<UserName>:<br/>" in front becomes the member's name (ContactStore::MemberName)
// and ": "; "<br/>" becomes a line break (CR LF) and HTML entities their characters.
std::string ReadableContent(const contacts::ContactStore& contacts, std::string_view from,
                            std::string_view content);

// What the log shows for a reply dropped by the reply limit, in front of the reply (GBK).
std::string DroppedReplyMark();

// A text the robot hands to sending becomes a row of its own (direction ↑): posted as a log
// job while 显示消息 is on, behind the rows already queued, so a reply's row follows the
// row of the message it answers. `text` is in its stored form; the row shows what the
// partner reads ("[enter]" as a line break, the robot's name for "[mkname]"), after
// DroppedReplyMark when `dropped`. Any thread.
void PostSentRow(jobs::JobQueue& queue, const config::Settings& settings,
                 std::string_view own_user_name, std::string_view to, std::string_view text,
                 bool dropped = false);

// What the row-details box shows for a row; every cell empty for no row.
std::string RowDetails(const LogRow& row);

// The export file's GBK text: every row, in order, in the file layout.
std::string ExportText(const LogRows& rows);

// The export file name: date and time without leading zeros or separators, eight random
// digits, ".txt".
std::string ExportFileName(const LocalTime& time, platform::Clock& clock);

// Writes the rows to a new file in the current directory (through a temporary file) and
// reports the outcome, with the file's full path, in a message box. That path; empty when
// the write failed.
std::string ExportMessageLog(LogPort& screen, platform::Clock& clock, const LogRows& rows);

}  // namespace zelmo::messages
