#pragma once

#include <cstddef>

namespace zelmo::platform {

// The most bytes one answer body may hold, as received and again after gzip decoding. No
// answer of the service comes near it; past it a request fails (empty result) instead of
// letting a hostile or broken answer take the machine's memory.
inline constexpr std::size_t MAX_BODY_BYTES = std::size_t{64} << 20;

}  // namespace zelmo::platform
