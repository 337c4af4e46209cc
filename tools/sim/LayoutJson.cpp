#include "sim/LayoutJson.h"

namespace sim {

LayoutWriter::LayoutWriter() : m_out("{\n"), m_frames{Frame{}} {}

void LayoutWriter::BeginMember(std::string_view key) {
    Frame& frame = m_frames.back();
    if (frame.last == Last::Object) {
        m_out += "\n,\n";
    } else if (frame.last == Last::Value) {
        m_out += ",\n";
    }
    m_out += '"';
    m_out += key;
    m_out += "\": ";
}

void LayoutWriter::String(std::string_view key, std::string_view value) {
    BeginMember(key);
    m_out += '"';
    m_out += EscapeJson(value);
    m_out += '"';
    m_frames.back().last = Last::Value;
}

void LayoutWriter::Number(std::string_view key, std::int64_t value) {
    BeginMember(key);
    m_out += std::to_string(value);
    m_frames.back().last = Last::Value;
}

void LayoutWriter::BeginObject(std::string_view key) {
    BeginMember(key);
    m_out += "{\n";
    m_frames.push_back(Frame{});
}

void LayoutWriter::EndObject() {
    m_frames.pop_back();
    m_out += "\n}";
    m_frames.back().last = Last::Object;
}

void LayoutWriter::BeginArray(std::string_view key) {
    BeginMember(key);
    m_out += '[';
    m_frames.push_back(Frame{true, false, Last::None});
}

void LayoutWriter::NextElement() {
    Frame& frame = m_frames.back();
    if (frame.has_element) {
        m_out += "\n}\n,{\n";
    } else {
        m_out += "{\n";
    }
    frame.has_element = true;
    frame.last = Last::None;
}

void LayoutWriter::EndArray() {
    const bool had_element = m_frames.back().has_element;
    m_frames.pop_back();
    m_out += had_element ? "\n}\n]" : "]";
    m_frames.back().last = Last::Value;
}

void LayoutWriter::EmptyArray(std::string_view key) {
    BeginMember(key);
    m_out += "[]";
    m_frames.back().last = Last::Value;
}

std::string LayoutWriter::Finish() {
    m_out += "\n}\n";
    return std::move(m_out);
}

std::string EscapeJson(std::string_view text) {
    static constexpr char HEX[] = "0123456789abcdef";
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (static_cast<unsigned char>(c) < 0x20) {
                    out += "\\u00";
                    out += HEX[(c >> 4) & 15];
                    out += HEX[c & 15];
                } else {
                    out += c;
                }
        }
    }
    return out;
}

}  // namespace sim
