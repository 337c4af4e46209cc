#include "contacts/ContactRequests.h"

#include "app/Robot.h"
#include "contacts/ContactAnswer.h"
#include "platform/Encoding.h"
#include "platform/FreeMemory.h"
#include "protocol/Heartbeat.h"
#include "protocol/TextHelpers.h"
#include "protocol/WebRequest.h"

namespace zelmo::contacts {

namespace {

constexpr std::string_view GET_CONTACT_PATH =
    "/cgi-bin/mmwebwx-bin/webwxgetcontact?skey=%40{skey}&pass_ticket={pass_ticket}&r={time}"
    "&skey=%40{skey}&pass_ticket={pass_ticket}";
// No BaseRequest: the service takes the session from the cookies.
constexpr std::string_view GET_CONTACT_BODY = "{}";
constexpr int GET_CONTACT_TIMEOUT_S = 20;

// "undefined" is what the service's own page sent here; it stays, literally, twice.
constexpr std::string_view BATCH_GET_CONTACT_PATH =
    "/cgi-bin/mmwebwx-bin/webwxbatchgetcontact?type=ex&pass_ticket=undefined&r={time}"
    "&skey=%40{skey}&pass_ticket=undefined";
// {uin} is unquoted here, unlike in webwxinit.
constexpr std::string_view BATCH_GET_CONTACT_BODY =
    R"({"BaseRequest":{"Uin":{uin},"Sid":"{sid}","Skey":"@{skey}","DeviceID":"{deviceid}"},{list}})";

constexpr std::string_view STATUS_NOTIFY_PATH =
    "/cgi-bin/mmwebwx-bin/webwxstatusnotify?r={time}&skey=%40{skey}&pass_ticket={pass_ticket}";
constexpr std::string_view STATUS_NOTIFY_BODY =
    R"({"BaseRequest":{"Uin":{uin},"Sid":"{sid}","Skey":"@{skey}","DeviceID":"{deviceid}"},)"
    R"("Code":3,"FromUserName":"{username}","ToUserName":"{username}","ClientMsgId":"{time}"})";
// Without the key's opening quote, as the small answers are read elsewhere.
constexpr std::string_view RET_MARKER = "Ret\": ";

// The answer as the service sent it (UTF-8); empty on failure.
std::string BatchGetContactBytes(app::Robot& robot, std::string_view user_name) {
    // The UserName goes in as the service wrote it, like every protocol token.
    const std::string list = std::string(R"("Count":1,"List":[{"UserName":")") +
                             std::string(user_name) + R"(","ChatRoomId":0}])";
    protocol::CallValues call;
    call.list = list;
    return protocol::PostReadToWebHost(robot.Link(), robot.State(), BATCH_GET_CONTACT_PATH,
                                       BATCH_GET_CONTACT_BODY, call);
}

}  // namespace

void FetchContactList(app::Robot& robot) {
    AddContacts(robot.Contacts(), robot.Queue(),
                protocol::PostReadToWebHost(robot.Link(), robot.State(), GET_CONTACT_PATH,
                                            GET_CONTACT_BODY, {}, GET_CONTACT_TIMEOUT_S));
    // The answer (megabytes for a large account) is gone: its pages need not stay.
    platform::ReturnFreeMemory();
}

std::string SendStatusNotify(app::Robot& robot) {
    protocol::CallValues call;
    call.username = robot.State().own.UserName;
    // The answer is ASCII where it matters: no conversion.
    const std::string answer = protocol::PostToWebHost(
        robot.Link(), robot.State(), STATUS_NOTIFY_PATH, STATUS_NOTIFY_BODY, call);
    return protocol::ExtractBetween(answer, RET_MARKER, ",");
}

std::string BatchGetContact(app::Robot& robot, std::string_view user_name) {
    return platform::Utf8ToGbk(BatchGetContactBytes(robot, user_name));
}

void FetchGroupMembers(app::Robot& robot, std::string_view index_text) {
    const long long value = protocol::IntegerValue(index_text);
    if (value <= 0) {
        return;
    }
    const auto index = static_cast<std::size_t>(value);
    const std::optional<ContactRecord> group = robot.Contacts().At(index);
    if (!group) {
        return;
    }
    // A failed fetch leaves the group with empty counts and no members, as it says.
    GroupMembers fetched = ReadGroupMembers(BatchGetContactBytes(robot, group->UserName));
    robot.Contacts().SetGroupMembers(index, std::move(fetched.member_count),
                                     std::move(fetched.owner_uin), std::move(fetched.members));
    robot.Screen().GroupMembersFetched(index);
}

void EnsureContactKnown(app::Robot& robot, std::string_view user_name) {
    if (robot.Connection().load() != protocol::STATE_ONLINE ||
        robot.Contacts().FindContactIndex(user_name) != 0) {
        return;
    }
    // Several workers may fetch the same contact at once; only the one whose append
    // succeeds refreshes the lists.
    if (AddContacts(robot.Contacts(), robot.Queue(), BatchGetContactBytes(robot, user_name)) != 0) {
        robot.Screen().RefreshContactLists();
    }
}

}  // namespace zelmo::contacts
