#include "ai/AnswerCleanup.h"

#include <algorithm>
#include <vector>

#include "platform/Encoding.h"

namespace zelmo::ai {

namespace {

// Bytes of the UTF-8 character that starts with `lead` (1 for a stray byte).
std::size_t CharBytes(unsigned char lead) {
    if (lead >= 0xF0 && lead <= 0xF4) {
        return 4;
    }
    if (lead >= 0xE0 && lead <= 0xEF) {
        return 3;
    }
    if (lead >= 0xC2 && lead <= 0xDF) {
        return 2;
    }
    return 1;
}

std::size_t CharBytesAt(std::string_view text, std::size_t pos) {
    return std::min(CharBytes(static_cast<unsigned char>(text[pos])), text.size() - pos);
}

std::string_view TrimLineEnd(std::string_view line) {
    while (!line.empty() && (line.back() == ' ' || line.back() == '\t')) {
        line.remove_suffix(1);
    }
    return line;
}

std::size_t Indent(std::string_view line) {
    std::size_t indent = 0;
    while (indent < line.size() && (line[indent] == ' ' || line[indent] == '\t')) {
        ++indent;
    }
    return indent;
}

// "---", "***", "___", "===" (three or more of one mark, blanks between allowed).
bool IsRule(std::string_view line) {
    char mark = 0;
    int count = 0;
    for (const char c : line) {
        if (c == ' ' || c == '\t') {
            continue;
        }
        if ((c != '-' && c != '*' && c != '_' && c != '=') || (mark != 0 && c != mark)) {
            return false;
        }
        mark = c;
        ++count;
    }
    return count >= 3;
}

bool IsFence(std::string_view line) {
    line.remove_prefix(Indent(line));
    return line.starts_with("```") || line.starts_with("~~~");
}

// The line without its block marks: heading "#"s, quote ">"s; a "*" or "+" bullet as "-".
std::string WithoutBlockMarks(std::string_view line) {
    const std::size_t indent = Indent(line);
    std::string_view rest = line.substr(indent);
    while (rest.starts_with('>')) {
        rest.remove_prefix(1);
        rest.remove_prefix(std::min<std::size_t>(Indent(rest), 1));
    }
    std::size_t hashes = 0;
    while (hashes < rest.size() && rest[hashes] == '#') {
        ++hashes;
    }
    if (hashes >= 1 && hashes <= 6 && (hashes == rest.size() || rest[hashes] == ' ')) {
        rest.remove_prefix(hashes);
        rest.remove_prefix(Indent(rest));
        return std::string(rest);
    }
    if (rest.starts_with("* ") || rest.starts_with("+ ")) {
        return std::string(line.substr(0, indent)) + "-" + std::string(rest.substr(1));
    }
    return std::string(line.substr(0, indent)) + std::string(rest);
}

// Without "**", "__", "~~" and "`".
std::string WithoutInlineMarks(std::string_view line) {
    std::string out;
    out.reserve(line.size());
    for (std::size_t pos = 0; pos < line.size();) {
        const std::string_view rest = line.substr(pos);
        if (rest.starts_with("**") || rest.starts_with("__") || rest.starts_with("~~")) {
            pos += 2;
        } else if (rest[0] == '`') {
            ++pos;
        } else {
            out.push_back(rest[0]);
            ++pos;
        }
    }
    return out;
}

std::vector<std::string_view> Lines(std::string_view text) {
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    for (std::size_t pos = 0; pos <= text.size(); ++pos) {
        if (pos == text.size() || text[pos] == '\n' || text[pos] == '\r') {
            lines.push_back(text.substr(start, pos - start));
            if (pos + 1 < text.size() && text[pos] == '\r' && text[pos + 1] == '\n') {
                ++pos;
            }
            start = pos + 1;
        }
    }
    return lines;
}

bool IsAsciiAlnum(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// A sentence end: 。！？ always, ASCII . ! ? when no letter or digit follows ("3.14").
bool EndsSentence(std::string_view text, std::size_t pos, std::size_t length) {
    const std::string_view mark = text.substr(pos, length);
    if (mark == "\xe3\x80\x82" || mark == "\xef\xbc\x81" || mark == "\xef\xbc\x9f") {
        return true;
    }
    if (mark != "." && mark != "!" && mark != "?") {
        return false;
    }
    return pos + 1 >= text.size() || !IsAsciiAlnum(text[pos + 1]);
}

// Quotes and brackets that close a sentence after its end mark: ” ’ 」 』 ） " ' ).
bool ClosesSentence(std::string_view mark) {
    for (const std::string_view closer : {"\xe2\x80\x9d", "\xe2\x80\x99", "\xe3\x80\x8d",
                                          "\xe3\x80\x8f", "\xef\xbc\x89", "\"", "'", ")"}) {
        if (mark == closer) {
            return true;
        }
    }
    return false;
}

constexpr std::string_view ELLIPSIS = "\xe2\x80\xa6";  // …

}  // namespace

std::string PlainAnswerText(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    bool in_fence = false;
    bool blank_pending = false;
    for (const std::string_view raw : Lines(utf8)) {
        if (IsFence(raw)) {
            in_fence = !in_fence;
            continue;
        }
        std::string line;
        if (in_fence) {
            line = std::string(TrimLineEnd(raw));
        } else if (!IsRule(raw)) {
            line = std::string(TrimLineEnd(WithoutInlineMarks(WithoutBlockMarks(raw))));
        }
        if (line.find_first_not_of(" \t") == std::string::npos) {
            blank_pending = !out.empty();
            continue;
        }
        if (blank_pending) {
            out += "\n\n";
        } else if (!out.empty()) {
            out += '\n';
        }
        blank_pending = false;
        out += line;
    }
    const std::size_t start = out.find_first_not_of(" \t");
    return start == std::string::npos ? std::string() : out.substr(start);
}

std::string CutAtSentenceEnd(std::string_view utf8, std::size_t max_chars) {
    std::size_t chars = 0;
    std::size_t pos = 0;
    std::size_t hard_bytes = 0;  // where the (max_chars - 1)-th ends, room for "…"
    std::size_t cut_bytes = 0;   // just after the last sentence end within the limit
    std::size_t cut_chars = 0;
    while (pos < utf8.size()) {
        const std::size_t length = CharBytesAt(utf8, pos);
        if (chars == max_chars) {
            break;  // the text is longer than the limit
        }
        ++chars;
        if (utf8[pos] == '\n') {
            cut_bytes = pos;
            cut_chars = chars - 1;
        } else if (EndsSentence(utf8, pos, length)) {
            std::size_t end = pos + length;
            std::size_t end_chars = chars;
            while (end < utf8.size() && end_chars < max_chars &&
                   ClosesSentence(utf8.substr(end, CharBytesAt(utf8, end)))) {
                end += CharBytesAt(utf8, end);
                ++end_chars;
            }
            cut_bytes = end;
            cut_chars = end_chars;
        }
        pos += length;
        if (chars + 1 == max_chars) {
            hard_bytes = pos;
        }
    }
    if (pos >= utf8.size()) {
        return std::string(utf8);
    }
    if (max_chars == 0) {
        return {};
    }
    if (cut_chars * 2 >= max_chars) {
        std::string_view kept = utf8.substr(0, cut_bytes);
        while (!kept.empty() &&
               (kept.back() == '\n' || kept.back() == ' ' || kept.back() == '\t')) {
            kept.remove_suffix(1);
        }
        return std::string(kept);
    }
    return std::string(utf8.substr(0, max_chars == 1 ? 0 : hard_bytes)) + std::string(ELLIPSIS);
}

std::string ChatAnswerText(std::string_view utf8, std::size_t max_chars) {
    return platform::Utf8ToGbkDropping(CutAtSentenceEnd(PlainAnswerText(utf8), max_chars));
}

}  // namespace zelmo::ai
