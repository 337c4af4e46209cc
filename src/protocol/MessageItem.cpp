#include "protocol/MessageItem.h"

#include <cstdint>

#include "platform/JsonReader.h"
#include "protocol/AnswerText.h"
#include "protocol/AnswerValues.h"

namespace zelmo::protocol {

namespace {

using Token = platform::JsonReader::Token;

enum class Conversion : std::uint8_t { Token, Value };

// Where the value of one key goes, and how its string is converted.
struct Target {
    std::string* field = nullptr;
    Conversion conversion = Conversion::Token;
    bool number = false;  // taken as written, whatever value stands there
    unsigned bit = 0;     // marks the key as seen
};

Target TargetOf(std::string_view key, MessageItem& item) {
    switch (key.size()) {
        case 3:
            return key == "Url" ? Target{&item.Url, Conversion::Value, false, 1U << 6} : Target{};
        case 5:
            return key == "MsgId" ? Target{&item.MsgId, Conversion::Token, false, 1U << 0}
                                  : Target{};
        case 7:
            if (key == "MsgType") {
                return {&item.MsgType, Conversion::Token, true, 1U << 3};
            }
            return key == "Content" ? Target{&item.Content, Conversion::Value, false, 1U << 4}
                                    : Target{};
        case 8:
            return key == "FileName" ? Target{&item.FileName, Conversion::Value, false, 1U << 5}
                                     : Target{};
        case 10:
            if (key == "ToUserName") {
                return {&item.ToUserName, Conversion::Token, false, 1U << 2};
            }
            if (key == "AppMsgType") {
                return {&item.AppMsgType, Conversion::Token, true, 1U << 7};
            }
            if (key == "SubMsgType") {
                return {&item.SubMsgType, Conversion::Token, true, 1U << 9};
            }
            return key == "CreateTime" ? Target{&item.CreateTime, Conversion::Token, true, 1U << 10}
                                       : Target{};
        case 12:
            return key == "FromUserName"
                       ? Target{&item.FromUserName, Conversion::Token, false, 1U << 1}
                       : Target{};
        case 16:
            return key == "StatusNotifyCode"
                       ? Target{&item.StatusNotifyCode, Conversion::Token, true, 1U << 8}
                       : Target{};
        default:
            return {};
    }
}

// The value after a key into its target: a string's content for texts and tokens, any
// scalar as written for numbers.
void Take(platform::JsonReader& reader, const Target& target) {
    const std::string_view value = ScalarValue(reader);
    if (target.number) {
        *target.field = TokenText(value);
        return;
    }
    if (value.size() < 2 || value.front() != '"') {
        return;
    }
    const std::string_view content = value.substr(1, value.size() - 2);
    *target.field =
        target.conversion == Conversion::Token ? TokenText(content) : ValueText(content);
}

void ReadRecommendInfo(platform::JsonReader& reader, MessageItem& item) {
    const std::size_t depth = reader.Depth();
    if (reader.Next() == Token::ObjectStart) {
        bool user_name_seen = false;
        bool nick_name_seen = false;
        for (Token token = reader.Next(); token == Token::Key; token = reader.Next()) {
            if (user_name_seen && nick_name_seen) {
                // The rest of the recommendation (the province, a ticket...) is not wanted.
                reader.SkipRest();
                break;
            }
            const std::string_view key = reader.Text();
            if (key == "UserName" && !user_name_seen) {
                user_name_seen = true;
                Take(reader, {&item.RecommendInfo.UserName, Conversion::Token});
            } else if (key == "NickName" && !nick_name_seen) {
                nick_name_seen = true;
                Take(reader, {&item.RecommendInfo.NickName, Conversion::Value});
            } else {
                reader.SkipValue();
            }
        }
    }
    ReadPast(reader, depth);
}

}  // namespace

MessageItem ReadMessageItem(std::string_view item) {
    MessageItem fields;
    platform::JsonReader reader(item);
    if (reader.Next() != Token::ObjectStart) {
        return fields;
    }
    // Each key counts once: the first of its name. Once all have come, the rest (the
    // message's tail) is left unread.
    constexpr unsigned ALL_FIELDS = (1U << 11) - 1;
    unsigned seen = 0;
    bool recommend_seen = false;
    for (Token token = reader.Next();
         token == Token::Key && !(seen == ALL_FIELDS && recommend_seen); token = reader.Next()) {
        const std::string_view key = reader.Text();
        if (key == "RecommendInfo" && !recommend_seen) {
            recommend_seen = true;
            ReadRecommendInfo(reader, fields);
            continue;
        }
        const Target target = TargetOf(key, fields);
        if (target.field == nullptr) {
            reader.SkipValue();
            continue;
        }
        if ((seen & target.bit) != 0) {
            reader.SkipValue();
            continue;
        }
        seen |= target.bit;
        Take(reader, target);
    }
    return fields;
}

}  // namespace zelmo::protocol
