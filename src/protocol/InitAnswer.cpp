#include "protocol/InitAnswer.h"

#include "platform/Encoding.h"
#include "protocol/AnswerText.h"
#include "protocol/AnswerValues.h"
#include "protocol/LoginFlow.h"
#include "protocol/SyncAnswer.h"

namespace zelmo::protocol {

namespace {

using Token = platform::JsonReader::Token;

struct UserFields {
    std::string_view uin;
    std::string_view user_name;
    std::string_view head_img_url;
    std::string_view nick_name;
    std::string_view signature;
    std::string_view sex;
};

// The value after the "User" key, first of each key. A User cut off still gives the
// fields that came whole.
UserFields ReadUser(platform::JsonReader& reader) {
    const std::size_t depth = reader.Depth();
    UserFields user;
    unsigned seen = 0;
    const auto first = [&seen](unsigned bit) {
        const bool is_first = (seen & bit) == 0;
        seen |= bit;
        return is_first;
    };
    // A string's content, for fields that are texts; nothing for any other value.
    const auto string_content = [&reader] {
        const std::string_view value = ScalarValue(reader);
        return value.size() >= 2 && value.front() == '"' ? value.substr(1, value.size() - 2)
                                                         : std::string_view();
    };
    if (reader.Next() == Token::ObjectStart) {
        for (Token token = reader.Next(); token == Token::Key; token = reader.Next()) {
            const std::string_view key = reader.Text();
            if (key == "Uin" && first(1U)) {
                user.uin = ScalarValue(reader);
            } else if (key == "UserName" && first(2U)) {
                user.user_name = string_content();
            } else if (key == "HeadImgUrl" && first(4U)) {
                user.head_img_url = string_content();
            } else if (key == "NickName" && first(8U)) {
                user.nick_name = string_content();
            } else if (key == "Signature" && first(16U)) {
                user.signature = string_content();
            } else if (key == "Sex" && first(32U)) {
                user.sex = ScalarValue(reader);
            } else {
                reader.SkipValue();
            }
        }
    }
    ReadPast(reader, depth);
    return user;
}

std::optional<OwnProfile> OwnProfileOf(const ServiceProfile& profile, std::string_view fun,
                                       const UserFields& user) {
    OwnProfile own;
    own.Uin = TokenText(user.uin);
    own.UserName = TokenText(user.user_name);
    if (!IsUin(own.Uin) || own.UserName.empty()) {
        return std::nullopt;
    }
    // Only a path stays on the web-client host: "@evil.example/x" would name another one.
    const std::string head = TokenText(user.head_img_url);
    own.HeadImgUrl = head.starts_with('/') ? WebUrl(profile, fun) + head : std::string();
    own.NickName = NameText(user.nick_name);
    own.Signature = NameText(user.signature);
    static const std::string male = platform::Utf8ToGbk("男");
    static const std::string female = platform::Utf8ToGbk("女");
    own.Sex = user.sex == "1" ? male : female;
    return own;
}

}  // namespace

InitAnswer ReadInitAnswer(const ServiceProfile& profile, std::string_view fun,
                          std::string_view answer) {
    InitAnswer result;
    platform::JsonReader reader(answer);
    if (reader.Next() != Token::ObjectStart) {
        return result;
    }
    bool ret_seen = false;
    bool key_seen = false;
    bool user_seen = false;
    UserFields user;
    for (Token token = reader.Next(); token == Token::Key; token = reader.Next()) {
        const std::string_view key = reader.Text();
        if (key == "BaseResponse" && !ret_seen) {
            ret_seen = true;
            result.ret = BaseResponseRet(reader);
        } else if (key == "SyncKey" && !key_seen) {
            key_seen = true;
            result.sync_key = ReadSyncKey(reader);
        } else if (key == "User" && !user_seen) {
            user_seen = true;
            user = ReadUser(reader);
        } else {
            reader.SkipValue();
        }
    }
    if (user_seen) {
        result.own = OwnProfileOf(profile, fun, user);
    }
    return result;
}

}  // namespace zelmo::protocol
