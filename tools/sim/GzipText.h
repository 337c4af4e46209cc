#pragma once

#include <string>
#include <string_view>

namespace sim {

// A gzip member holding `data`; empty on failure.
std::string GzipCompress(std::string_view data);

}  // namespace sim
