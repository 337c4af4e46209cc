#include "contacts/ContactRequests.h"

#include "contacts/ContactAnswer.h"
#include "jobs/Backoff.h"
#include "platform/FreeMemory.h"
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

}  // namespace

bool ContactAnswerOk(std::string_view answer) {
    return protocol::ExtractBetween(answer, RET_MARKER, ",") == "0";
}

bool FetchContactList(const protocol::ServiceLink& link, const protocol::ProtocolState& state,
                      ContactStore& store, jobs::JobQueue& queue) {
    const std::string answer = protocol::PostReadToWebHost(
        link, state, GET_CONTACT_PATH, GET_CONTACT_BODY, {}, GET_CONTACT_TIMEOUT_S);
    if (!ContactAnswerOk(answer)) {
        return false;
    }
    AddContacts(store, queue, answer);
    // The answer (megabytes for a large account) is gone: its pages need not stay.
    platform::ReturnFreeMemory();
    return true;
}

std::string SendStatusNotify(const protocol::ServiceLink& link,
                             const protocol::ProtocolState& state) {
    protocol::CallValues call;
    call.username = state.own.UserName;
    // The answer is ASCII where it matters: no conversion.
    const std::string answer =
        protocol::PostToWebHost(link, state, STATUS_NOTIFY_PATH, STATUS_NOTIFY_BODY, call);
    return protocol::ExtractBetween(answer, RET_MARKER, ",");
}

std::string BatchGetContact(const protocol::ServiceLink& link, const protocol::ProtocolState& state,
                            std::string_view user_name) {
    // The UserName goes in as the service wrote it, like every protocol token.
    const std::string list = std::string(R"("Count":1,"List":[{"UserName":")") +
                             std::string(user_name) + R"(","ChatRoomId":0}])";
    protocol::CallValues call;
    call.list = list;
    return protocol::PostReadToWebHost(link, state, BATCH_GET_CONTACT_PATH, BATCH_GET_CONTACT_BODY,
                                       call);
}

void FetchGroupMembers(const protocol::ServiceLink& link, const protocol::ProtocolState& state,
                       ContactStore& store, ListsPort& lists, const platform::Pause& pause,
                       std::string_view index_text) {
    const long long value = protocol::IntegerValue(index_text);
    if (value <= 0) {
        return;
    }
    const auto index = static_cast<std::size_t>(value);
    const std::optional<ContactRecord> group = store.At(index);
    if (!group) {
        return;
    }
    std::string answer;
    const bool fetched_ok = jobs::RetryUntilDone(pause, [&] {
        answer = BatchGetContact(link, state, group->UserName);
        return ContactAnswerOk(answer);
    });
    if (!fetched_ok) {
        return;
    }
    GroupMembers fetched = ReadGroupMembers(answer);
    store.SetGroupMembers(index, std::move(fetched.member_count), std::move(fetched.owner_uin),
                          std::move(fetched.members));
    lists.GroupMembersFetched(index);
}

void EnsureContactKnown(const protocol::ServiceLink& link, const protocol::ProtocolState& state,
                        ContactStore& store, jobs::JobQueue& queue, ListsPort& lists,
                        const platform::Pause& pause, std::string_view user_name) {
    if (store.FindContactIndex(user_name) != 0) {
        return;
    }
    std::string answer;
    const bool fetched = jobs::RetryUntilDone(pause, [&] {
        answer = BatchGetContact(link, state, user_name);
        return ContactAnswerOk(answer);
    });
    if (!fetched) {
        return;
    }
    // Several workers may fetch the same contact at once; only the one whose append
    // succeeds refreshes the lists.
    if (AddContacts(store, queue, answer) != 0) {
        lists.RefreshContactLists();
    }
}

}  // namespace zelmo::contacts
