#pragma once

#include <string>
#include <string_view>

namespace zelmo::platform {

// Decodes a gzip (or zlib) stream. Returns what could be decoded: a truncated or
// garbage body yields a partial or empty result, never a hang.
std::string Gunzip(std::string_view compressed);

// Encodes as a gzip stream (tests and benchmarks).
std::string Gzip(std::string_view plain);

}  // namespace zelmo::platform
