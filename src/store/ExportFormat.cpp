#include "store/ExportFormat.h"

#include <ctime>

#include "platform/Utf8Pieces.h"

namespace zelmo::store {

namespace {

constexpr std::uint32_t REPLACEMENT = 0xFFFD;

// Length of the valid UTF-8 sequence at `pos` (1 to 4), with its code point; 0 when the
// bytes there are not one (stray trail byte, overlong form, surrogate, cut short).
std::size_t Utf8Sequence(std::string_view text, std::size_t pos, std::uint32_t* code_point) {
    const auto lead = static_cast<unsigned char>(text[pos]);
    std::size_t length = 0;
    std::uint32_t value = 0;
    std::uint32_t minimum = 0;
    if (lead < 0x80) {
        *code_point = lead;
        return 1;
    }
    if ((lead & 0xE0) == 0xC0) {
        length = 2, value = lead & 0x1F, minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, value = lead & 0x0F, minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, value = lead & 0x07, minimum = 0x10000;
    } else {
        return 0;
    }
    if (pos + length > text.size()) {
        return 0;
    }
    for (std::size_t i = 1; i < length; ++i) {
        const auto trail = static_cast<unsigned char>(text[pos + i]);
        if ((trail & 0xC0) != 0x80) {
            return 0;
        }
        value = (value << 6) | (trail & 0x3F);
    }
    if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
        return 0;
    }
    *code_point = value;
    return length;
}

std::string DirectionWord(Direction direction) {
    return direction == Direction::Out ? "out" : "in";
}

void AppendCsvCell(std::string& out, std::string_view cell) {
    const bool formula =
        !cell.empty() && (cell.front() == '=' || cell.front() == '+' || cell.front() == '-' ||
                          cell.front() == '@' || cell.front() == '\t' || cell.front() == '\r');
    const bool quoted = formula || cell.find_first_of(",\"\r\n") != std::string_view::npos;
    if (!quoted) {
        out.append(cell);
        return;
    }
    out.push_back('"');
    if (formula) {
        out.push_back('\'');
    }
    for (const char c : cell) {
        if (c == '"') {
            out.push_back('"');
        }
        out.push_back(c);
    }
    out.push_back('"');
}

}  // namespace

void AppendJsonString(std::string& out, std::string_view text) {
    out.push_back('"');
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t run = platform::AsciiRun(
            reinterpret_cast<const unsigned char*>(text.data()) + pos, text.size() - pos);
        for (std::size_t end = pos + run; pos < end; ++pos) {
            const char c = text[pos];
            if (c == '"' || c == '\\') {
                out.push_back('\\');
                out.push_back(c);
            } else if (c == '\n') {
                out.append("\\n");
            } else if (c == '\r') {
                out.append("\\r");
            } else if (c == '\t') {
                out.append("\\t");
            } else if (static_cast<unsigned char>(c) < 0x20) {
                static constexpr char HEX[] = "0123456789abcdef";
                out.append("\\u00");
                out.push_back(HEX[(c >> 4) & 0xF]);
                out.push_back(HEX[c & 0xF]);
            } else {
                out.push_back(c);
            }
        }
        if (pos >= text.size()) {
            break;
        }
        std::uint32_t code_point = 0;
        const std::size_t length = Utf8Sequence(text, pos, &code_point);
        if (length == 0) {
            platform::AppendUtf8(out, REPLACEMENT);
            ++pos;
        } else {
            out.append(text.substr(pos, length));
            pos += length;
        }
    }
    out.push_back('"');
}

std::string LocalTimeText(std::int64_t unix_ms) {
    const auto seconds = static_cast<std::time_t>(unix_ms / 1000);
    std::tm parts{};
    localtime_r(&seconds, &parts);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &parts);
    return text;
}

std::string IsoTimeText(std::int64_t unix_ms) {
    const auto seconds = static_cast<std::time_t>(unix_ms / 1000);
    std::tm parts{};
    localtime_r(&seconds, &parts);
    char text[40];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S%z", &parts);
    // strftime writes +0800; ISO 8601's extended form wants +08:00.
    std::string iso = text;
    if (iso.size() >= 5) {
        iso.insert(iso.size() - 2, ":");
    }
    return iso;
}

std::string JsonLine(const ArchiveRow& row, bool full) {
    std::string line;
    line.reserve(160 + row.text.size() + row.chat_name.size() + row.sender_name.size());
    const auto field = [&line](std::string_view key, std::string_view value) {
        line.append(line.empty() ? "{\"" : ",\"").append(key).append("\":");
        AppendJsonString(line, value);
    };
    field("time", IsoTimeText(row.time_ms));
    field("direction", DirectionWord(row.direction));
    field("chat", row.chat_name);
    field("chat_key", row.chat_key);
    field("sender", row.sender_name);
    field("sender_key", row.sender_key);
    field("kind", row.kind);
    field("text", row.text);
    field("msg_id", row.msg_id);
    if (full) {
        field("result", row.result);
        line.append(",\"recalled\":").append(row.recalled ? "true" : "false");
        field("origin", row.origin);
        field("media_path", row.media_path);
    }
    return line + "}\n";
}

std::string CsvHeader() {
    return "time,direction,chat,chat_key,sender,sender_key,kind,text,msg_id,result,recalled,"
           "origin,media_path\r\n";
}

std::string CsvLine(const ArchiveRow& row) {
    std::string line;
    for (const std::string& cell :
         {IsoTimeText(row.time_ms), DirectionWord(row.direction), row.chat_name, row.chat_key,
          row.sender_name, row.sender_key, row.kind, row.text, row.msg_id, row.result}) {
        AppendCsvCell(line, cell);
        line.push_back(',');
    }
    line.append(row.recalled ? "1" : "0").push_back(',');
    AppendCsvCell(line, row.origin);
    line.push_back(',');
    AppendCsvCell(line, row.media_path);
    return line + "\r\n";
}

}  // namespace zelmo::store
