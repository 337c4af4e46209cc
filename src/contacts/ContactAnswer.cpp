#include "contacts/ContactAnswer.h"

#include <algorithm>
#include <array>
#include <cstdint>

#include "platform/GbkText.h"
#include "platform/JsonReader.h"
#include "protocol/AnswerText.h"
#include "protocol/TextHelpers.h"

namespace zelmo::contacts {

namespace {

using Token = platform::JsonReader::Token;

// The service marks official accounts (subscription and service accounts, verified or
// not: 8, 24, 56) with this bit; their Sex is 0 like that of many people.
constexpr long long OFFICIAL_ACCOUNT_FLAG = 8;

// The keys a contact record is cut from, and the one that marks an object as a contact.
enum Field : std::uint8_t {
    UIN,
    NICK_NAME,
    ALIAS,
    SEX,
    USER_NAME,
    PROVINCE,
    CITY,
    REMARK_NAME,
    MEMBER_COUNT,
    OWNER_UIN,
    CHAT_ROOM_ID,
    VERIFY_FLAG,
    SIGNATURE,
    FIELD_COUNT,
    NO_FIELD = FIELD_COUNT,
};

Field FieldOf(std::string_view key) {
    switch (key.size()) {
        case 3:
            return key == "Uin" ? UIN : key == "Sex" ? SEX : NO_FIELD;
        case 4:
            return key == "City" ? CITY : NO_FIELD;
        case 5:
            return key == "Alias" ? ALIAS : NO_FIELD;
        case 9:
            return key == "Signature" ? SIGNATURE : NO_FIELD;
        case 8:
            return key == "NickName"   ? NICK_NAME
                   : key == "UserName" ? USER_NAME
                   : key == "Province" ? PROVINCE
                   : key == "OwnerUin" ? OWNER_UIN
                                       : NO_FIELD;
        case 10:
            return key == "RemarkName"   ? REMARK_NAME
                   : key == "ChatRoomId" ? CHAT_ROOM_ID
                   : key == "VerifyFlag" ? VERIFY_FLAG
                                         : NO_FIELD;
        case 11:
            return key == "MemberCount" ? MEMBER_COUNT : NO_FIELD;
        default:
            return NO_FIELD;
    }
}

// Texts and tokens are strings; numbers are taken as written, whatever value stands there
// (a string with its quotes, as a cut up to the comma would give).
bool IsNumberField(Field field) {
    return field == UIN || field == SEX || field == MEMBER_COUNT || field == OWNER_UIN ||
           field == CHAT_ROOM_ID || field == VERIFY_FLAG;
}

// The fields of one open container, first occurrence of each key.
struct Frame {
    std::array<std::string_view, FIELD_COUNT> values{};
    std::uint16_t keys = 0;    // keys seen
    std::uint16_t filled = 0;  // values taken
};

constexpr std::uint16_t Bit(Field field) {
    return static_cast<std::uint16_t>(1U << field);
}
constexpr std::uint16_t CONTACT_KEYS = Bit(UIN) | Bit(USER_NAME) | Bit(CHAT_ROOM_ID);

ContactRecord BuildRecord(const Frame& frame) {
    const auto& v = frame.values;
    ContactRecord record;
    record.Uin = protocol::TokenText(v[UIN]);
    record.NickName = protocol::NameText(v[NICK_NAME]);
    record.Alias = protocol::ShownText(v[ALIAS]);
    record.UserName = protocol::TokenText(v[USER_NAME]);
    record.Province = protocol::ShownText(v[PROVINCE]);
    record.City = protocol::ShownText(v[CITY]);
    record.RemarkName = protocol::ShownText(v[REMARK_NAME]);
    record.MemberCount = protocol::TokenText(v[MEMBER_COUNT]);
    record.OwnerUin = protocol::TokenText(v[OWNER_UIN]);
    record.Signature = protocol::NameText(v[SIGNATURE]);
    record.kind = ContactKind(protocol::TokenText(v[SEX]), protocol::TokenText(v[VERIFY_FLAG]),
                              record.UserName);
    return record;
}

}  // namespace

std::string ContactKind(std::string_view raw_sex, std::string_view raw_verify_flag,
                        std::string_view user_name) {
    if (platform::ContainsGbk(user_name, "@@")) {
        return std::string(KIND_GROUP);
    }
    if ((protocol::IntegerValue(raw_verify_flag) & OFFICIAL_ACCOUNT_FLAG) != 0) {
        return std::string(KIND_PUBLIC);
    }
    if (raw_sex == "1") {
        return std::string(KIND_MALE);
    }
    if (raw_sex == "2") {
        return std::string(KIND_FEMALE);
    }
    return std::string(KIND_UNKNOWN);
}

namespace {

// Calls `visit` with each contact record of the answer, in order, as soon as its object
// has closed.
template <typename Visit>
void ForEachContact(std::string_view answer, Visit visit) {
    platform::JsonReader reader(answer);
    // One frame per open container, objects and arrays alike, so a contact may stand at
    // any depth and a group's members never mix with its own fields.
    std::vector<Frame> frames;
    Field pending = NO_FIELD;
    for (;;) {
        const Token token = reader.Next();
        switch (token) {
            case Token::ObjectStart:
            case Token::ArrayStart:
                frames.emplace_back();
                pending = NO_FIELD;
                break;
            case Token::Key:
                pending = FieldOf(reader.Text());
                if (pending != NO_FIELD) {
                    frames.back().keys |= Bit(pending);
                }
                break;
            case Token::String:
            case Token::Scalar: {
                if (pending == NO_FIELD) {
                    break;
                }
                Frame& frame = frames.back();
                if ((frame.filled & Bit(pending)) == 0 &&
                    (token == Token::String || IsNumberField(pending))) {
                    frame.values[pending] =
                        IsNumberField(pending) ? reader.ValueBytes() : reader.Text();
                    frame.filled |= Bit(pending);
                }
                pending = NO_FIELD;
                break;
            }
            case Token::ObjectEnd:
                if ((frames.back().keys & CONTACT_KEYS) == CONTACT_KEYS) {
                    visit(BuildRecord(frames.back()));
                }
                frames.pop_back();
                pending = NO_FIELD;
                break;
            case Token::ArrayEnd:
                frames.pop_back();
                pending = NO_FIELD;
                break;
            case Token::End:
            case Token::Fault:
                return;
        }
    }
}

}  // namespace

std::vector<ContactRecord> ReadContacts(std::string_view answer) {
    std::vector<ContactRecord> records;
    ForEachContact(answer,
                   [&records](ContactRecord record) { records.push_back(std::move(record)); });
    return records;
}

AppendedContacts AppendContacts(ContactStore& store, std::string_view answer) {
    AppendedContacts appended;
    // Each record goes in as soon as it is read: no second copy of a whole answer's
    // records, and lists refilled meanwhile wait for one append at a time only.
    ForEachContact(answer, [&](ContactRecord record) {
        const bool is_group = record.kind == KIND_GROUP;
        const std::size_t index = store.AppendIfNew(std::move(record));
        if (index == 0) {
            return;
        }
        ++appended.count;
        if (is_group) {
            appended.new_groups.push_back(index);
        }
    });
    return appended;
}

namespace {

// One member object of the list: the first of each of its own keys.
struct MemberFields {
    std::string_view uin;
    std::string_view user_name;
    std::string_view nick_name;
    std::string_view display_name;
    bool has_uin = false;
    bool has_user_name = false;
    bool has_nick_name = false;
    bool has_display_name = false;
};

}  // namespace

GroupMembers ReadGroupMembers(std::string_view answer) {
    GroupMembers group;
    platform::JsonReader reader(answer);
    enum class Wanted : std::uint8_t {
        None,
        Count,
        Owner,
        MemberUin,
        MemberUserName,
        MemberNick,
        MemberDisplayName,
    };
    Wanted pending = Wanted::None;
    bool count_seen = false;
    bool owner_seen = false;
    // The list is the first array that opens after the first MemberCount key.
    enum class List : std::uint8_t { NotYet, Awaited, Open, Closed };
    List list = List::NotYet;
    std::size_t list_depth = 0;
    std::vector<MemberFields> members;
    MemberFields member;

    const auto done = [&] {
        return count_seen && owner_seen &&
               (list == List::Closed || protocol::IntegerValue(group.member_count) <= 0);
    };
    // A key's value is read before the search may end.
    while (pending != Wanted::None || !done()) {
        const Token token = reader.Next();
        if (token == Token::End || token == Token::Fault) {
            break;
        }
        const std::size_t depth = reader.Depth();
        const bool in_member = list == List::Open && depth == list_depth + 1;
        switch (token) {
            case Token::Key: {
                const std::string_view key = reader.Text();
                pending = Wanted::None;
                if (key == "MemberCount" && !count_seen) {
                    count_seen = true;
                    pending = Wanted::Count;
                    if (list == List::NotYet) {
                        list = List::Awaited;
                    }
                } else if (key == "OwnerUin" && !owner_seen) {
                    owner_seen = true;
                    pending = Wanted::Owner;
                } else if (in_member) {
                    pending = key == "Uin"           ? Wanted::MemberUin
                              : key == "UserName"    ? Wanted::MemberUserName
                              : key == "NickName"    ? Wanted::MemberNick
                              : key == "DisplayName" ? Wanted::MemberDisplayName
                                                     : Wanted::None;
                }
                break;
            }
            case Token::String:
            case Token::Scalar:
                if (pending == Wanted::Count) {
                    group.member_count = protocol::TokenText(reader.ValueBytes());
                } else if (pending == Wanted::Owner) {
                    group.owner_uin = protocol::TokenText(reader.ValueBytes());
                } else if (pending == Wanted::MemberUin && !member.has_uin) {
                    member.uin = reader.ValueBytes();
                    member.has_uin = true;
                } else if (token == Token::String) {
                    if (pending == Wanted::MemberUserName && !member.has_user_name) {
                        member.user_name = reader.Text();
                        member.has_user_name = true;
                    } else if (pending == Wanted::MemberNick && !member.has_nick_name) {
                        member.nick_name = reader.Text();
                        member.has_nick_name = true;
                    } else if (pending == Wanted::MemberDisplayName && !member.has_display_name) {
                        member.display_name = reader.Text();
                        member.has_display_name = true;
                    }
                }
                pending = Wanted::None;
                break;
            case Token::ArrayStart:
                if (list == List::Awaited) {
                    list = List::Open;
                    list_depth = depth;
                }
                pending = Wanted::None;
                break;
            case Token::ObjectStart:
                if (list == List::Open && depth == list_depth + 1) {
                    member = MemberFields{};
                }
                pending = Wanted::None;
                break;
            case Token::ObjectEnd:
                if (list == List::Open && depth == list_depth) {
                    members.push_back(member);
                }
                pending = Wanted::None;
                break;
            case Token::ArrayEnd:
                if (list == List::Open && depth == list_depth - 1) {
                    list = List::Closed;
                }
                pending = Wanted::None;
                break;
            default:
                break;
        }
    }

    const long long count = protocol::IntegerValue(group.member_count);
    if (count <= 0) {
        return group;
    }
    group.members.resize(std::min(static_cast<std::size_t>(count), MAX_MEMBER_SLOTS));
    if (list != List::Closed) {
        return group;
    }
    const std::size_t filled = std::min(members.size(), group.members.size());
    for (std::size_t i = 0; i < filled; ++i) {
        MemberRecord& slot = group.members[i];
        slot.UserName = protocol::TokenText(members[i].user_name);
        slot.Uin = protocol::TokenText(members[i].uin);
        slot.NickName = protocol::NameText(members[i].nick_name);
        slot.DisplayName = protocol::NameText(members[i].display_name);
    }
    return group;
}

}  // namespace zelmo::contacts
