#include "contacts/RemarkRequest.h"

#include <string>
#include <utility>

#include "protocol/JsonText.h"
#include "protocol/TextHelpers.h"
#include "protocol/WebRequest.h"

namespace zelmo::contacts {

namespace {

constexpr std::string_view OPLOG_PATH =
    "/cgi-bin/mmwebwx-bin/webwxoplog?r={time}&skey=%40{skey}&pass_ticket={pass_ticket}";
constexpr std::string_view OPLOG_FIELDS =
    R"("CmdId":2,"UserName":"{username}","BlackType":0,"RemarkName":"{remarkname}"})";

}  // namespace

std::string SetRemarkName(const protocol::ServiceLink& link, const protocol::ProtocolState& state,
                          std::string_view user_name, std::string_view remark) {
    const std::string escaped = protocol::JsonEscape(remark);
    protocol::CallValues call;
    call.username = user_name;
    call.remarkname = escaped;
    const std::string body = std::string(protocol::BASE_REQUEST_PREFIX) + std::string(OPLOG_FIELDS);
    const std::string answer = protocol::PostToWebHost(link, state, OPLOG_PATH, body, call);
    return protocol::ExtractBetween(answer, "Ret\": ", ",");
}

bool CommitRemark(const protocol::ServiceLink& link, const protocol::ProtocolState& state,
                  const jobs::ThreadStarter& start_thread, std::string user_name,
                  std::string_view old_remark, std::string new_remark, std::function<void()> sent) {
    if (new_remark == old_remark) {
        return false;
    }
    return start_thread([link, &state, user_name = std::move(user_name),
                         new_remark = std::move(new_remark), sent = std::move(sent)] {
        SetRemarkName(link, state, user_name, new_remark);
        if (sent) {
            sent();
        }
    });
}

}  // namespace zelmo::contacts
