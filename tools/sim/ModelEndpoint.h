#pragma once

#include <string_view>

#include "sim/Simulator.h"

namespace sim {

// Reads a script as the control API takes it: the ModelScript fields by name ("match",
// "model", "status", "content" (null for a null content), "refusal", "body", "content_type",
// "delay_ms", "retry_after_s", "prompt_tokens", "completion_tokens", "finish_reason",
// "times"). False when the text is no object or a field has the wrong type.
bool ModelScriptFromJsonText(std::string_view json_text, ModelScript& script);

}  // namespace sim
