#include "contacts/RemarkRequest.h"
#include "onebot/ActionHandler.h"
#include "onebot/ContactViews.h"
#include "platform/Encoding.h"

namespace zelmo::onebot {

using platform::GbkToUtf8;
using platform::Json;

namespace {

void AppendField(std::string& out, std::string_view key, std::string_view utf8, bool first) {
    if (!first) {
        out.push_back(',');
    }
    platform::AppendJsonString(out, key);
    out.push_back(':');
    platform::AppendJsonString(out, utf8);
}

// A list of people written straight as text: a friend list of thousands is no document of
// thousands of objects first. The fields are those of UserInfo.
void AppendUserInfo(std::string& out, const ContactIds& ids,
                    const contacts::ContactRecord& contact) {
    out.push_back('{');
    AppendField(out, "user_id", ids.IdOf(contact.UserName), true);
    AppendField(out, "user_name", GbkToUtf8(contact.NickName), false);
    AppendField(out, "user_displayname", "", false);
    AppendField(out, "user_remark", GbkToUtf8(contact.RemarkName), false);
    AppendField(out, "wx.alias", GbkToUtf8(contact.Alias), false);
    out.push_back('}');
}

// Every contact of the current login, one at a time, so the store is never copied whole.
// The records of earlier logins stay in the store under their old UserNames, with the keys
// of the same contacts: listed, they would name each contact twice.
template <typename Visit>
void ForEachContact(const contacts::ContactStore& store, Visit visit) {
    const std::size_t count = store.Count();
    for (std::size_t index = 1; index <= count; ++index) {
        if (const std::optional<contacts::ContactRecord> contact = store.At(index);
            contact && store.InCurrentLogin(contact->UserName)) {
            visit(*contact);
        }
    }
}

Json UserInfo(const ContactIds& ids, const contacts::ContactRecord& contact) {
    Json info = Json::MakeObject();
    info.Set("user_id", ids.IdOf(contact.UserName));
    info.Set("user_name", GbkToUtf8(contact.NickName));
    info.Set("user_displayname", "");
    info.Set("user_remark", GbkToUtf8(contact.RemarkName));
    info.Set("wx.alias", GbkToUtf8(contact.Alias));
    return info;
}

Json GroupInfo(const ContactIds& ids, const contacts::ContactRecord& group) {
    Json info = Json::MakeObject();
    info.Set("group_id", ids.IdOf(group.UserName));
    info.Set("group_name", GbkToUtf8(group.NickName));
    return info;
}

Json MemberInfo(const ContactIds& ids, const contacts::MemberRecord& member) {
    Json info = Json::MakeObject();
    info.Set("user_id", ids.IdOf(member.UserName));
    info.Set("user_name", GbkToUtf8(member.NickName));
    info.Set("user_displayname", GbkToUtf8(member.DisplayName));
    return info;
}

// The contact an id param names, of the kind wanted; nothing with `error` set otherwise.
std::optional<contacts::ContactRecord> NamedContact(const ActionContext& context,
                                                    const Json& params, std::string_view param,
                                                    bool group, ActionResult& error) {
    const std::optional<std::string> id = RequiredString(params, param, error);
    if (!id) {
        return std::nullopt;
    }
    std::optional<contacts::ContactRecord> contact =
        FindContact(context.parts.contacts, context.ids.UserNameOf(*id));
    if (!contact || IsGroup(*contact) != group) {
        error = Failed(UNKNOWN_CONTACT,
                       std::string(group ? "no group" : "nobody") + " has the id " + *id);
        return std::nullopt;
    }
    return contact;
}

// The own account, a contact, or a member of a group.
bool IsKnownUserName(const ActionContext& context, std::string_view user_name) {
    if (user_name == context.parts.sessions.Snapshot()->own.UserName ||
        context.parts.contacts.FindContactIndex(user_name) != 0) {
        return true;
    }
    bool found = false;
    ForEachContact(context.parts.contacts, [&](const contacts::ContactRecord& contact) {
        found = found || FindMember(contact, user_name) != nullptr;
    });
    return found;
}

}  // namespace

ActionResult GetSelfInfo(const ActionContext& context) {
    const auto state = context.parts.sessions.Snapshot();
    if (state->own.UserName.empty()) {
        return Failed(OFFLINE, "the robot is not logged in");
    }
    Json info = Json::MakeObject();
    info.Set("user_id", context.ids.IdOf(state->own.UserName));
    info.Set("user_name", GbkToUtf8(state->own.NickName));
    info.Set("user_displayname", "");
    return Ok(std::move(info));
}

ActionResult GetUserInfo(const ActionContext& context, const Json& params) {
    ActionResult error;
    const auto contact = NamedContact(context, params, "user_id", false, error);
    return contact ? Ok(UserInfo(context.ids, *contact)) : error;
}

ActionResult GetFriendList(const ActionContext& context) {
    const std::string own = context.parts.sessions.Snapshot()->own.UserName;
    std::string friends = "[";
    // About what one person takes, so a long list grows in few steps.
    constexpr std::size_t BYTES_PER_PERSON = 160;
    friends.reserve(context.parts.contacts.Count() * BYTES_PER_PERSON);
    ForEachContact(context.parts.contacts, [&](const contacts::ContactRecord& contact) {
        if (IsPerson(contact) && contact.UserName != own) {
            if (friends.size() > 1) {
                friends.push_back(',');
            }
            AppendUserInfo(friends, context.ids, contact);
        }
    });
    friends.push_back(']');
    return Ok(Json::MakeRaw(std::move(friends)));
}

ActionResult GetGroupInfo(const ActionContext& context, const Json& params) {
    ActionResult error;
    const auto group = NamedContact(context, params, "group_id", true, error);
    return group ? Ok(GroupInfo(context.ids, *group)) : error;
}

ActionResult GetGroupList(const ActionContext& context) {
    Json groups = Json::MakeArray();
    ForEachContact(context.parts.contacts, [&](const contacts::ContactRecord& contact) {
        if (IsGroup(contact)) {
            groups.Push(GroupInfo(context.ids, contact));
        }
    });
    return Ok(std::move(groups));
}

ActionResult GetGroupMemberInfo(const ActionContext& context, const Json& params) {
    ActionResult error;
    const auto group = NamedContact(context, params, "group_id", true, error);
    if (!group) {
        return error;
    }
    const std::optional<std::string> id = RequiredString(params, "user_id", error);
    if (!id) {
        return error;
    }
    const contacts::MemberRecord* member = FindMember(*group, context.ids.UserNameOf(*id));
    if (member == nullptr) {
        return Failed(UNKNOWN_CONTACT, "the group has no member with the id " + *id);
    }
    return Ok(MemberInfo(context.ids, *member));
}

ActionResult GetGroupMemberList(const ActionContext& context, const Json& params) {
    ActionResult error;
    const auto group = NamedContact(context, params, "group_id", true, error);
    if (!group) {
        return error;
    }
    Json members = Json::MakeArray();
    for (const contacts::MemberRecord& member : group->Members) {
        if (!member.UserName.empty()) {
            members.Push(MemberInfo(context.ids, member));
        }
    }
    return Ok(std::move(members));
}

ActionResult SetRemark(const ActionContext& context, const Json& params) {
    ActionResult error;
    const auto contact = NamedContact(context, params, "user_id", false, error);
    if (!contact) {
        return error;
    }
    const Json* remark = params.Find("remark");
    if (remark == nullptr || !remark->IsString()) {
        return Failed(BAD_PARAM, "remark must be a string");
    }
    if (!context.parts.connection.Online()) {
        return Failed(OFFLINE, "the robot is not logged in");
    }
    const std::string ret =
        contacts::SetRemarkName(context.parts.link, *context.parts.sessions.Snapshot(),
                                contact->UserName, platform::Utf8ToGbk(remark->AsString()));
    if (ret == "0") {
        return Ok();
    }
    return Failed(REMARK_REFUSED, ret.empty() ? std::string("no answer from the service")
                                              : "the service refused it (Ret " + ret + ")");
}

ActionResult GetContactKey(const ActionContext& context, const Json& params) {
    ActionResult error;
    const std::optional<std::string> user_name = RequiredString(params, "username", error);
    if (!user_name) {
        return error;
    }
    if (!IsKnownUserName(context, *user_name)) {
        return Failed(UNKNOWN_CONTACT, "nobody the robot knows has the UserName " + *user_name);
    }
    return Ok(Json::MakeObject().Set("user_id", context.ids.IdOf(*user_name)));
}

}  // namespace zelmo::onebot
