#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/JsonReader.h"

namespace zelmo::protocol {

// Small steps of reading an answer with a JsonReader. Each one leaves the reader right
// after the value it was given, or at the fault.

// Reads on until the containers open above `depth` are closed.
void ReadPast(platform::JsonReader& reader, std::size_t depth);

// The value after a key: a string (with its quotes) or scalar as written; empty for a
// container or a cut value.
std::string_view ScalarValue(platform::JsonReader& reader);

// The value after a "BaseResponse" key: its "Ret" as written (GBK); empty when missing.
std::string BaseResponseRet(platform::JsonReader& reader);

}  // namespace zelmo::protocol
