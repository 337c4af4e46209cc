#pragma once

#include <string>

#include "protocol/ServiceLink.h"
#include "protocol/Session.h"

namespace zelmo::protocol {

// The account's head image: a GET of the profile's HeadImgUrl with the session's cookies
// (default time-out). The image bytes; empty without a URL or on failure. Blocks.
std::string FetchHeadImage(const ServiceLink& link, const ProtocolState& state);

}  // namespace zelmo::protocol
