#include "onebot/ContactViews.h"

namespace zelmo::onebot {

std::optional<contacts::ContactRecord> FindContact(const contacts::ContactStore& store,
                                                   std::string_view user_name) {
    if (user_name.empty()) {
        return std::nullopt;
    }
    const std::size_t index = store.FindContactIndex(user_name);
    if (index == 0) {
        return std::nullopt;
    }
    return store.At(index);
}

const contacts::MemberRecord* FindMember(const contacts::ContactRecord& group,
                                         std::string_view user_name) {
    for (const contacts::MemberRecord& member : group.Members) {
        if (member.UserName == user_name) {
            return &member;
        }
    }
    return nullptr;
}

std::string GroupMemberName(const contacts::ContactStore& store,
                            const contacts::ContactRecord& group, std::string_view member) {
    if (const contacts::MemberRecord* record = FindMember(group, member)) {
        if (!record->DisplayName.empty()) {
            return record->DisplayName;
        }
        if (!record->NickName.empty()) {
            return record->NickName;
        }
    }
    if (const std::optional<contacts::ContactRecord> contact = FindContact(store, member)) {
        return contact->NickName;
    }
    return {};
}

bool IsGroup(const contacts::ContactRecord& contact) {
    return contact.kind == contacts::KIND_GROUP || contact.UserName.find("@@") != std::string::npos;
}

bool IsPerson(const contacts::ContactRecord& contact) {
    return !IsGroup(contact) && contact.kind != contacts::KIND_PUBLIC;
}

}  // namespace zelmo::onebot
