#include "protocol/TextHelpers.h"

#include <algorithm>
#include <functional>
#include <limits>
#include <unordered_set>
#include <vector>

#include "platform/Encoding.h"
#include "platform/GbkText.h"
#include "platform/Utf8Pieces.h"

namespace zelmo::protocol {

namespace {

constexpr std::string_view SYNC_KEY_MARKER = "\"SyncKey\": ";
constexpr std::string_view KEY_MARKER = "\"Key\": ";
constexpr std::string_view VAL_MARKER = "\"Val\": ";
constexpr std::string_view TEXT_SEPARATOR = "%7C";

// A 1-based start as a 0-based offset (0 counts as 1).
std::size_t Offset(std::size_t start) {
    return start == 0 ? 0 : start - 1;
}

}  // namespace

std::string ExtractBetween(std::string_view text, std::string_view before, std::string_view after,
                           std::size_t start) {
    const std::size_t from = Offset(start);
    if (from >= text.size()) {
        return {};
    }
    std::size_t p1 = platform::FindGbk(text, before, from);
    if (p1 == std::string_view::npos) {
        return {};
    }
    p1 += before.size();
    const std::size_t p2 = platform::FindGbk(text, after, p1);
    if (p2 == std::string_view::npos) {
        return {};
    }
    return std::string(text.substr(p1, p2 - p1));
}

std::string TextAfter(std::string_view text, std::string_view marker) {
    const std::size_t found = platform::FindGbk(text, marker, 0, true);
    if (found == std::string_view::npos) {
        return {};
    }
    return std::string(text.substr(found + marker.size()));
}

std::string TextBefore(std::string_view text, std::string_view marker, std::size_t start,
                       bool ignore_case) {
    const std::size_t from = Offset(start);
    if (from > text.size()) {
        return {};
    }
    const std::size_t found = ignore_case ? platform::FindGbk(text, marker, from, true)
                                          : platform::FindGbk(text, marker, from);
    if (found == std::string_view::npos) {
        return {};
    }
    return std::string(text.substr(0, found));
}

std::string TimeStamp(platform::Clock& clock) {
    // Whole Unix seconds, whatever the local time zone, with a random millisecond part.
    const std::int64_t seconds = clock.UnixMs() / 1000;
    return std::to_string(seconds * 1000 + clock.Random(0, 999));
}

bool UpdateSyncKey(std::string_view answer, SyncKey& sync_key) {
    const std::string list = ExtractBetween(answer, SYNC_KEY_MARKER, "]");
    std::string text_form;
    std::string json_form;
    int count = 0;
    std::size_t piece_start = 0;
    // Only pieces followed by a "}" are entries; what follows the last "}" is not.
    for (std::size_t close = list.find('}'); close != std::string::npos;
         close = list.find('}', piece_start)) {
        const std::string_view piece =
            std::string_view(list).substr(piece_start, close - piece_start);
        piece_start = close + 1;
        const std::string key = ExtractBetween(piece, KEY_MARKER, ",");
        std::string val = TextAfter(piece, VAL_MARKER);
        // The value's line ends inside the piece: drop that line break.
        if (!val.empty()) {
            val.pop_back();
        }
        if (key.empty() || val.empty()) {
            return false;
        }
        text_form.append(key).append("_").append(val).append(TEXT_SEPARATOR);
        json_form.append("{\"Key\":").append(key).append(",\"Val\":").append(val).append("},");
        ++count;
    }
    if (count == 0) {
        return false;
    }
    text_form.resize(text_form.size() - TEXT_SEPARATOR.size());
    json_form.pop_back();
    sync_key.text = std::move(text_form);
    sync_key.json = "{\"Count\":" + std::to_string(count) + ",\"List\":[" + json_form + "]}";
    return true;
}

namespace {

// The matches of the pattern "span.*?span" ("." any byte, non-greedy), left to right and
// without overlap, found without a regular expression: "span" cannot overlap itself, so
// each match runs from a "span" to the next one that begins after it ends.
std::vector<std::string_view> SpanPairs(std::string_view text) {
    constexpr std::string_view SPAN = "span";
    std::vector<std::string_view> pairs;
    for (std::size_t open = text.find(SPAN); open != std::string_view::npos;) {
        const std::size_t close = text.find(SPAN, open + SPAN.size());
        if (close == std::string_view::npos) {
            break;
        }
        pairs.push_back(text.substr(open, close + SPAN.size() - open));
        open = text.find(SPAN, close + SPAN.size());
    }
    return pairs;
}

}  // namespace

std::string StripSpanTags(std::string_view text) {
    // Without "span" there is no match: only the "?" go (most names and signatures).
    if (text.find("span") == std::string_view::npos) {
        std::string result(text);
        std::erase(result, '?');
        return result;
    }
    std::unordered_set<std::string_view> elements;
    std::vector<std::size_t> lengths;  // distinct match lengths, longest first
    for (const std::string_view match : SpanPairs(text)) {
        if (elements.insert(match).second &&
            std::find(lengths.begin(), lengths.end(), match.size()) == lengths.end()) {
            lengths.push_back(match.size());
        }
    }
    std::sort(lengths.begin(), lengths.end(), std::greater<>());

    // One left-to-right pass removes every "<" + match + ">" at once: a pass per match
    // would turn a long text full of distinct emoji quadratic.
    std::string result;
    result.reserve(text.size());
    std::size_t pos = 0;
    while (pos < text.size()) {
        const char c = text[pos];
        if (c == '?') {
            ++pos;
            continue;
        }
        std::size_t removed = 0;
        if (c == '<' && !elements.empty() && text.substr(pos + 1).starts_with("span")) {
            for (const std::size_t length : lengths) {
                const std::size_t close = pos + 1 + length;
                if (close < text.size() && text[close] == '>' &&
                    elements.contains(text.substr(pos + 1, length))) {
                    removed = length + 2;
                    break;
                }
            }
        }
        if (removed != 0) {
            pos += removed;
            continue;
        }
        result.push_back(c);
        ++pos;
    }
    return result;
}

namespace {

// The character of one entity's name (the text between "&" and ";"); empty when unknown.
std::string EntityText(std::string_view name) {
    if (name == "lt") {
        return "<";
    }
    if (name == "gt") {
        return ">";
    }
    if (name == "amp") {
        return "&";
    }
    if (name == "quot") {
        return "\"";
    }
    if (name == "apos" || name == "#39") {
        return "'";
    }
    if (name.size() < 2 || name[0] != '#') {
        return {};
    }
    const bool hex = name[1] == 'x' || name[1] == 'X';
    const std::string_view digits = name.substr(hex ? 2 : 1);
    if (digits.empty() || digits.size() > 6) {
        return {};
    }
    unsigned long code = 0;
    for (const char c : digits) {
        int digit = -1;
        if (c >= '0' && c <= '9') {
            digit = c - '0';
        } else if (hex && c >= 'a' && c <= 'f') {
            digit = c - 'a' + 10;
        } else if (hex && c >= 'A' && c <= 'F') {
            digit = c - 'A' + 10;
        }
        if (digit < 0) {
            return {};
        }
        code = code * (hex ? 16 : 10) + static_cast<unsigned long>(digit);
    }
    if (code == 0 || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
        return {};
    }
    std::string utf8;
    platform::AppendUtf8(utf8, code);
    return platform::Utf8ToGbk(utf8);
}

constexpr std::size_t LONGEST_ENTITY = 9;  // "&#x10FFFF;" without the "&"

}  // namespace

long long IntegerValue(std::string_view text) {
    std::size_t pos = 0;
    while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\t')) {
        ++pos;
    }
    bool negative = false;
    if (pos < text.size() && (text[pos] == '-' || text[pos] == '+')) {
        negative = text[pos] == '-';
        ++pos;
    }
    constexpr long long LIMIT = std::numeric_limits<long long>::max();
    long long value = 0;
    for (; pos < text.size() && text[pos] >= '0' && text[pos] <= '9'; ++pos) {
        const int digit = text[pos] - '0';
        if (value > (LIMIT - digit) / 10) {
            value = LIMIT;
            break;
        }
        value = value * 10 + digit;
    }
    return negative ? -value : value;
}

std::string DecodeHtmlEntities(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t amp = platform::FindGbk(text, "&", pos);
        if (amp == std::string_view::npos) {
            break;
        }
        out.append(text.substr(pos, amp - pos));
        const std::size_t semicolon = text.find(';', amp + 1);
        if (semicolon != std::string_view::npos && semicolon - amp <= LONGEST_ENTITY) {
            const std::string decoded = EntityText(text.substr(amp + 1, semicolon - amp - 1));
            if (!decoded.empty()) {
                out.append(decoded);
                pos = semicolon + 1;
                continue;
            }
        }
        out.push_back('&');
        pos = amp + 1;
    }
    out.append(text.substr(std::min(pos, text.size())));
    return out;
}

}  // namespace zelmo::protocol
