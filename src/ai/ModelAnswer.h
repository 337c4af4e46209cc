#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace zelmo::ai {

// What went wrong with a model request, by the setting or the party it points at.
enum class ModelFault {
    None,
    Key,          // 401, 403: the key (or its access)
    Address,      // 404 without a word of the model: the base URL
    Model,        // 404 naming the model
    RateLimited,  // 429
    Server,       // any other status: the endpoint's trouble
    NoAnswer,     // no answer: time-out, connection, TLS, a body over the limit
    BadAnswer,    // status 200 with a body that is not the answer's shape (HTML, not JSON)
    Refused,      // the model declined: content null with a refusal
};

// One answer of the endpoint, read. Texts are UTF-8 as the endpoint wrote them.
struct ModelAnswer {
    ModelFault fault = ModelFault::None;
    long status = 0;      // 0 when no answer came
    std::string content;  // choices[0].message.content, when fault is None
    std::string model;    // the model that answered, as it named itself
    // The endpoint's error message, or the refusal: what the log row shows of its words.
    std::string detail;
    int retry_after_s = -1;      // 429's Retry-After in seconds; -1 when absent or a date
    bool cut_by_length = false;  // finish_reason "length": max_tokens ended it
    int total_tokens = -1;       // usage.total_tokens; -1 when not sent
};

// Reads an exchange's final status, raw header text and body; any bytes. A non-200 status
// is a fault whatever the body says; a 200 answers only with a string content (an empty one
// counts as BadAnswer).
ModelAnswer ReadModelAnswer(long status, std::string_view headers, std::string_view body);

}  // namespace zelmo::ai
