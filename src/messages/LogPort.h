#pragma once

#include <string_view>

namespace zelmo::messages {

// The message window's log. Any thread; rows appear in call order, each one whole.
class LogPort {
public:
    virtual ~LogPort() = default;

    // Appends one row: direction label, time text, source, destination, content (GBK).
    virtual void AddLogRow(std::string_view label, std::string_view time, std::string_view source,
                           std::string_view destination, std::string_view content) = 0;
    // A received message's row, which LogRowFile finds later by the message's MsgId. A front
    // end that keeps no rows shows it as any other.
    virtual void AddMessageLogRow(std::string_view label, std::string_view time,
                                  std::string_view source, std::string_view destination,
                                  std::string_view content, std::string_view /*msg_id*/) {
        AddLogRow(label, time, source, destination, content);
    }
    // The media of the message `msg_id` was saved at `path` (file-system bytes): its row
    // names the file and opens it on request; a front end without rows prints the path.
    virtual void LogRowFile(std::string_view /*msg_id*/, std::string_view /*path*/) {}
    // An OK-only box (the export's outcome). Blocks until the box is closed.
    virtual void ShowMessageBox(std::string_view title, std::string_view text) = 0;
    // Notes a background event in the front end's event log (see app::ShellPort).
    virtual void LogEvent(std::string_view /*tag*/, std::string_view /*text*/) {}
};

}  // namespace zelmo::messages
