#include "contacts/ContactCutReference.h"

#include <algorithm>

#include "platform/GbkText.h"
#include "platform/Regex.h"
#include "protocol/JsonText.h"
#include "protocol/TextHelpers.h"

namespace zelmo::contacts::reference {

namespace {

// One contact object: from its "Uin" key to the first brace after its "ChatRoomId" (the
// members of a group in between have no ChatRoomId, so they stay inside).
constexpr std::string_view CONTACT_PATTERN = "Uin.*?UserName.*?ChatRoomId.*?\\}";

// A number's right marker is its comma; a token's is its closing quote and comma. The Uin
// marker lacks the opening quote, and every object starts with "Uin", so its first
// occurrence is the object's own.
constexpr std::string_view UIN_MARKER = "Uin\": ";
constexpr std::string_view SEX_MARKER = "\"Sex\": ";
constexpr std::string_view VERIFY_FLAG_MARKER = "\"VerifyFlag\": ";
constexpr std::string_view MEMBER_COUNT_MARKER = "\"MemberCount\": ";
constexpr std::string_view OWNER_UIN_MARKER = "\"OwnerUin\": ";
constexpr std::string_view USER_NAME_MARKER = "\"UserName\": \"";
constexpr std::string_view NUMBER_END = ",";
constexpr std::string_view TOKEN_END = "\",";

// Texts shown to people end at their real closing quote and are decoded.
constexpr std::string_view NICK_NAME_KEY = "\"NickName\": \"";
constexpr std::string_view ALIAS_KEY = "\"Alias\": \"";
constexpr std::string_view PROVINCE_KEY = "\"Province\": \"";
constexpr std::string_view CITY_KEY = "\"City\": \"";
constexpr std::string_view REMARK_NAME_KEY = "\"RemarkName\": \"";
constexpr std::string_view DISPLAY_NAME_KEY = "\"DisplayName\": \"";
constexpr std::string_view SIGNATURE_KEY = "\"Signature\": \"";

std::string CutNumber(std::string_view object, std::string_view marker) {
    return protocol::ExtractBetween(object, marker, NUMBER_END);
}

// The service writes names with HTML entities ("&amp;"); people read the characters.
std::string CutShownText(std::string_view object, std::string_view key) {
    return protocol::DecodeHtmlEntities(protocol::ExtractJsonString(object, key));
}

std::string CutNickName(std::string_view object, std::string_view key = NICK_NAME_KEY) {
    return protocol::DecodeHtmlEntities(
        protocol::StripSpanTags(protocol::ExtractJsonString(object, key)));
}

// Calls `visit` with every object directly inside the array at `open` (a '['), each cut
// at its own closing brace; brackets inside strings count for nothing.
template <typename Visit>
void ForEachObjectIn(std::string_view text, std::size_t open, Visit visit) {
    const std::size_t close = protocol::FindJsonEnd(text, open);
    if (close == std::string_view::npos) {
        return;
    }
    std::size_t pos = open + 1;
    while (pos < close) {
        const char c = text[pos];
        if (c == '"') {
            const std::size_t end = protocol::FindJsonStringEnd(text, pos + 1);
            if (end == std::string_view::npos) {
                return;
            }
            pos = end + 1;
            continue;
        }
        if (c == '{' || c == '[') {
            const std::size_t end = protocol::FindJsonEnd(text, pos);
            if (end == std::string_view::npos || end > close) {
                return;
            }
            if (c == '{' && !visit(text.substr(pos, end - pos + 1))) {
                return;
            }
            pos = end + 1;
            continue;
        }
        pos += platform::GbkCharLength(text, pos);
    }
}

}  // namespace

ContactRecord CutContact(std::string_view object) {
    ContactRecord record;
    record.Uin = CutNumber(object, UIN_MARKER);
    record.NickName = CutNickName(object);
    record.Alias = CutShownText(object, ALIAS_KEY);
    const std::string raw_sex = CutNumber(object, SEX_MARKER);
    const std::string raw_verify_flag = CutNumber(object, VERIFY_FLAG_MARKER);
    record.UserName = protocol::ExtractBetween(object, USER_NAME_MARKER, TOKEN_END);
    record.Province = CutShownText(object, PROVINCE_KEY);
    record.City = CutShownText(object, CITY_KEY);
    record.RemarkName = CutShownText(object, REMARK_NAME_KEY);
    record.MemberCount = CutNumber(object, MEMBER_COUNT_MARKER);
    record.OwnerUin = CutNumber(object, OWNER_UIN_MARKER);
    record.Signature = CutNickName(object, SIGNATURE_KEY);
    record.kind = ContactKind(raw_sex, raw_verify_flag, record.UserName);
    return record;
}

std::vector<ContactRecord> CutContacts(std::string_view text) {
    static const platform::Regex contact_pattern(CONTACT_PATTERN);
    std::vector<ContactRecord> records;
    for (const std::string_view object : contact_pattern.FindAll(text)) {
        records.push_back(CutContact(object));
    }
    return records;
}

GroupMembers CutGroupMembers(std::string_view answer) {
    GroupMembers group;
    group.member_count = CutNumber(answer, MEMBER_COUNT_MARKER);
    group.owner_uin = CutNumber(answer, OWNER_UIN_MARKER);
    const long long count = protocol::IntegerValue(group.member_count);
    if (count <= 0) {
        return group;
    }
    group.members.resize(std::min(static_cast<std::size_t>(count), MAX_MEMBER_SLOTS));

    const std::size_t marker = platform::FindGbk(answer, MEMBER_COUNT_MARKER);
    const std::size_t open = marker == std::string_view::npos
                                 ? std::string_view::npos
                                 : platform::FindGbk(answer, "[", marker);
    if (open == std::string_view::npos) {
        return group;
    }
    std::size_t slot = 0;
    ForEachObjectIn(answer, open, [&](std::string_view object) {
        MemberRecord& member = group.members[slot];
        member.UserName = protocol::ExtractBetween(object, USER_NAME_MARKER, TOKEN_END);
        member.Uin = CutNumber(object, UIN_MARKER);
        member.NickName = CutNickName(object);
        member.DisplayName = CutNickName(object, DISPLAY_NAME_KEY);
        return ++slot < group.members.size();
    });
    return group;
}

}  // namespace zelmo::contacts::reference
