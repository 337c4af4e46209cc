#include "sim/Answers.h"

#include <functional>

#include "sim/LayoutJson.h"

namespace sim {
namespace {

void WriteBaseResponse(LayoutWriter& out, int ret) {
    out.BeginObject("BaseResponse");
    out.Number("Ret", ret);
    out.String("ErrMsg", "");
    out.EndObject();
}

std::int64_t HeadSeq(std::string_view user_name) {
    std::uint64_t hash = 1469598103934665603ULL;
    for (const char c : user_name) {
        hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ULL;
    }
    return static_cast<std::int64_t>(600000000 + hash % 100000000);
}

std::string KeyWord(const ContactSpec& contact) {
    if (contact.sex == 0 && contact.verify_flag != 0) {
        return "gh_";
    }
    return contact.user_name.rfind('@', 0) == 0 ? std::string() : contact.user_name.substr(0, 3);
}

void WriteMember(LayoutWriter& out, const ContactSpec& member) {
    out.Number("Uin", member.uin);
    out.String("UserName", member.user_name);
    out.String("NickName", MarkupText(member.nick_name));
    out.Number("AttrStatus", 135461);
    out.String("PYInitial", "");
    out.String("PYQuanPin", "");
    out.String("RemarkPYInitial", "");
    out.String("RemarkPYQuanPin", "");
    out.Number("MemberStatus", 0);
    out.String("DisplayName", MarkupText(member.remark_name));
    out.String("KeyWord", "");
}

void WriteContact(LayoutWriter& out, Era era, const ContactSpec& contact, bool with_members,
                  std::string_view skey) {
    out.Number("Uin", contact.uin);
    out.String("UserName", contact.user_name);
    out.String("NickName", MarkupText(contact.nick_name));
    out.String("HeadImgUrl", HeadImagePath(contact, skey));
    out.Number("ContactFlag", contact.contact_flag);
    out.Number("MemberCount", static_cast<std::int64_t>(contact.members.size()));
    if (with_members && !contact.members.empty()) {
        out.BeginArray("MemberList");
        for (const ContactSpec& member : contact.members) {
            out.NextElement();
            WriteMember(out, member);
        }
        out.EndArray();
    } else {
        out.EmptyArray("MemberList");
    }
    out.String("RemarkName", MarkupText(contact.remark_name));
    out.Number("HideInputBarFlag", 0);
    out.Number("Sex", contact.sex);
    out.String("Signature", MarkupText(contact.signature));
    out.Number("VerifyFlag", contact.verify_flag);
    out.Number("OwnerUin", contact.owner_uin);
    out.String("PYInitial", "");
    out.String("PYQuanPin", "");
    out.String("RemarkPYInitial", "");
    out.String("RemarkPYQuanPin", "");
    out.Number("StarFriend", 0);
    out.Number("AppAccountFlag", 0);
    out.Number("Statues", contact.is_group ? 1 : 0);
    out.Number("AttrStatus", contact.is_group ? 0 : 233765);
    out.String("Province", contact.province);
    out.String("City", contact.city);
    out.String("Alias", contact.alias);
    out.Number("SnsFlag", contact.is_group ? 0 : 17);
    out.Number("UniFriend", 0);
    out.String("DisplayName", "");
    out.Number("ChatRoomId", 0);
    out.String("KeyWord", KeyWord(contact));
    out.String("EncryChatRoomId",
               contact.is_group && with_members ? "@" + contact.user_name.substr(2, 32) : "");
    if (era == Era::Late2018) {
        out.Number("IsOwner", 0);
    }
}

void WriteContactArray(LayoutWriter& out, std::string_view key, Era era,
                       const std::vector<const ContactSpec*>& contacts, bool with_members,
                       std::string_view skey) {
    if (contacts.empty()) {
        out.EmptyArray(key);
        return;
    }
    out.BeginArray(key);
    for (const ContactSpec* contact : contacts) {
        out.NextElement();
        WriteContact(out, era, *contact, with_members, skey);
    }
    out.EndArray();
}

void WriteSyncKey(LayoutWriter& out, std::string_view key, const SyncKeyList& list) {
    out.BeginObject(key);
    out.Number("Count", static_cast<std::int64_t>(list.size()));
    if (list.empty()) {
        out.EmptyArray("List");
    } else {
        out.BeginArray("List");
        for (const auto& [k, v] : list) {
            out.NextElement();
            out.Number("Key", k);
            out.Number("Val", v);
        }
        out.EndArray();
    }
    out.EndObject();
}

void WriteUser(LayoutWriter& out, const OwnAccount& account, std::string_view skey) {
    out.BeginObject("User");
    out.Number("Uin", account.uin);
    out.String("UserName", account.user_name);
    out.String("NickName", MarkupText(account.nick_name));
    out.String("HeadImgUrl", account.user_name.empty()
                                 ? std::string()
                                 : "/cgi-bin/mmwebwx-bin/webwxgeticon?seq=" +
                                       std::to_string(HeadSeq(account.user_name)) + "&username=" +
                                       account.user_name + "&skey=" + std::string(skey));
    out.String("RemarkName", "");
    out.String("PYInitial", "");
    out.String("PYQuanPin", "");
    out.String("RemarkPYInitial", "");
    out.String("RemarkPYQuanPin", "");
    out.Number("HideInputBarFlag", 0);
    out.Number("StarFriend", 0);
    out.Number("Sex", account.sex);
    out.String("Signature", MarkupText(account.signature));
    out.Number("AppAccountFlag", 0);
    out.Number("VerifyFlag", 0);
    out.Number("ContactFlag", 0);
    out.Number("WebWxPluginSwitch", 0);
    out.Number("HeadImgFlag", 1);
    out.Number("SnsFlag", account.user_name.empty() ? 0 : 17);
    out.EndObject();
}

void WriteRecommendInfo(LayoutWriter& out, const RecommendInfo& info) {
    out.BeginObject("RecommendInfo");
    out.String("UserName", info.user_name);
    out.String("NickName", MarkupText(info.nick_name));
    out.Number("QQNum", 0);
    out.String("Province", info.province);
    out.String("City", info.city);
    out.String("Content", info.content);
    out.String("Signature", info.signature);
    out.String("Alias", info.alias);
    out.Number("Scene", info.scene);
    out.Number("VerifyFlag", info.verify_flag);
    out.Number("AttrStatus", 0);
    out.Number("Sex", info.sex);
    out.String("Ticket", info.ticket);
    out.Number("OpCode", info.op_code);
    out.EndObject();
}

void WriteMessage(LayoutWriter& out, Era era, const MessageObject& msg) {
    out.String("MsgId", msg.msg_id);
    out.String("FromUserName", msg.from);
    out.String("ToUserName", msg.to);
    out.Number("MsgType", msg.msg_type);
    out.String("Content", msg.content);
    out.Number("Status", 3);
    out.Number("ImgStatus", msg.img_status);
    out.Number("CreateTime", msg.create_time);
    out.Number("VoiceLength", msg.voice_length);
    out.Number("PlayLength", msg.play_length);
    out.String("FileName", msg.file_name);
    out.String("FileSize", msg.file_size);
    out.String("MediaId", msg.media_id);
    out.String("Url", msg.url);
    out.Number("AppMsgType", msg.app_msg_type);
    out.Number("StatusNotifyCode", msg.status_notify_code);
    out.String("StatusNotifyUserName", msg.status_notify_user_name);
    WriteRecommendInfo(out, msg.recommend);
    out.Number("ForwardFlag", 0);
    out.BeginObject("AppInfo");
    out.String("AppID", "");
    out.Number("Type", 0);
    out.EndObject();
    out.Number("HasProductId", 0);
    out.String("Ticket", "");
    out.Number("ImgHeight", msg.img_height);
    out.Number("ImgWidth", msg.img_width);
    out.Number("SubMsgType", msg.sub_msg_type);
    out.Number("NewMsgId", std::stoll(msg.msg_id.empty() ? "0" : msg.msg_id));
    if (era == Era::Late2018) {
        out.String("OriContent", msg.ori_content);
        out.String("EncryFileName", msg.encry_file_name);
    }
}

void WriteModContact(LayoutWriter& out, const ContactSpec& contact, std::string_view skey) {
    out.String("UserName", contact.user_name);
    out.String("NickName", MarkupText(contact.nick_name));
    out.Number("Sex", contact.sex);
    out.Number("HeadImgUpdateFlag", 1);
    out.Number("ContactType", 0);
    out.String("Alias", contact.alias);
    out.String("ChatRoomOwner", "");
    out.String("HeadImgUrl", HeadImagePath(contact, skey));
    out.Number("ContactFlag", contact.contact_flag);
    out.Number("MemberCount", static_cast<std::int64_t>(contact.members.size()));
    if (contact.members.empty()) {
        out.EmptyArray("MemberList");
    } else {
        out.BeginArray("MemberList");
        for (const ContactSpec& member : contact.members) {
            out.NextElement();
            WriteMember(out, member);
        }
        out.EndArray();
    }
    out.Number("HideInputBarFlag", 0);
    out.String("Signature", MarkupText(contact.signature));
    out.Number("VerifyFlag", contact.verify_flag);
    out.String("RemarkName", MarkupText(contact.remark_name));
    out.Number("Statues", contact.is_group ? 1 : 0);
    out.Number("AttrStatus", contact.is_group ? 0 : 233765);
    out.String("Province", contact.province);
    out.String("City", contact.city);
    out.Number("SnsFlag", contact.is_group ? 0 : 17);
    out.String("KeyWord", KeyWord(contact));
}

void WriteBuff(LayoutWriter& out, std::string_view key, std::string_view value) {
    out.BeginObject(key);
    out.String("Buff", value);
    out.EndObject();
}

void WriteProfile(LayoutWriter& out, const OwnAccount& account) {
    out.BeginObject("Profile");
    out.Number("BitFlag", 0);
    WriteBuff(out, "UserName", "");
    WriteBuff(out, "NickName", "");
    out.Number("BindUin", 0);
    WriteBuff(out, "BindEmail", "");
    WriteBuff(out, "BindMobile", "");
    out.Number("Status", 0);
    out.Number("Sex", 0);
    out.Number("PersonalCard", 0);
    out.String("Alias", "");
    out.Number("HeadImgUpdateFlag", 0);
    out.String("HeadImgUrl", "");
    out.String("Signature", "");
    out.EndObject();
    (void)account;
}

template <typename T, typename Write>
void WriteList(LayoutWriter& out, std::string_view count_key, std::string_view list_key,
               const std::vector<T>& items, Write write) {
    out.Number(count_key, static_cast<std::int64_t>(items.size()));
    if (items.empty()) {
        out.EmptyArray(list_key);
        return;
    }
    out.BeginArray(list_key);
    for (const T& item : items) {
        out.NextElement();
        write(item);
    }
    out.EndArray();
}

}  // namespace

std::string HeadImagePath(const ContactSpec& contact, std::string_view skey) {
    if (contact.is_group) {
        return "/cgi-bin/mmwebwx-bin/webwxgetheadimg?seq=" +
               std::to_string(HeadSeq(contact.user_name)) + "&username=" + contact.user_name +
               "&skey=";
    }
    return "/cgi-bin/mmwebwx-bin/webwxgeticon?seq=" + std::to_string(HeadSeq(contact.user_name)) +
           "&username=" + contact.user_name + "&skey=" + std::string(skey);
}

std::string JsLoginAnswer(std::string_view uuid) {
    return "window.QRLogin.code = 200; window.QRLogin.uuid = \"" + std::string(uuid) + "\";";
}

std::string JsLoginError() {
    return "window.QRLogin.code = 400; window.QRLogin.error = \"\";";
}

std::string PollAnswer(int code) {
    return "window.code=" + std::to_string(code) + ";";
}

std::string PollRedirectAnswer(std::string_view redirect_url) {
    return "window.code=200;\nwindow.redirect_uri=\"" + std::string(redirect_url) + "\";";
}

std::string RedirectXml(Era era, std::string_view skey, std::string_view sid, std::string_view uin,
                        std::string_view pass_ticket) {
    return std::string("<error><ret>0</ret><message>") + (era == Era::Early2016 ? "OK" : "") +
           "</message><skey>" + std::string(skey) + "</skey><wxsid>" + std::string(sid) +
           "</wxsid><wxuin>" + std::string(uin) + "</wxuin><pass_ticket>" +
           std::string(pass_ticket) + "</pass_ticket><isgrayscale>1</isgrayscale></error>";
}

std::string LocationHrefAnswer(std::string_view url) {
    return "<script>window.location.href=\"" + std::string(url) + "\";</script>";
}

std::string RedirectRefusalXml(int ret, std::string_view message) {
    return "<error><ret>" + std::to_string(ret) + "</ret><message>" + std::string(message) +
           "</message></error>";
}

std::string PushLoginAnswer(std::string_view ret, std::string_view msg, std::string_view uuid) {
    LayoutWriter out;
    out.String("ret", ret);
    out.String("msg", msg);
    if (!uuid.empty()) {
        out.String("uuid", uuid);
    }
    return out.Finish();
}

std::string SyncCheckAnswer(std::string_view retcode, std::string_view selector) {
    return "window.synccheck={retcode:\"" + std::string(retcode) + "\",selector:\"" +
           std::string(selector) + "\"}";
}

std::string BaseResponseAnswer(int ret) {
    LayoutWriter out;
    WriteBaseResponse(out, ret);
    return out.Finish();
}

std::string StatusNotifyAnswer(int ret, std::string_view msg_id) {
    LayoutWriter out;
    WriteBaseResponse(out, ret);
    out.String("MsgID", ret == 0 ? msg_id : "");
    return out.Finish();
}

std::string SendMsgAnswer(int ret, std::string_view msg_id, std::string_view local_id) {
    LayoutWriter out;
    WriteBaseResponse(out, ret);
    out.String("MsgID", ret == 0 ? msg_id : "");
    out.String("LocalID", ret == 0 ? local_id : "");
    return out.Finish();
}

std::string UploadMediaAnswer(int ret, std::string_view media_id, std::uint64_t start_pos) {
    LayoutWriter out;
    WriteBaseResponse(out, ret);
    out.String("MediaId", ret == 0 ? media_id : "");
    out.Number("StartPos", ret == 0 ? static_cast<std::int64_t>(start_pos) : 0);
    out.Number("CDNThumbImgHeight", 0);
    out.Number("CDNThumbImgWidth", 0);
    return out.Finish();
}

std::string CheckUploadAnswer(int ret, std::string_view media_id, std::string_view aes_key,
                              std::string_view signature) {
    LayoutWriter out;
    WriteBaseResponse(out, ret);
    out.String("MediaId", ret == 0 ? media_id : "");
    out.String("AESKey", ret == 0 ? aes_key : "");
    out.String("Signature", ret == 0 ? signature : "");
    return out.Finish();
}

std::string RevokeMsgAnswer(int ret) {
    LayoutWriter out;
    WriteBaseResponse(out, ret);
    out.String("Introduction", "");
    out.String("SysWording", "");
    return out.Finish();
}

std::string InitAnswer(Era era, const InitData& data) {
    const bool ok = data.ret == 0;
    LayoutWriter out;
    WriteBaseResponse(out, data.ret);
    static const std::vector<const ContactSpec*> none;
    const auto& contacts = ok ? data.contacts : none;
    out.Number("Count", static_cast<std::int64_t>(contacts.size()));
    WriteContactArray(out, "ContactList", era, contacts, true, data.skey);
    WriteSyncKey(out, "SyncKey", ok ? data.sync_key : SyncKeyList{});
    WriteUser(out, ok ? data.account : OwnAccount{}, ok ? data.skey : "");
    std::string chat_set;
    for (const ContactSpec* contact : contacts) {
        chat_set += contact->user_name + ",";
    }
    out.String("ChatSet", chat_set);
    out.String("SKey", ok ? data.skey : "");
    out.Number("ClientVersion", ok ? 369297683 : 0);
    out.Number("SystemTime", ok ? data.system_time : 0);
    out.Number("GrayScale", ok ? 1 : 0);
    out.Number("InviteStartCount", ok ? 40 : 0);
    out.Number("MPSubscribeMsgCount", 0);
    out.EmptyArray("MPSubscribeMsgList");
    out.Number("ClickReportInterval", ok ? 600000 : 0);
    return out.Finish();
}

std::string GetContactAnswer(Era era, int ret, const std::vector<const ContactSpec*>& contacts,
                             std::string_view skey) {
    LayoutWriter out;
    WriteBaseResponse(out, ret);
    out.Number("MemberCount", static_cast<std::int64_t>(contacts.size()));
    WriteContactArray(out, "MemberList", era, contacts, false, skey);
    out.Number("Seq", 0);
    return out.Finish();
}

std::string BatchGetContactAnswer(Era era, int ret, const std::vector<const ContactSpec*>& contacts,
                                  std::string_view skey) {
    LayoutWriter out;
    WriteBaseResponse(out, ret);
    out.Number("Count", static_cast<std::int64_t>(contacts.size()));
    WriteContactArray(out, "ContactList", era, contacts, true, skey);
    return out.Finish();
}

std::string SyncAnswer(Era era, const SyncData& data) {
    static const SyncNews nothing;
    const SyncNews& news = data.ret == 0 && data.news != nullptr ? *data.news : nothing;
    std::vector<ContactSpec> modified;
    std::vector<ContactSpec> deleted;
    for (const ContactChange& change : news.changes) {
        (change.deleted ? deleted : modified).push_back(change.contact);
    }
    LayoutWriter out;
    WriteBaseResponse(out, data.ret);
    WriteList(out, "AddMsgCount", "AddMsgList", news.messages,
              [&](const MessageObject& msg) { WriteMessage(out, era, msg); });
    WriteList(out, "ModContactCount", "ModContactList", modified,
              [&](const ContactSpec& contact) { WriteModContact(out, contact, ""); });
    WriteList(out, "DelContactCount", "DelContactList", deleted, [&](const ContactSpec& contact) {
        out.String("UserName", contact.user_name);
        out.Number("ContactFlag", 0);
    });
    WriteList(out, "ModChatRoomMemberCount", "ModChatRoomMemberList", std::vector<ContactSpec>{},
              [](const ContactSpec&) {});
    WriteProfile(out, data.account);
    out.Number("ContinueFlag", 0);
    WriteSyncKey(out, "SyncKey", data.sync_key);
    out.String("SKey", "");
    if (era == Era::Late2018) {
        WriteSyncKey(out, "SyncCheckKey", data.sync_key);
    }
    return out.Finish();
}

}  // namespace sim
