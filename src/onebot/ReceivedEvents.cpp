#include "onebot/ReceivedEvents.h"

#include <charconv>
#include <cstdlib>

#include "messages/Classification.h"
#include "onebot/ContactViews.h"
#include "onebot/FileStore.h"
#include "onebot/GroupNotices.h"
#include "onebot/MessageText.h"
#include "platform/Encoding.h"
#include "protocol/MessageItem.h"
#include "protocol/TextHelpers.h"

namespace zelmo::onebot {

using platform::Json;

namespace {

// The service's message kinds (MsgType) that the events tell apart.
enum MsgType : int {
    MSG_TEXT = 1,
    MSG_PICTURE = 3,
    MSG_VOICE = 34,
    MSG_FRIEND_REQUEST = 37,
    MSG_CARD = 42,
    MSG_VIDEO = 43,
    MSG_STICKER = 47,
    MSG_APP = 49,
    MSG_STATUS_NOTIFY = 51,
    MSG_SHORT_VIDEO = 62,
    MSG_SYSTEM = 10000,
    MSG_RECALL = 10002,
};
constexpr int SUB_LOCATION = 48;
constexpr int APP_FILE = 6;

constexpr std::string_view MENTION_SEPARATOR = "\xE2\x80\x85";  // U+2005
constexpr std::string_view MENTION_ALL = "所有人";
constexpr std::string_view FRIEND_ADDED = "你已添加了";

// The fields of one item (UTF-8).
struct Item {
    std::string msg_id;
    std::string from;
    std::string to;
    std::string content;
    int msg_type = 0;
    int app_msg_type = 0;
    int sub_msg_type = -1;
    double create_time = 0;
    std::string file_name;
    std::string url;
    std::string rec_user_name;
    std::string rec_nick_name;
    std::string rec_content;
    std::string rec_ticket;
    std::int64_t rec_scene = 0;
};

std::string Text(const Json& object, std::string_view key) {
    const Json* value = object.Find(key);
    if (value == nullptr) {
        return {};
    }
    if (value->IsString()) {
        return value->AsString();
    }
    if (value->IsInt()) {
        return std::to_string(value->AsInt());
    }
    return {};
}

std::int64_t Number(const Json& object, std::string_view key, std::int64_t fallback) {
    const Json* value = object.Find(key);
    if (value == nullptr) {
        return fallback;
    }
    if (value->IsNumber()) {
        return value->AsInt();
    }
    if (value->IsString()) {
        return protocol::IntegerValue(value->AsString());
    }
    return fallback;
}

Item ReadItem(std::string_view bytes) {
    Item item;
    if (const std::optional<Json> document = platform::ParseJson(bytes);
        document && document->IsObject()) {
        item.msg_id = Text(*document, "MsgId");
        item.from = Text(*document, "FromUserName");
        item.to = Text(*document, "ToUserName");
        item.content = Text(*document, "Content");
        item.msg_type = static_cast<int>(Number(*document, "MsgType", 0));
        item.app_msg_type = static_cast<int>(Number(*document, "AppMsgType", 0));
        item.sub_msg_type = static_cast<int>(Number(*document, "SubMsgType", -1));
        item.create_time = static_cast<double>(Number(*document, "CreateTime", 0));
        item.file_name = Text(*document, "FileName");
        item.url = Text(*document, "Url");
        if (const Json* info = document->Find("RecommendInfo"); info && info->IsObject()) {
            item.rec_user_name = Text(*info, "UserName");
            item.rec_nick_name = Text(*info, "NickName");
            item.rec_content = Text(*info, "Content");
            item.rec_ticket = Text(*info, "Ticket");
            item.rec_scene = Number(*info, "Scene", 0);
        }
        return item;
    }
    // A cut or broken item: what the tolerant reader finds in its whole part.
    const protocol::MessageItem cut = protocol::ReadMessageItem(bytes);
    item.msg_id = cut.MsgId;
    item.from = cut.FromUserName;
    item.to = cut.ToUserName;
    item.content = platform::GbkToUtf8(cut.Content);
    item.msg_type = static_cast<int>(protocol::IntegerValue(cut.MsgType));
    item.app_msg_type = static_cast<int>(protocol::IntegerValue(cut.AppMsgType));
    item.sub_msg_type =
        cut.SubMsgType.empty() ? -1 : static_cast<int>(protocol::IntegerValue(cut.SubMsgType));
    item.file_name = platform::GbkToUtf8(cut.FileName);
    item.url = platform::GbkToUtf8(cut.Url);
    item.rec_user_name = cut.RecommendInfo.UserName;
    item.rec_nick_name = platform::GbkToUtf8(cut.RecommendInfo.NickName);
    return item;
}

Json Segment(std::string_view type, Json data) {
    Json segment = Json::MakeObject();
    segment.Set("type", type);
    segment.Set("data", std::move(data));
    return segment;
}

Json TextSegment(std::string_view text) {
    return Segment("text", Json::MakeObject().Set("text", text));
}

// A group text split at mentions of the robot (by any of its names) and of everyone.
void AddTextWithMentions(Json& segments, std::string_view text,
                         const std::vector<std::string>& own_names, std::string_view self_id) {
    std::size_t start = 0;
    std::size_t search = 0;
    while (search < text.size()) {
        const std::size_t at = text.find('@', search);
        if (at == std::string_view::npos) {
            break;
        }
        std::size_t length = 0;
        bool everyone = false;
        const std::string_view rest = text.substr(at + 1);
        auto ends_name = [&](std::size_t name_size) {
            const std::string_view after = rest.substr(name_size);
            if (after.starts_with(MENTION_SEPARATOR)) {
                return name_size + 1 + MENTION_SEPARATOR.size();
            }
            if (after.empty() || after.front() == ' ') {
                return name_size + 1 + (after.empty() ? 0 : 1);
            }
            return std::size_t{0};
        };
        if (rest.starts_with(MENTION_ALL)) {
            length = ends_name(MENTION_ALL.size());
            everyone = length != 0;
        }
        for (const std::string& name : own_names) {
            if (length == 0 && !name.empty() && rest.starts_with(name)) {
                length = ends_name(name.size());
            }
        }
        if (length == 0) {
            search = at + 1;
            continue;
        }
        if (at > start) {
            segments.Push(TextSegment(text.substr(start, at - start)));
        }
        segments.Push(everyone ? Segment("mention_all", Json::MakeObject())
                               : Segment("mention", Json::MakeObject().Set("user_id", self_id)));
        start = at + length;
        search = start;
    }
    if (start < text.size()) {
        segments.Push(TextSegment(text.substr(start)));
    }
}

// "coord=<lat>,<lng>" of a location's map URL.
bool ReadCoordinates(std::string_view url, double& latitude, double& longitude) {
    const std::string query = std::string(url) + "&";
    const std::string_view coord = Between(query, "coord=", "&");
    const std::size_t comma = coord.find(',');
    if (comma == std::string_view::npos) {
        return false;
    }
    const std::string lat(coord.substr(0, comma));
    const std::string lng(coord.substr(comma + 1));
    char* end = nullptr;
    latitude = std::strtod(lat.c_str(), &end);
    if (end == lat.c_str()) {
        return false;
    }
    longitude = std::strtod(lng.c_str(), &end);
    return end != lng.c_str();
}

struct Body {
    Json segments = Json::MakeArray();
    std::string alt;
    std::string file_id;  // of a picture, voice, video or file the message carries
};

// A picture, voice, video or file: the standard's segment, with the id get_file serves it
// under once the robot has it.
void AddFile(Body& body, const Item& item, std::string_view type, Json data = Json::MakeObject()) {
    body.file_id = ReceivedFileId(item.msg_id);
    data.Set("file_id", body.file_id);
    body.segments.Push(Segment(type, std::move(data)));
}

// The segments and plain text of a message's content (the member prefix cut off).
std::optional<Body> MessageBody(const Item& item, std::string_view content,
                                const std::vector<std::string>& own_names, std::string_view self_id,
                                const ContactIds& ids, bool group) {
    Body body;
    switch (item.msg_type) {
        case MSG_TEXT: {
            if (item.sub_msg_type == SUB_LOCATION) {
                const std::size_t split = content.find(":<br/>");
                const std::string title = ReadableText(content.substr(0, split));
                double latitude = 0;
                double longitude = 0;
                ReadCoordinates(item.url, latitude, longitude);
                Json data = Json::MakeObject();
                data.Set("latitude", latitude);
                data.Set("longitude", longitude);
                data.Set("title", title);
                data.Set("content", "");
                body.segments.Push(Segment("location", std::move(data)));
                body.alt = "[位置]" + title;
                return body;
            }
            body.alt = ReadableText(content);
            if (group) {
                AddTextWithMentions(body.segments, body.alt, own_names, self_id);
            } else if (!body.alt.empty()) {
                body.segments.Push(TextSegment(body.alt));
            }
            return body;
        }
        case MSG_PICTURE:
            AddFile(body, item, "image");
            body.alt = "[图片]";
            return body;
        case MSG_VOICE:
            AddFile(body, item, "voice");
            body.alt = "[语音]";
            return body;
        case MSG_VIDEO:
        case MSG_SHORT_VIDEO:
            AddFile(body, item, "video");
            body.alt = "[视频]";
            return body;
        case MSG_STICKER:
            body.segments.Push(Segment("wx.emoji", Json::MakeObject()));
            body.alt = "[表情]";
            return body;
        case MSG_CARD: {
            const std::string name = ReadableText(item.rec_nick_name);
            Json data = Json::MakeObject();
            data.Set("user_id", ids.IdOf(item.rec_user_name));
            data.Set("nickname", name);
            body.segments.Push(Segment("wx.card", std::move(data)));
            body.alt = "[名片]" + name;
            return body;
        }
        case MSG_APP: {
            const std::string title = ReadableText(item.file_name);
            if (item.app_msg_type == APP_FILE) {
                // The standard's file segment has no name: an extension field carries it.
                AddFile(body, item, "file", Json::MakeObject().Set("wx.name", title));
                body.alt = "[文件]" + title;
                return body;
            }
            Json data = Json::MakeObject();
            data.Set("title", title);
            data.Set("url", item.url);
            body.segments.Push(Segment("wx.link", std::move(data)));
            body.alt = "[链接]" + title;
            return body;
        }
        default:
            return std::nullopt;
    }
}

Json MemberEvent(EventMaker& maker, double time_s, std::string_view self_id,
                 const MemberNotice& notice, std::string_view group_id, std::string_view user_id,
                 std::string_view user_name, std::string_view operator_id) {
    Json event =
        maker.Event("notice", notice.joined ? "group_member_increase" : "group_member_decrease",
                    notice.sub_type, time_s, self_id);
    event.Set("group_id", group_id);
    event.Set("user_id", user_id);
    event.Set("operator_id", operator_id);
    event.Set("wx.user_name", user_name);
    event.Set("wx.operator_name", notice.operator_name);
    return event;
}

// The member of a group whose name (card or nickname) is the notice's; empty when none or
// several are.
std::string MemberByName(const std::optional<contacts::ContactRecord>& group,
                         std::string_view name_utf8) {
    if (!group || name_utf8.empty()) {
        return {};
    }
    const std::string name = platform::Utf8ToGbk(name_utf8);
    std::string found;
    for (const contacts::MemberRecord& member : group->Members) {
        if (member.DisplayName == name || member.NickName == name) {
            if (!found.empty() && found != member.UserName) {
                return {};
            }
            found = member.UserName;
        }
    }
    return found;
}

void AddMemberNotices(ItemEvents& out, const Item& item, const ItemContext& context,
                      EventMaker& maker, double time_s, std::string_view self_id) {
    const std::optional<MemberNotice> notice = ReadMemberNotice(ReadableText(item.content));
    if (!notice) {
        return;
    }
    const std::optional<contacts::ContactRecord> group = FindContact(context.contacts, item.from);
    const std::string group_id = context.ids.IdOf(item.from);
    std::string operator_id;
    if (notice->own_operator) {
        operator_id = std::string(self_id);
    } else if (const std::string user = MemberByName(group, notice->operator_name); !user.empty()) {
        operator_id = context.ids.IdOf(user);
    }
    if (notice->own_member) {
        out.events.push_back(MemberEvent(maker, time_s, self_id, *notice, group_id, self_id,
                                         platform::GbkToUtf8(context.own_nickname), operator_id));
    }
    for (const std::string& name : notice->names) {
        const std::string user = MemberByName(group, name);
        out.events.push_back(MemberEvent(maker, time_s, self_id, *notice, group_id,
                                         user.empty() ? std::string() : context.ids.IdOf(user),
                                         name, operator_id));
    }
}

}  // namespace

ItemEvents EventsOfItem(std::string_view bytes, const ItemContext& context, EventMaker& maker) {
    ItemEvents out;
    const Item item = ReadItem(bytes);
    if (item.from.empty() || item.from == context.own_user_name ||
        item.msg_type == MSG_STATUS_NOTIFY) {
        return out;
    }
    const double time_s = item.create_time > 0 ? item.create_time : context.now_s;
    const std::string self_id = context.ids.IdOf(context.own_user_name);
    const bool group = item.from.find("@@") != std::string::npos;
    std::string_view content = item.content;
    std::string member;
    if (group) {
        const std::size_t prefix = messages::GroupMemberPrefixLength(content);
        if (prefix > 0) {
            member = std::string(content.substr(0, content.find(':')));
            content.remove_prefix(prefix);
        }
    }

    if (item.msg_type == MSG_SYSTEM) {
        if (group) {
            AddMemberNotices(out, item, context, maker, time_s, self_id);
        } else if (ReadableText(item.content).starts_with(FRIEND_ADDED)) {
            out.friend_added = item.from;
        }
        return out;
    }
    if (item.msg_type == MSG_RECALL) {
        const std::string xml = ReadableText(content);
        std::string recalled(Between(xml, "<msgid>", "</msgid>"));
        if (recalled.empty()) {
            recalled = std::string(Between(xml, "<oldmsgid>", "</oldmsgid>"));
        }
        if (group) {
            Json event = maker.Event("notice", "group_message_delete", "recall", time_s, self_id);
            const std::string user_id = member.empty() ? std::string() : context.ids.IdOf(member);
            event.Set("group_id", context.ids.IdOf(item.from));
            event.Set("message_id", recalled);
            event.Set("user_id", user_id);
            event.Set("operator_id", user_id);
            out.events.push_back(std::move(event));
        } else {
            Json event = maker.Event("notice", "private_message_delete", "", time_s, self_id);
            event.Set("message_id", recalled);
            event.Set("user_id", context.ids.IdOf(item.from));
            out.events.push_back(std::move(event));
        }
        return out;
    }
    if (item.msg_type == MSG_FRIEND_REQUEST) {
        Json event = maker.Event("request", "wx.friend_request", "", time_s, self_id);
        event.Set("user_id", context.ids.IdOf(item.rec_user_name));
        event.Set("wx.user_name", item.rec_user_name);
        event.Set("wx.nickname", ReadableText(item.rec_nick_name));
        event.Set("wx.message", ReadableText(item.rec_content));
        event.Set("wx.ticket", item.rec_ticket);
        event.Set("wx.scene", item.rec_scene);
        out.events.push_back(std::move(event));
        return out;
    }

    std::vector<std::string> own_names;
    std::optional<contacts::ContactRecord> group_record;
    if (group) {
        group_record = FindContact(context.contacts, item.from);
        if (group_record) {
            if (const contacts::MemberRecord* own =
                    FindMember(*group_record, context.own_user_name);
                own != nullptr && !own->DisplayName.empty()) {
                own_names.push_back(platform::GbkToUtf8(own->DisplayName));
            }
        }
        own_names.push_back(platform::GbkToUtf8(context.own_nickname));
    }
    std::optional<Body> body = MessageBody(item, content, own_names, self_id, context.ids, group);
    if (!body) {
        return out;
    }
    const std::string& speaker = group ? member : item.from;
    Json event = maker.Event("message", group ? "group" : "private", "", time_s, self_id);
    event.Set("message_id", item.msg_id);
    event.Set("message", std::move(body->segments));
    event.Set("alt_message", body->alt);
    if (group) {
        event.Set("group_id", context.ids.IdOf(item.from));
    }
    event.Set("user_id", speaker.empty() ? std::string() : context.ids.IdOf(speaker));
    out.events.push_back(std::move(event));
    out.file_id = std::move(body->file_id);

    RememberedMessage remembered;
    remembered.message_id = item.msg_id;
    remembered.chat = context.ids.IdOf(item.from);
    if (group_record && !member.empty()) {
        remembered.sender_name =
            platform::GbkToUtf8(GroupMemberName(context.contacts, *group_record, member));
    } else if (const std::optional<contacts::ContactRecord> friend_record =
                   FindContact(context.contacts, item.from)) {
        remembered.sender_name = platform::GbkToUtf8(friend_record->NickName);
    }
    remembered.text = body->alt;
    remembered.unix_ms = static_cast<std::int64_t>(time_s * 1000);
    out.message = std::move(remembered);
    return out;
}

Json FriendChangeEvent(EventMaker& maker, double time_s, std::string_view self_id,
                       std::string_view user_id, bool added) {
    Json event =
        maker.Event("notice", added ? "friend_increase" : "friend_decrease", "", time_s, self_id);
    event.Set("user_id", user_id);
    return event;
}

}  // namespace zelmo::onebot
