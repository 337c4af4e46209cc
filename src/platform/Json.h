#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

namespace zelmo::platform {

// A JSON value for the requests and answers that need a whole document (OneBot actions and
// events): null, a boolean, an integer or a floating number, a UTF-8 string, an array or an
// object whose members keep their order. Raw holds JSON text made elsewhere, written as it
// is (events kept as text and sent inside an answer); the parser never makes one.
class Json {
public:
    enum class Type : std::uint8_t { Null, Bool, Int, Double, String, Array, Object, Raw };
    using Array = std::vector<Json>;
    using Member = std::pair<std::string, Json>;
    using Object = std::vector<Member>;

    Json() = default;
    Json(std::nullptr_t) {}
    Json(bool value) : m_value(value) {}
    Json(int value) : m_value(static_cast<std::int64_t>(value)) {}
    Json(std::int64_t value) : m_value(value) {}
    Json(double value) : m_value(value) {}
    Json(std::string value) : m_value(std::move(value)) {}
    Json(std::string_view value) : m_value(std::string(value)) {}
    Json(const char* value) : m_value(std::string(value)) {}
    Json(Array items) : m_value(std::move(items)) {}
    Json(Object members) : m_value(std::move(members)) {}

    static Json MakeArray() { return Json(Array{}); }
    static Json MakeObject() { return Json(Object{}); }
    static Json MakeRaw(std::string text);

    Type GetType() const;
    bool IsNull() const { return GetType() == Type::Null; }
    bool IsBool() const { return GetType() == Type::Bool; }
    bool IsInt() const { return GetType() == Type::Int; }
    bool IsNumber() const { return IsInt() || GetType() == Type::Double; }
    bool IsString() const { return GetType() == Type::String; }
    bool IsArray() const { return GetType() == Type::Array; }
    bool IsObject() const { return GetType() == Type::Object; }

    // The value, or false / 0 / "" / an empty list when it has another type.
    bool AsBool() const;
    std::int64_t AsInt() const;  // a double is cut toward zero (saturating)
    double AsDouble() const;
    const std::string& AsString() const;
    const Array& Items() const;
    const Object& Members() const;

    // An object's member; null when this is no object or has no such member (the first
    // of equal keys counts).
    const Json* Find(std::string_view key) const;
    // Sets a member (replacing one of the same key) and returns this; a null value becomes
    // an object first, any other non-object is left as it is.
    Json& Set(std::string_view key, Json value);
    // Appends to an array and returns this; a null value becomes an array first.
    Json& Push(Json value);

    bool operator==(const Json& other) const = default;

private:
    struct RawText {
        std::string text;
        bool operator==(const RawText&) const = default;
    };
    std::variant<std::monostate, bool, std::int64_t, double, std::string, Array, Object, RawText>
        m_value;

    friend void AppendJson(std::string& out, const Json& value);
};

// The most nested arrays and objects a parsed text may hold.
inline constexpr std::size_t JSON_MAX_DEPTH = 64;

// Parses one whole JSON text strictly (RFC 8259: no comments, no trailing commas, no
// control bytes inside strings, valid UTF-8 only, whitespace around the value allowed).
// Nothing on any fault, a nesting deeper than max_depth included. Integers that fit 64
// bits stay integers; other numbers become doubles (an out-of-range one is a fault).
std::optional<Json> ParseJson(std::string_view text, std::size_t max_depth = JSON_MAX_DEPTH);

// Compact JSON text. Strings go out as UTF-8 with '"', '\' and control bytes escaped; a byte
// that is not valid UTF-8 becomes U+FFFD, so the text is always valid. A double that is not
// finite is written as null.
std::string WriteJson(const Json& value);
void AppendJson(std::string& out, const Json& value);
// One string as a JSON string literal, quotes included.
void AppendJsonString(std::string& out, std::string_view utf8);

}  // namespace zelmo::platform
