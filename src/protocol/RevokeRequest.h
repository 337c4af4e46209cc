#pragma once

#include <string>
#include <string_view>

#include "protocol/ServiceLink.h"
#include "protocol/Session.h"

namespace zelmo::protocol {

// How long after a send the service still takes its recall.
inline constexpr long long REVOKE_LIMIT_MS = 120000;

// webwxrevokemsg: takes back a message the own account sent to `to`, named by the LocalID it
// was sent with and the MsgID the service answered. The answer's "Ret" text; empty when the
// request failed. Ids that are not all digits are refused without a request ("-1").
std::string PostRevokeMsg(const ServiceLink& link, const ProtocolState& state, std::string_view to,
                          std::string_view client_msg_id, std::string_view svr_msg_id);

}  // namespace zelmo::protocol
