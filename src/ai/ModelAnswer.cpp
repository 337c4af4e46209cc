#include "ai/ModelAnswer.h"

#include <algorithm>
#include <charconv>

#include "platform/HeaderLines.h"
#include "platform/JsonReader.h"

namespace zelmo::ai {

namespace {

using platform::JsonReader;
using Token = JsonReader::Token;

constexpr std::size_t EXCERPT_BYTES = 160;
constexpr int MAX_RETRY_AFTER_S = 86400;

// Everything of a body that an answer or an error may carry.
struct Fields {
    bool complete = false;  // one whole JSON object
    bool content_is_string = false;
    std::string content;
    std::string refusal;
    std::string finish_reason;
    std::string model;
    std::string error_message;
    std::string error_code;
    int total_tokens = -1;
};

// A value after a key: a string's text decoded, a scalar as written, a container skipped
// (its token says which). Fault when the body breaks off.
struct Value {
    Token token = Token::Fault;
    std::string text;
};

Value ReadValue(JsonReader& reader) {
    Value value;
    value.token = reader.Next();
    switch (value.token) {
        case Token::String:
            value.text = platform::UnescapeJson(reader.Text());
            break;
        case Token::Scalar:
            value.text = std::string(reader.Text());
            break;
        case Token::ObjectStart:
        case Token::ArrayStart:
            if (reader.SkipRest() == Token::Fault) {
                value.token = Token::Fault;
            }
            break;
        default:
            value.token = Token::Fault;
            break;
    }
    return value;
}

// Calls on_key for each member of the object just opened; on_key reads the member's value
// and says whether the body is still sound. True once the object closed.
template <typename OnKey>
bool Members(JsonReader& reader, OnKey on_key) {
    for (;;) {
        const Token token = reader.Next();
        if (token == Token::ObjectEnd) {
            return true;
        }
        if (token != Token::Key || !on_key(reader.Text())) {
            return false;
        }
    }
}

// A member's value that should be an object: its members read, anything else passed over.
template <typename OnKey>
bool ObjectValue(JsonReader& reader, OnKey on_key) {
    const Token token = reader.Next();
    if (token == Token::ObjectStart) {
        return Members(reader, on_key);
    }
    if (token == Token::ArrayStart) {
        return reader.SkipRest() != Token::Fault;
    }
    return token == Token::String || token == Token::Scalar;
}

bool SkipMember(JsonReader& reader) {
    return reader.SkipValue() != Token::Fault;
}

bool ReadMessage(JsonReader& reader, Fields& fields) {
    return ObjectValue(reader, [&](std::string_view key) {
        if (key != "content" && key != "refusal") {
            return SkipMember(reader);
        }
        Value value = ReadValue(reader);
        if (key == "content") {
            fields.content_is_string = value.token == Token::String;
            fields.content = std::move(value.text);
        } else if (value.token == Token::String) {
            fields.refusal = std::move(value.text);
        }
        return value.token != Token::Fault;
    });
}

bool ReadChoice(JsonReader& reader, Fields& fields) {
    return Members(reader, [&](std::string_view key) {
        if (key == "message") {
            return ReadMessage(reader, fields);
        }
        if (key == "finish_reason") {
            Value value = ReadValue(reader);
            fields.finish_reason = std::move(value.text);
            return value.token != Token::Fault;
        }
        return SkipMember(reader);
    });
}

// Only the first choice counts; the rest of the list is passed over.
bool ReadChoices(JsonReader& reader, Fields& fields) {
    Token token = reader.Next();
    if (token != Token::ArrayStart) {
        return token == Token::ObjectStart ? reader.SkipRest() != Token::Fault
                                           : token == Token::String || token == Token::Scalar;
    }
    token = reader.Next();
    if (token == Token::ArrayEnd) {
        return true;
    }
    if (token == Token::ObjectStart) {
        if (!ReadChoice(reader, fields)) {
            return false;
        }
    } else if (token == Token::ArrayStart) {
        if (reader.SkipRest() == Token::Fault) {
            return false;
        }
    } else if (token != Token::String && token != Token::Scalar) {
        return false;
    }
    return reader.SkipRest() != Token::Fault;
}

bool ReadError(JsonReader& reader, Fields& fields) {
    const Token token = reader.Next();
    if (token == Token::String) {
        fields.error_message = platform::UnescapeJson(reader.Text());
        return true;
    }
    if (token != Token::ObjectStart) {
        return token == Token::Scalar ||
               (token == Token::ArrayStart && reader.SkipRest() != Token::Fault);
    }
    return Members(reader, [&](std::string_view key) {
        if (key != "message" && key != "code") {
            return SkipMember(reader);
        }
        Value value = ReadValue(reader);
        (key == "message" ? fields.error_message : fields.error_code) = std::move(value.text);
        return value.token != Token::Fault;
    });
}

int NumberOf(std::string_view text) {
    int value = -1;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size() && value >= 0 ? value : -1;
}

Fields ReadFields(std::string_view body) {
    Fields fields;
    JsonReader reader(body);
    if (reader.Next() != Token::ObjectStart) {
        return fields;
    }
    fields.complete = Members(reader, [&](std::string_view key) {
        if (key == "choices") {
            return ReadChoices(reader, fields);
        }
        if (key == "error") {
            return ReadError(reader, fields);
        }
        if (key == "model") {
            Value value = ReadValue(reader);
            if (value.token == Token::String) {
                fields.model = std::move(value.text);
            }
            return value.token != Token::Fault;
        }
        if (key == "usage") {
            return ObjectValue(reader, [&](std::string_view usage_key) {
                if (usage_key != "total_tokens") {
                    return SkipMember(reader);
                }
                const Value value = ReadValue(reader);
                fields.total_tokens = value.token == Token::Scalar ? NumberOf(value.text) : -1;
                return value.token != Token::Fault;
            });
        }
        return SkipMember(reader);
    });
    return fields;
}

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c + 32) : c; };
        if (lower(a[i]) != lower(b[i])) {
            return false;
        }
    }
    return true;
}

bool MentionsModel(std::string_view text) {
    for (std::size_t i = 0; i + 5 <= text.size(); ++i) {
        if (EqualsIgnoreCase(text.substr(i, 5), "model")) {
            return true;
        }
    }
    return false;
}

// Seconds of a "Retry-After" header given in seconds; -1 for none or an HTTP date.
int RetryAfter(std::string_view headers) {
    const std::string value = platform::HeaderValue(headers, "Retry-After");
    if (value.empty() || value.find_first_not_of("0123456789") != std::string::npos) {
        return -1;  // none, or an HTTP date: the back-off decides
    }
    if (value.size() > 9) {
        return MAX_RETRY_AFTER_S;
    }
    const int seconds = NumberOf(value);
    return seconds < 0 ? -1 : std::min(seconds, MAX_RETRY_AFTER_S);
}

// The start of a body that is no error object, on one line: what the endpoint said.
std::string Excerpt(std::string_view body) {
    std::string text(body.substr(0, EXCERPT_BYTES));
    for (char& c : text) {
        if (static_cast<unsigned char>(c) < ' ') {
            c = ' ';
        }
    }
    return text;
}

ModelFault FaultOfStatus(long status, const Fields& fields) {
    switch (status) {
        case 401:
        case 403:
            return ModelFault::Key;
        case 404:
            return MentionsModel(fields.error_code) || MentionsModel(fields.error_message)
                       ? ModelFault::Model
                       : ModelFault::Address;
        case 429:
            return ModelFault::RateLimited;
        default:
            return ModelFault::Server;
    }
}

}  // namespace

ModelAnswer ReadModelAnswer(long status, std::string_view headers, std::string_view body) {
    ModelAnswer answer;
    answer.status = status;
    if (status == 0) {
        answer.fault = ModelFault::NoAnswer;
        return answer;
    }
    Fields fields = ReadFields(body);
    answer.model = std::move(fields.model);
    answer.total_tokens = fields.total_tokens;
    if (status != 200) {
        answer.fault = FaultOfStatus(status, fields);
        answer.retry_after_s = RetryAfter(headers);
        answer.detail =
            fields.error_message.empty() ? Excerpt(body) : std::move(fields.error_message);
        return answer;
    }
    if (fields.complete && fields.content_is_string && !fields.content.empty()) {
        answer.content = std::move(fields.content);
        answer.cut_by_length = fields.finish_reason == "length";
        return answer;
    }
    if (fields.complete && !fields.refusal.empty()) {
        answer.fault = ModelFault::Refused;
        answer.detail = std::move(fields.refusal);
        return answer;
    }
    answer.fault = ModelFault::BadAnswer;
    answer.detail = !fields.error_message.empty() ? std::move(fields.error_message) : Excerpt(body);
    return answer;
}

}  // namespace zelmo::ai
