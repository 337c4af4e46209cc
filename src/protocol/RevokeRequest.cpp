#include "protocol/RevokeRequest.h"

#include "protocol/Templates.h"
#include "protocol/TextHelpers.h"
#include "protocol/WebRequest.h"

namespace zelmo::protocol {

namespace {

constexpr std::string_view REVOKE_PATH =
    "/cgi-bin/mmwebwx-bin/webwxrevokemsg?r={time}&skey=%40{skey}&pass_ticket={pass_ticket}";

bool IsDigits(std::string_view text) {
    return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
}

}  // namespace

std::string PostRevokeMsg(const ServiceLink& link, const ProtocolState& state, std::string_view to,
                          std::string_view client_msg_id, std::string_view svr_msg_id) {
    // Digits only, so the ids go into the body as they are and the fill leaves them be.
    if (!IsDigits(client_msg_id) || !IsDigits(svr_msg_id)) {
        return "-1";
    }
    CallValues call;
    call.to = to;
    std::string body(BASE_REQUEST_PREFIX);
    body.append(R"("ClientMsgId":")").append(client_msg_id);
    body.append(R"(","SvrMsgId":")").append(svr_msg_id);
    body.append(R"(","ToUserName":"{to}"})");
    const std::string answer = PostToWebHost(link, state, REVOKE_PATH, body, call);
    return ExtractBetween(answer, "Ret\": ", ",");
}

}  // namespace zelmo::protocol
