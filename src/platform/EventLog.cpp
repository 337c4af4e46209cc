#include "platform/EventLog.h"

#include <re2/re2.h>

#include <cstdio>
#include <ctime>
#include <memory>
#include <utility>
#include <vector>

#include "platform/Clock.h"
#include "platform/Encoding.h"

namespace zelmo::platform {

namespace {

// A chat text pasted into a box could be long: a line stays readable.
constexpr std::size_t MAX_TEXT_BYTES = 2000;

struct Masking {
    std::unique_ptr<RE2> pattern;
    std::string replacement;
};

const std::vector<Masking>& Maskings() {
    static const std::vector<Masking> maskings = [] {
        RE2::Options options;
        // Bytes: a caller's text may be any bytes; the keys are ASCII.
        options.set_encoding(RE2::Options::EncodingLatin1);
        options.set_case_sensitive(false);
        options.set_log_errors(false);
        const std::string keys =
            "skey|pass_?ticket|wxsid|sid|ticket|uuid|webwx_data_ticket|webwx_auth_ticket|"
            "webwxuvid|wxpluginkey|mm_lang_token|data_ticket|auth_ticket";
        std::vector<Masking> list;
        auto add = [&list, &options](const std::string& pattern, std::string replacement) {
            list.push_back({std::make_unique<RE2>(pattern, options), std::move(replacement)});
        };
        add("((?:set-)?cookie:)[^\\r\\n]*", "\\1 ***");
        add("(\\b(?:" + keys + ")=)[^&;\\s\"'<>,)]+", "\\1***");
        add("(\"(?:" + keys + ")\"\\s*:\\s*\")(?:[^\"\\\\]|\\\\.)*", "\\1***");
        add("(<(?:" + keys + ")>)[^<]*", "\\1***");
        add("@crypt_[A-Za-z0-9_\\-+/=]+", "@crypt_***");
        // A language model's key, as an Authorization header carries it.
        add("(bearer\\s+)[^\\s\"'<>,]+", "\\1***");
        return list;
    }();
    return maskings;
}

std::string TwoDigits(int value) {
    char text[8];
    std::snprintf(text, sizeof text, "%02d", value);
    return text;
}

std::string Stamp(std::int64_t unix_ms) {
    const auto seconds = static_cast<std::time_t>(unix_ms / 1000);
    std::tm parts{};
    localtime_r(&seconds, &parts);
    return std::to_string(parts.tm_year + 1900) + "-" + TwoDigits(parts.tm_mon + 1) + "-" +
           TwoDigits(parts.tm_mday) + " " + TwoDigits(parts.tm_hour) + ":" +
           TwoDigits(parts.tm_min) + ":" + TwoDigits(parts.tm_sec);
}

// Cut at a character boundary: a UTF-8 continuation byte never starts the cut-off part.
std::string_view CutText(std::string_view text) {
    if (text.size() <= MAX_TEXT_BYTES) {
        return text;
    }
    std::size_t end = MAX_TEXT_BYTES;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) {
        --end;
    }
    return text.substr(0, end);
}

}  // namespace

void AppendEscaped(std::string& line, std::string_view text) {
    for (const char byte : text) {
        const auto code = static_cast<unsigned char>(byte);
        if (code >= 0x20 && code != 0x7F) {
            line += byte;
        } else if (byte == '\n') {
            line += "\\n";
        } else if (byte == '\r') {
            line += "\\r";
        } else if (byte == '\t') {
            line += "\\t";
        } else {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\x%02x", code);
            line += escape;
        }
    }
}

std::string MaskSecrets(std::string_view text) {
    std::string masked(text);
    for (const Masking& masking : Maskings()) {
        RE2::GlobalReplace(&masked, *masking.pattern, masking.replacement);
    }
    return masked;
}

std::string EventLine(std::int64_t unix_ms, std::string_view tag, std::string_view utf8_text) {
    // Masked before the cut, so a token cut in half is still masked.
    const std::string masked = MaskSecrets(utf8_text);
    const std::string_view text = CutText(masked);
    std::string line = Stamp(unix_ms);
    line += ' ';
    AppendEscaped(line, tag);
    line += ' ';
    AppendEscaped(line, text);
    if (text.size() < masked.size()) {
        line += " ...";
    }
    line += '\n';
    return line;
}

EventLog::EventLog(std::string path, const Clock& clock, std::size_t max_bytes, int files)
    : m_clock(clock), m_file(std::move(path), max_bytes, files) {}

bool EventLog::Write(std::string_view tag, std::string_view gbk_text) {
    return m_file.Append(EventLine(m_clock.UnixMs(), tag, GbkToUtf8(gbk_text)));
}

}  // namespace zelmo::platform
