#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace zelmo::platform {

// Standard base64 (RFC 4648, "+/", with "=" padding).
std::string Base64Encode(std::string_view bytes);
// The bytes of a padded base64 text; nothing for any other byte, a wrong length or padding
// anywhere but at the end.
std::optional<std::string> Base64Decode(std::string_view text);

}  // namespace zelmo::platform
