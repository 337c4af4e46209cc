#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/RotatingFile.h"

namespace zelmo::platform {

class Clock;

// The program's log of background events, for a user to read or attach when something
// fails: one line per event, "2024-05-01 09:05:07 tag text", in a file that rotates at
// MAX_BYTES and keeps FILES files. Any thread; lines land whole, in call order.
class EventLog {
public:
    static constexpr std::size_t MAX_BYTES = std::size_t{1024} * 1024;
    static constexpr int FILES = 3;

    EventLog(std::string path, const Clock& clock, std::size_t max_bytes = MAX_BYTES,
             int files = FILES);

    // Notes one event: `tag` a short ASCII word ("login", "send"), `gbk_text` what
    // happened. False when the line could not be written (the event is dropped).
    bool Write(std::string_view tag, std::string_view gbk_text);

    const std::string& Path() const { return m_file.Path(); }

private:
    const Clock& m_clock;
    RotatingFile m_file;
};

// One log line with its line break: local time, tag, then the text with its session
// tokens and cookies masked, control characters as escapes ("\n") and its length cut.
std::string EventLine(std::int64_t unix_ms, std::string_view tag, std::string_view utf8_text);

// The text with the values of session tokens, tickets and cookies replaced by "***", in
// whatever form they come: query or cookie items (skey=...), JSON fields ("Sid":"..."),
// XML elements (<wxsid>...</wxsid>), Cookie headers and "@crypt_" tokens. Works on the
// bytes, so on UTF-8 and GBK texts alike.
std::string MaskSecrets(std::string_view text);

// Appends the text with its control bytes written out (\n, \r, \t, \xNN), so that it
// stays on one line.
void AppendEscaped(std::string& line, std::string_view text);

}  // namespace zelmo::platform
