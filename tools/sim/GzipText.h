#pragma once

#include <string>
#include <string_view>

namespace sim {

// A gzip member holding `data`; empty on failure.
std::string GzipCompress(std::string_view data);
// The text of a complete gzip member; empty when `data` is not one.
std::string GzipDecompress(std::string_view data);

}  // namespace sim
