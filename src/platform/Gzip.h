#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/BodyLimit.h"

namespace zelmo::platform {

// Decodes a gzip (or zlib) stream. Returns what could be decoded: a truncated or
// garbage body yields a partial or empty result, never a hang. Empty as soon as the
// decoded bytes would pass max_bytes, or when memory runs out.
std::string Gunzip(std::string_view compressed, std::size_t max_bytes = MAX_BODY_BYTES);

// Encodes as a gzip stream (tests and benchmarks).
std::string Gzip(std::string_view plain);

}  // namespace zelmo::platform
