#include "platform/Json.h"

#include <charconv>
#include <cmath>
#include <limits>

#include "platform/Utf8Pieces.h"

namespace zelmo::platform {

namespace {

const std::string empty_string;
const Json::Array empty_array;
const Json::Object empty_object;

// Length of the valid UTF-8 sequence at data[0] (overlong forms, surrogates and values past
// U+10FFFF are invalid); 0 when invalid or cut.
std::size_t Utf8SequenceLength(const unsigned char* data, std::size_t size) {
    const unsigned char lead = data[0];
    std::size_t length = 0;
    std::uint32_t min = 0;
    std::uint32_t code = 0;
    if (lead < 0x80) {
        return 1;
    }
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        min = 0x80;
        code = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        min = 0x800;
        code = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        min = 0x10000;
        code = lead & 0x07;
    } else {
        return 0;
    }
    if (size < length) {
        return 0;
    }
    for (std::size_t i = 1; i < length; ++i) {
        if ((data[i] & 0xC0) != 0x80) {
            return 0;
        }
        code = (code << 6) | (data[i] & 0x3F);
    }
    if (code < min || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
        return 0;
    }
    return length;
}

class Parser {
public:
    Parser(std::string_view text, std::size_t max_depth)
        : m_pos(text.data()), m_end(text.data() + text.size()), m_max_depth(max_depth) {}

    std::optional<Json> Document() {
        SkipBlanks();
        Json value;
        if (!Value(value, 0)) {
            return std::nullopt;
        }
        SkipBlanks();
        if (m_pos != m_end) {
            return std::nullopt;
        }
        return value;
    }

private:
    void SkipBlanks() {
        while (m_pos != m_end &&
               (*m_pos == ' ' || *m_pos == '\t' || *m_pos == '\n' || *m_pos == '\r')) {
            ++m_pos;
        }
    }

    bool Literal(std::string_view word) {
        if (static_cast<std::size_t>(m_end - m_pos) < word.size() ||
            std::string_view(m_pos, word.size()) != word) {
            return false;
        }
        m_pos += word.size();
        return true;
    }

    bool Value(Json& out, std::size_t depth) {
        if (m_pos == m_end) {
            return false;
        }
        switch (*m_pos) {
            case '{':
                return ObjectValue(out, depth + 1);
            case '[':
                return ArrayValue(out, depth + 1);
            case '"': {
                std::string text;
                if (!String(text)) {
                    return false;
                }
                out = Json(std::move(text));
                return true;
            }
            case 't':
                out = Json(true);
                return Literal("true");
            case 'f':
                out = Json(false);
                return Literal("false");
            case 'n':
                out = Json();
                return Literal("null");
            default:
                return Number(out);
        }
    }

    bool ObjectValue(Json& out, std::size_t depth) {
        if (depth > m_max_depth) {
            return false;
        }
        ++m_pos;
        Json::Object members;
        SkipBlanks();
        if (m_pos != m_end && *m_pos == '}') {
            ++m_pos;
            out = Json(std::move(members));
            return true;
        }
        for (;;) {
            SkipBlanks();
            if (m_pos == m_end || *m_pos != '"') {
                return false;
            }
            std::string key;
            if (!String(key)) {
                return false;
            }
            SkipBlanks();
            if (m_pos == m_end || *m_pos != ':') {
                return false;
            }
            ++m_pos;
            SkipBlanks();
            Json value;
            if (!Value(value, depth)) {
                return false;
            }
            members.emplace_back(std::move(key), std::move(value));
            SkipBlanks();
            if (m_pos == m_end) {
                return false;
            }
            if (*m_pos == '}') {
                ++m_pos;
                out = Json(std::move(members));
                return true;
            }
            if (*m_pos != ',') {
                return false;
            }
            ++m_pos;
        }
    }

    bool ArrayValue(Json& out, std::size_t depth) {
        if (depth > m_max_depth) {
            return false;
        }
        ++m_pos;
        Json::Array items;
        SkipBlanks();
        if (m_pos != m_end && *m_pos == ']') {
            ++m_pos;
            out = Json(std::move(items));
            return true;
        }
        for (;;) {
            SkipBlanks();
            Json value;
            if (!Value(value, depth)) {
                return false;
            }
            items.push_back(std::move(value));
            SkipBlanks();
            if (m_pos == m_end) {
                return false;
            }
            if (*m_pos == ']') {
                ++m_pos;
                out = Json(std::move(items));
                return true;
            }
            if (*m_pos != ',') {
                return false;
            }
            ++m_pos;
        }
    }

    bool String(std::string& out) {
        ++m_pos;  // the opening quote
        for (;;) {
            const auto* data = reinterpret_cast<const unsigned char*>(m_pos);
            const auto left = static_cast<std::size_t>(m_end - m_pos);
            // Plain ASCII goes over in runs; quotes, escapes and control bytes stop a run.
            std::size_t run = 0;
            while (run < left && data[run] >= 0x20 && data[run] < 0x80 && data[run] != '"' &&
                   data[run] != '\\') {
                ++run;
            }
            out.append(m_pos, run);
            m_pos += run;
            if (m_pos == m_end) {
                return false;
            }
            const auto c = static_cast<unsigned char>(*m_pos);
            if (c == '"') {
                ++m_pos;
                return true;
            }
            if (c < 0x20) {
                return false;
            }
            if (c == '\\') {
                if (!Escape(out)) {
                    return false;
                }
                continue;
            }
            const std::size_t length =
                Utf8SequenceLength(data + run, static_cast<std::size_t>(m_end - m_pos));
            if (length == 0) {
                return false;
            }
            out.append(m_pos, length);
            m_pos += length;
        }
    }

    bool Escape(std::string& out) {
        if (m_end - m_pos < 2) {
            return false;
        }
        const char letter = m_pos[1];
        if (letter != 'u') {
            const char byte = JsonSimpleEscape(letter);
            if (byte == '\0') {
                return false;
            }
            out.push_back(byte);
            m_pos += 2;
            return true;
        }
        const std::string_view rest(m_pos, static_cast<std::size_t>(m_end - m_pos));
        const std::optional<std::uint32_t> unit = ParseHex4(rest, 2);
        if (!unit) {
            return false;
        }
        std::uint32_t code = *unit;
        m_pos += 6;
        if (code >= 0xDC00 && code <= 0xDFFF) {
            return false;
        }
        if (code >= 0xD800 && code <= 0xDBFF) {
            const std::string_view after(m_pos, static_cast<std::size_t>(m_end - m_pos));
            if (after.size() < 6 || after[0] != '\\' || after[1] != 'u') {
                return false;
            }
            const std::optional<std::uint32_t> low = ParseHex4(after, 2);
            if (!low || *low < 0xDC00 || *low > 0xDFFF) {
                return false;
            }
            code = 0x10000 + ((code - 0xD800) << 10) + (*low - 0xDC00);
            m_pos += 6;
        }
        AppendUtf8(out, code);
        return true;
    }

    bool Number(Json& out) {
        const char* start = m_pos;
        if (m_pos != m_end && *m_pos == '-') {
            ++m_pos;
        }
        if (m_pos == m_end || *m_pos < '0' || *m_pos > '9') {
            return false;
        }
        // No leading zeros: "0" stands alone before a fraction or exponent.
        if (*m_pos == '0') {
            ++m_pos;
        } else {
            while (m_pos != m_end && *m_pos >= '0' && *m_pos <= '9') {
                ++m_pos;
            }
        }
        bool integral = true;
        if (m_pos != m_end && *m_pos == '.') {
            integral = false;
            ++m_pos;
            if (!Digits()) {
                return false;
            }
        }
        if (m_pos != m_end && (*m_pos == 'e' || *m_pos == 'E')) {
            integral = false;
            ++m_pos;
            if (m_pos != m_end && (*m_pos == '+' || *m_pos == '-')) {
                ++m_pos;
            }
            if (!Digits()) {
                return false;
            }
        }
        if (integral) {
            std::int64_t value = 0;
            const auto [end, error] = std::from_chars(start, m_pos, value);
            if (error == std::errc() && end == m_pos) {
                out = Json(value);
                return true;
            }
        }
        double value = 0;
        const auto [end, error] = std::from_chars(start, m_pos, value);
        if (error != std::errc() || end != m_pos || !std::isfinite(value)) {
            return false;
        }
        out = Json(value);
        return true;
    }

    bool Digits() {
        const char* start = m_pos;
        while (m_pos != m_end && *m_pos >= '0' && *m_pos <= '9') {
            ++m_pos;
        }
        return m_pos != start;
    }

    const char* m_pos;
    const char* m_end;
    std::size_t m_max_depth;
};

constexpr char HEX[] = "0123456789abcdef";

}  // namespace

Json Json::MakeRaw(std::string text) {
    Json value;
    value.m_value = RawText{std::move(text)};
    return value;
}

Json::Type Json::GetType() const {
    return static_cast<Type>(m_value.index());
}

bool Json::AsBool() const {
    const bool* value = std::get_if<bool>(&m_value);
    return value != nullptr && *value;
}

std::int64_t Json::AsInt() const {
    if (const auto* value = std::get_if<std::int64_t>(&m_value)) {
        return *value;
    }
    if (const auto* value = std::get_if<double>(&m_value)) {
        constexpr double LIMIT = 9.2e18;
        if (std::isnan(*value)) {
            return 0;
        }
        if (*value >= LIMIT) {
            return std::numeric_limits<std::int64_t>::max();
        }
        if (*value <= -LIMIT) {
            return std::numeric_limits<std::int64_t>::min();
        }
        return static_cast<std::int64_t>(*value);
    }
    return 0;
}

double Json::AsDouble() const {
    if (const auto* value = std::get_if<double>(&m_value)) {
        return *value;
    }
    if (const auto* value = std::get_if<std::int64_t>(&m_value)) {
        return static_cast<double>(*value);
    }
    return 0;
}

const std::string& Json::AsString() const {
    const auto* value = std::get_if<std::string>(&m_value);
    return value != nullptr ? *value : empty_string;
}

const Json::Array& Json::Items() const {
    const auto* value = std::get_if<Array>(&m_value);
    return value != nullptr ? *value : empty_array;
}

const Json::Object& Json::Members() const {
    const auto* value = std::get_if<Object>(&m_value);
    return value != nullptr ? *value : empty_object;
}

const Json* Json::Find(std::string_view key) const {
    const auto* members = std::get_if<Object>(&m_value);
    if (members == nullptr) {
        return nullptr;
    }
    for (const Member& member : *members) {
        if (member.first == key) {
            return &member.second;
        }
    }
    return nullptr;
}

Json& Json::Set(std::string_view key, Json value) {
    if (IsNull()) {
        m_value = Object{};
    }
    auto* members = std::get_if<Object>(&m_value);
    if (members == nullptr) {
        return *this;
    }
    for (Member& member : *members) {
        if (member.first == key) {
            member.second = std::move(value);
            return *this;
        }
    }
    members->emplace_back(std::string(key), std::move(value));
    return *this;
}

Json& Json::Push(Json value) {
    if (IsNull()) {
        m_value = Array{};
    }
    if (auto* items = std::get_if<Array>(&m_value)) {
        items->push_back(std::move(value));
    }
    return *this;
}

std::optional<Json> ParseJson(std::string_view text, std::size_t max_depth) {
    return Parser(text, max_depth).Document();
}

void AppendJsonString(std::string& out, std::string_view utf8) {
    out.push_back('"');
    const auto* data = reinterpret_cast<const unsigned char*>(utf8.data());
    const std::size_t size = utf8.size();
    std::size_t i = 0;
    while (i < size) {
        std::size_t run = i;
        while (run < size && data[run] >= 0x20 && data[run] < 0x80 && data[run] != '"' &&
               data[run] != '\\') {
            ++run;
        }
        out.append(utf8.data() + i, run - i);
        i = run;
        if (i == size) {
            break;
        }
        const unsigned char c = data[i];
        if (c >= 0x80) {
            const std::size_t length = Utf8SequenceLength(data + i, size - i);
            if (length == 0) {
                out.append("\xEF\xBF\xBD");
                ++i;
            } else {
                out.append(utf8.data() + i, length);
                i += length;
            }
            continue;
        }
        out.push_back('\\');
        switch (c) {
            case '"':
            case '\\':
                out.push_back(static_cast<char>(c));
                break;
            case '\n':
                out.push_back('n');
                break;
            case '\r':
                out.push_back('r');
                break;
            case '\t':
                out.push_back('t');
                break;
            case '\b':
                out.push_back('b');
                break;
            case '\f':
                out.push_back('f');
                break;
            default:
                out.append("u00");
                out.push_back(HEX[c >> 4]);
                out.push_back(HEX[c & 0x0F]);
        }
        ++i;
    }
    out.push_back('"');
}

void AppendJson(std::string& out, const Json& value) {
    switch (value.GetType()) {
        case Json::Type::Null:
            out.append("null");
            return;
        case Json::Type::Bool:
            out.append(value.AsBool() ? "true" : "false");
            return;
        case Json::Type::Int: {
            char buffer[24];
            const auto result = std::to_chars(buffer, buffer + sizeof buffer, value.AsInt());
            out.append(buffer, result.ptr);
            return;
        }
        case Json::Type::Double: {
            const double number = value.AsDouble();
            if (!std::isfinite(number)) {
                out.append("null");
                return;
            }
            char buffer[32];
            const auto result = std::to_chars(buffer, buffer + sizeof buffer, number);
            const std::string_view text(buffer, static_cast<std::size_t>(result.ptr - buffer));
            out.append(text);
            // A whole number stays a float for readers that tell them apart.
            if (text.find_first_of(".eE") == std::string_view::npos) {
                out.append(".0");
            }
            return;
        }
        case Json::Type::String:
            AppendJsonString(out, value.AsString());
            return;
        case Json::Type::Array: {
            out.push_back('[');
            bool first = true;
            for (const Json& item : value.Items()) {
                if (!first) {
                    out.push_back(',');
                }
                first = false;
                AppendJson(out, item);
            }
            out.push_back(']');
            return;
        }
        case Json::Type::Object: {
            out.push_back('{');
            bool first = true;
            for (const Json::Member& member : value.Members()) {
                if (!first) {
                    out.push_back(',');
                }
                first = false;
                AppendJsonString(out, member.first);
                out.push_back(':');
                AppendJson(out, member.second);
            }
            out.push_back('}');
            return;
        }
        case Json::Type::Raw:
            out.append(std::get<Json::RawText>(value.m_value).text);
            return;
    }
}

std::string WriteJson(const Json& value) {
    std::string out;
    AppendJson(out, value);
    return out;
}

}  // namespace zelmo::platform
