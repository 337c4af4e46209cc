#pragma once

#include <string>
#include <string_view>

namespace zelmo::platform {

// The value of the first header line named `name` (case ignored) in an answer's head
// ("Name: value" lines split by CR LF), without the blanks around it; empty when absent.
std::string HeaderValue(std::string_view headers, std::string_view name);

}  // namespace zelmo::platform
