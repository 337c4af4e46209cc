#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "sim/MessageContent.h"
#include "sim/Simulator.h"

namespace sim {

using SyncKeyList = std::vector<std::pair<int, std::int64_t>>;

struct OwnAccount {
    std::int64_t uin = 0;
    std::string user_name;
    std::string nick_name;
    int sex = 0;
    std::string signature;
};

// A contact change as webwxsync reports it.
struct ContactChange {
    bool deleted = false;
    ContactSpec contact;
};

struct SyncNews {
    std::vector<MessageObject> messages;
    std::vector<ContactChange> changes;
};

// --- Small answers, byte for byte as the service wrote them ---
std::string JsLoginAnswer(std::string_view uuid);
std::string JsLoginError();
std::string PollAnswer(int code);  // 408, 201 or 400
std::string PollRedirectAnswer(std::string_view redirect_url);
std::string RedirectXml(Era era, std::string_view skey, std::string_view sid, std::string_view uin,
                        std::string_view pass_ticket);
std::string LocationHrefAnswer(std::string_view url);
// The redirect's refusal: "<error><ret>…</ret><message>…</message></error>", one line.
std::string RedirectRefusalXml(int ret, std::string_view message);
// webwxpushloginurl: ret as a quoted string; no "uuid" member when `uuid` is empty.
std::string PushLoginAnswer(std::string_view ret, std::string_view msg, std::string_view uuid);
std::string SyncCheckAnswer(std::string_view retcode, std::string_view selector);
std::string BaseResponseAnswer(int ret);
std::string StatusNotifyAnswer(int ret, std::string_view msg_id);
std::string SendMsgAnswer(int ret, std::string_view msg_id, std::string_view local_id);
// webwxuploadmedia: the MediaId (empty but on the last chunk) and the bytes taken so far.
std::string UploadMediaAnswer(int ret, std::string_view media_id, std::uint64_t start_pos);
// webwxcheckupload: a MediaId when the service has the file, else the key and signature the
// upload and the send must carry.
std::string CheckUploadAnswer(int ret, std::string_view media_id, std::string_view aes_key,
                              std::string_view signature);
// webwxrevokemsg: the BaseResponse, then "Introduction" and "SysWording".
std::string RevokeMsgAnswer(int ret);

// --- Large answers ---
struct InitData {
    int ret = 0;
    OwnAccount account;
    std::vector<const ContactSpec*> contacts;  // ContactList, groups with members
    SyncKeyList sync_key;
    std::string skey;
    std::int64_t system_time = 0;
};
std::string InitAnswer(Era era, const InitData& data);

// webwxgetcontact: groups carry an empty MemberList.
std::string GetContactAnswer(Era era, int ret, const std::vector<const ContactSpec*>& contacts,
                             std::string_view skey);
// webwxbatchgetcontact: groups carry their members.
std::string BatchGetContactAnswer(Era era, int ret, const std::vector<const ContactSpec*>& contacts,
                                  std::string_view skey);

struct SyncData {
    int ret = 0;
    const SyncNews* news = nullptr;
    OwnAccount account;
    SyncKeyList sync_key;
};
std::string SyncAnswer(Era era, const SyncData& data);

// The service's 2016 form of a contact's head image path.
std::string HeadImagePath(const ContactSpec& contact, std::string_view skey);

}  // namespace sim
