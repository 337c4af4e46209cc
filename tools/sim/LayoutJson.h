#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace sim {

// Writes JSON in the service's own layout: LF line ends, no indentation, one member per
// line as "Key": value, a nested object's "}" alone on its line with the comma on the
// next, arrays of objects as "}" LF ",{", an array's "]" sharing the line with its comma,
// and one LF after the final "}". Strings keep UTF-8 as is; '"', '\' and control bytes
// are escaped, '/' is not.
class LayoutWriter {
public:
    LayoutWriter();

    void String(std::string_view key, std::string_view value);
    void Number(std::string_view key, std::int64_t value);
    void BeginObject(std::string_view key);
    void EndObject();
    // An array of objects; call NextElement() before each element's members.
    void BeginArray(std::string_view key);
    void NextElement();
    void EndArray();
    void EmptyArray(std::string_view key);

    // Closes the top level and hands the text over; the writer is spent.
    std::string Finish();

private:
    enum class Last { None, Value, Object };
    struct Frame {
        bool is_array = false;
        bool has_element = false;
        Last last = Last::None;
    };
    void BeginMember(std::string_view key);

    std::string m_out;
    std::vector<Frame> m_frames;
};

// JSON string escaping as the service does it (no quotes around).
std::string EscapeJson(std::string_view text);

}  // namespace sim
