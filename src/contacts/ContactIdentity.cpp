#include "contacts/ContactIdentity.h"

#include <algorithm>

namespace zelmo::contacts {

bool HasUin(std::string_view uin) {
    return !uin.empty() && uin != "0";
}

std::vector<std::string> MemberNamesOf(const std::vector<MemberRecord>& members) {
    std::vector<std::string> names;
    names.reserve(members.size());
    for (const MemberRecord& member : members) {
        const std::string& name = member.NickName.empty() ? member.DisplayName : member.NickName;
        if (!name.empty()) {
            names.push_back(name);
        }
    }
    std::sort(names.begin(), names.end());
    names.erase(std::unique(names.begin(), names.end()), names.end());
    return names;
}

ContactIdentity IdentityOf(const ContactRecord& record) {
    ContactIdentity identity;
    identity.Uin = record.Uin;
    identity.Alias = record.Alias;
    identity.RemarkName = record.RemarkName;
    identity.NickName = record.NickName;
    identity.Province = record.Province;
    identity.City = record.City;
    identity.Signature = record.Signature;
    if (record.kind == KIND_GROUP) {
        identity.kind = IdentityKind::Group;
        identity.MemberNames = MemberNamesOf(record.Members);
    } else if (record.kind == KIND_PUBLIC) {
        identity.kind = IdentityKind::Public;
    } else {
        identity.kind = IdentityKind::Friend;
        identity.Sex = record.kind;
    }
    return identity;
}

ContactIdentity MemberIdentity(std::string_view group_key, const MemberRecord& member) {
    ContactIdentity identity;
    identity.kind = IdentityKind::Member;
    identity.Uin = member.Uin;
    identity.NickName = member.NickName;
    identity.GroupKey = std::string(group_key);
    identity.DisplayName = member.DisplayName.empty() ? member.NickName : member.DisplayName;
    return identity;
}

}  // namespace zelmo::contacts
