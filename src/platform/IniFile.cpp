#include "platform/IniFile.h"

#include <optional>

#include "platform/Files.h"
#include "platform/GbkBytes.h"
#include "platform/TextFile.h"

namespace zelmo::platform {

namespace {

constexpr std::string_view FALSE_WORD = "\xBC\xD9";  // "假" in GBK

bool IsBlank(char byte) {
    return byte == ' ' || byte == '\t';
}
std::string_view Trim(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && IsBlank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

// ASCII letters of single-byte characters fold; both bytes of a GBK pair compare exactly,
// so two different Chinese names never compare equal through a trail byte.
bool SameName(std::string_view left, std::string_view right) {
    if (left.size() != right.size()) {
        return false;
    }
    std::size_t pos = 0;
    while (pos < left.size()) {
        const auto a = static_cast<unsigned char>(left[pos]);
        const auto b = static_cast<unsigned char>(right[pos]);
        if (IsGbkLead(a) && pos + 1 < left.size() &&
            IsGbkTrail(static_cast<unsigned char>(left[pos + 1]))) {
            if (a != b || left[pos + 1] != right[pos + 1]) {
                return false;
            }
            pos += 2;
            continue;
        }
        if (FoldAscii(a) != FoldAscii(b)) {
            return false;
        }
        ++pos;
    }
    return true;
}

// Index of the first "]" that is a character of its own (not a GBK trail byte).
std::size_t FindClosingBracket(std::string_view text) {
    std::size_t pos = 0;
    while (pos < text.size()) {
        const auto byte = static_cast<unsigned char>(text[pos]);
        if (byte == ']') {
            return pos;
        }
        const bool pair = IsGbkLead(byte) && pos + 1 < text.size() &&
                          IsGbkTrail(static_cast<unsigned char>(text[pos + 1]));
        pos += pair ? 2 : 1;
    }
    return std::string_view::npos;
}

// True when the text ends in a lead byte that has no trail: it would take the next byte
// written after it (a section's closing "]") as its trail.
bool EndsWithLoneLead(std::string_view text) {
    std::size_t pos = 0;
    while (pos < text.size()) {
        const auto byte = static_cast<unsigned char>(text[pos]);
        if (IsGbkLead(byte) && pos + 1 < text.size() &&
            IsGbkTrail(static_cast<unsigned char>(text[pos + 1]))) {
            pos += 2;
            continue;
        }
        if (pos + 1 == text.size()) {
            return IsGbkLead(byte);
        }
        ++pos;
    }
    return false;
}

struct Line {
    std::size_t start = 0;
    std::size_t end = 0;   // content end, line break excluded
    std::size_t next = 0;  // start of the following line
    std::string_view content;
};

// Walks the text line by line; LF and CRLF breaks both end a line.
class LineReader {
public:
    explicit LineReader(std::string_view text) : m_text(text) {}

    std::optional<Line> Next() {
        if (m_pos >= m_text.size()) {
            return std::nullopt;
        }
        Line line;
        line.start = m_pos;
        const std::size_t newline = m_text.find('\n', m_pos);
        line.next = newline == std::string_view::npos ? m_text.size() : newline + 1;
        line.end = newline == std::string_view::npos ? m_text.size() : newline;
        if (line.end > line.start && m_text[line.end - 1] == '\r') {
            --line.end;
        }
        line.content = m_text.substr(line.start, line.end - line.start);
        m_pos = line.next;
        return line;
    }

private:
    std::string_view m_text;
    std::size_t m_pos = 0;
};

// The section name of a header line, or nullopt for any other line.
std::optional<std::string_view> SectionName(std::string_view content) {
    const std::string_view trimmed = Trim(content);
    if (trimmed.empty() || trimmed.front() != '[') {
        return std::nullopt;
    }
    const std::string_view inner = trimmed.substr(1);
    return Trim(inner.substr(0, FindClosingBracket(inner)));
}

struct KeyValue {
    std::string_view key;
    std::string_view value;
};

// "key = value" with blanks trimmed; nullopt for lines without "=" ("=" is never a GBK
// trail byte, so the first one is the separator).
std::optional<KeyValue> SplitItem(std::string_view content) {
    const std::size_t equals = content.find('=');
    if (equals == std::string_view::npos) {
        return std::nullopt;
    }
    return KeyValue{Trim(content.substr(0, equals)), Trim(content.substr(equals + 1))};
}

bool IsComment(std::string_view key) {
    return !key.empty() && (key.front() == ';' || key.front() == '#');
}

bool HasLineBreak(std::string_view text) {
    return text.find_first_of("\r\n") != text.npos;
}

// Calls visit(key, value, line) for every item of the first section named `section`.
template <typename Visit>
void ForEachItem(std::string_view text, std::string_view section, Visit visit) {
    LineReader reader(text);
    bool inside = false;
    bool seen = false;
    while (const std::optional<Line> line = reader.Next()) {
        if (const std::optional<std::string_view> name = SectionName(line->content)) {
            if (inside) {
                return;  // the first section of that name is the one that counts
            }
            inside = !seen && SameName(*name, section);
            seen = seen || inside;
            continue;
        }
        if (!inside) {
            continue;
        }
        if (const std::optional<KeyValue> item = SplitItem(line->content)) {
            if (!visit(item->key, item->value, *line)) {
                return;
            }
        }
    }
}

std::string_view LineBreakOf(std::string_view text) {
    const std::size_t newline = text.find('\n');
    if (newline == std::string_view::npos) {
        return "\r\n";  // the account files' own convention for a new file
    }
    return newline > 0 && text[newline - 1] == '\r' ? "\r\n" : "\n";
}

// The break that ends a text's unfinished last line: a CR already there only needs its LF.
std::string_view BreakAfter(std::string_view text, std::string_view line_break) {
    return !text.empty() && text.back() == '\r' ? std::string_view("\n") : line_break;
}

}  // namespace

bool IniTextToBool(std::string_view value) {
    return !(value == "0" || value == FALSE_WORD);
}

std::string IniTextItem(std::string_view text, std::string_view section, std::string_view key,
                        std::string_view default_value) {
    const std::string_view wanted = Trim(key);
    std::optional<std::string_view> found;
    ForEachItem(text, Trim(section),
                [&](std::string_view item_key, std::string_view value, const Line&) {
                    if (SameName(item_key, wanted)) {
                        found = value;
                        return false;
                    }
                    return true;
                });
    return std::string(found.value_or(default_value));
}

std::vector<IniEntry> IniTextSection(std::string_view text, std::string_view section) {
    std::vector<IniEntry> entries;
    ForEachItem(text, Trim(section),
                [&](std::string_view key, std::string_view value, const Line&) {
                    if (!key.empty() && !IsComment(key)) {
                        entries.push_back(IniEntry{std::string(key), std::string(value)});
                    }
                    return true;
                });
    return entries;
}

bool SetIniTextItem(std::string& text, std::string_view section, std::string_view key,
                    std::string_view value) {
    section = Trim(section);
    key = Trim(key);
    // A key starting like a section header or a comment could never be read back, and
    // each later write would append another copy.
    if (section.empty() || key.empty() || key.find('=') != key.npos || key.front() == '[' ||
        IsComment(key) || FindClosingBracket(section) != std::string_view::npos ||
        EndsWithLoneLead(section) || HasLineBreak(section) || HasLineBreak(key) ||
        HasLineBreak(value)) {
        return false;
    }
    const std::string_view line_break = LineBreakOf(text);

    // One pass: the key's line if present, else the last item-or-header line of the section.
    LineReader reader(text);
    bool inside = false;
    bool seen = false;
    std::optional<Line> key_line;
    std::optional<Line> last_line;
    while (const std::optional<Line> line = reader.Next()) {
        if (const std::optional<std::string_view> name = SectionName(line->content)) {
            if (inside) {
                break;
            }
            inside = !seen && SameName(*name, section);
            seen = seen || inside;
            if (inside) {
                last_line = line;
            }
            continue;
        }
        if (!inside) {
            continue;
        }
        if (!Trim(line->content).empty()) {
            last_line = line;
        }
        const std::optional<KeyValue> item = SplitItem(line->content);
        if (item && SameName(item->key, key)) {
            key_line = line;
            break;
        }
    }

    if (key_line) {
        // Keep the key as the file spells it; only the value changes.
        const std::string_view old_key = SplitItem(key_line->content)->key;
        std::string replaced = std::string(old_key) + "=" + std::string(value);
        text.replace(key_line->start, key_line->end - key_line->start, replaced);
        return true;
    }
    const std::string item = std::string(key) + "=" + std::string(value);
    if (last_line) {
        // Only a LF ends a line: a last line without one (a lone CR at the end included)
        // gets its break first.
        const bool ends_line = text[last_line->next - 1] == '\n';
        std::string insert;
        if (!ends_line) {
            insert += BreakAfter(text.substr(0, last_line->next), line_break);
        }
        insert += item;
        if (ends_line) {
            insert += line_break;
        }
        text.insert(last_line->next, insert);
        return true;
    }
    if (!text.empty() && text.back() != '\n') {
        text += BreakAfter(text, line_break);
    }
    text += "[";
    text += section;
    text += "]";
    text += line_break;
    text += item;
    text += line_break;
    return true;
}

std::string ReadIniItem(std::string_view path, std::string_view section, std::string_view key,
                        std::string_view default_value) {
    return IniTextItem(ReadTextFile(path).text, section, key, default_value);
}

bool WriteIniItem(std::string_view path, std::string_view section, std::string_view key,
                  std::string_view value) {
    TextFile file = ReadTextFileForUpdate(path);
    // An unreadable file must not be replaced by one holding only the new item.
    if (!MayReplace(file.report) || !SetIniTextItem(file.text, section, key, value)) {
        return false;
    }
    return WriteFileKeepingBackup(path, file.text);
}

bool ReadIniBool(std::string_view path, std::string_view section, std::string_view key,
                 bool default_value) {
    const std::string text = ReadTextFile(path).text;
    bool found = false;
    bool result = default_value;
    ForEachItem(text, Trim(section),
                [&](std::string_view item_key, std::string_view value, const Line&) {
                    if (SameName(item_key, Trim(key))) {
                        found = true;
                        result = IniTextToBool(value);
                        return false;
                    }
                    return true;
                });
    return found ? result : default_value;
}

bool WriteIniBool(std::string_view path, std::string_view section, std::string_view key,
                  bool value) {
    return WriteIniItem(path, section, key, value ? "1" : "0");
}

std::vector<IniEntry> ReadIniSection(std::string_view path, std::string_view section) {
    return IniTextSection(ReadTextFile(path).text, section);
}

}  // namespace zelmo::platform
