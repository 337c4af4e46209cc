#pragma once

#include <string>
#include <string_view>

#include "protocol/ServiceLink.h"
#include "protocol/Session.h"
#include "protocol/Templates.h"

namespace zelmo::protocol {

// Fills path_template (on the web-client host with the session's variant) and
// body_template, converts the body from GBK to UTF-8 and posts it ("post") with the
// session's cookies. The raw answer bytes; empty on failure.
std::string PostToWebHost(const ServiceLink& link, const ProtocolState& state,
                          std::string_view path_template, std::string_view body_template,
                          const CallValues& call = {}, int timeout_s = 0);

// The same for a post that only reads (a sync, a contact fetch): the service may see it
// twice without harm, so it may go out on a kept connection and save the handshake.
std::string PostReadToWebHost(const ServiceLink& link, const ProtocolState& state,
                              std::string_view path_template, std::string_view body_template,
                              const CallValues& call = {}, int timeout_s = 0);

}  // namespace zelmo::protocol
