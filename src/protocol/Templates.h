#pragma once

#include <string>
#include <string_view>

#include "platform/Clock.h"
#include "protocol/Session.h"

namespace zelmo::protocol {

// Body start of the status reports; the report follows.
inline constexpr std::string_view STATUS_REPORT_PREFIX = R"({"BaseRequest":{"Uin":0,"Sid":0},)";
// The whole webwxinit body (Uin as a JSON string).
inline constexpr std::string_view INIT_BODY =
    R"({"BaseRequest":{"Uin":"{uin}","Sid":"{sid}","Skey":"@{skey}","DeviceID":"{deviceid}"}})";
// The whole webwxsync body (Uin as a number, no Skey or DeviceID).
inline constexpr std::string_view SYNC_BODY =
    R"({"BaseRequest":{"Uin":{uin},"Sid":"{sid}"},"SyncKey":{SyncKey},"rr":{time}})";
// Body start of every other request; the request's own fields follow.
inline constexpr std::string_view BASE_REQUEST_PREFIX =
    R"({"BaseRequest":{"Uin":{uin},"Sid":"{sid}","Skey":"@{skey}","DeviceID":"{deviceid}"},)";

// Per-request values. Inserted raw: the caller JSON-escapes message and remarkname.
struct CallValues {
    std::string_view username;
    std::string_view from;
    std::string_view to;
    std::string_view message;
    std::string_view remarkname;
    std::string_view list;
};

// Replaces every placeholder ({fun} {uin} {sid} {skey} {pass_ticket} {deviceid} {uuid}
// {Delay} {time} {SyncKey} and the CallValues ones) in one pass, so text inside a value is
// never expanded again. Every {time} of one call gets the same fresh TimeStamp; unknown
// braces stay as they are.
std::string FillTemplate(std::string_view text, const Session& session,
                         std::string_view sync_key_json, platform::Clock& clock,
                         const CallValues& call = {});
// Reads the state's SyncKey only when the template holds {SyncKey}, so requests of other
// threads never race the heartbeat's SyncKey updates.
std::string FillTemplate(std::string_view text, const ProtocolState& state, platform::Clock& clock,
                         const CallValues& call = {});

}  // namespace zelmo::protocol
