#include "protocol/SyncAnswer.h"

#include <utility>

#include "protocol/AnswerText.h"
#include "protocol/AnswerValues.h"

namespace zelmo::protocol {

namespace {

using Token = platform::JsonReader::Token;

constexpr std::string_view TEXT_SEPARATOR = "%7C";

// The value after a SyncKey's "List" key: both forms of its entries.
std::optional<SyncKey> ReadKeyList(platform::JsonReader& reader) {
    const std::size_t depth = reader.Depth();
    Token token = reader.Next();
    if (token != Token::ArrayStart) {
        ReadPast(reader, depth);
        return std::nullopt;
    }
    std::string text_form;
    std::string json_form;
    int count = 0;
    bool broken = false;
    for (token = reader.Next(); token == Token::ObjectStart; token = reader.Next()) {
        std::string key;
        std::string val;
        bool has_key = false;
        bool has_val = false;
        for (token = reader.Next(); token == Token::Key; token = reader.Next()) {
            const std::string_view name = reader.Text();
            if (name == "Key" && !has_key) {
                key = TokenText(ScalarValue(reader));
                has_key = true;
            } else if (name == "Val" && !has_val) {
                val = TokenText(ScalarValue(reader));
                has_val = true;
            } else {
                reader.SkipValue();
            }
        }
        if (token != Token::ObjectEnd) {
            return std::nullopt;
        }
        if (key.empty() || val.empty()) {
            broken = true;
            continue;
        }
        text_form.append(key).append("_").append(val).append(TEXT_SEPARATOR);
        json_form.append("{\"Key\":").append(key).append(",\"Val\":").append(val).append("},");
        ++count;
    }
    const bool closed = token == Token::ArrayEnd;
    ReadPast(reader, depth);
    if (!closed || broken || count == 0) {
        return std::nullopt;
    }
    text_form.resize(text_form.size() - TEXT_SEPARATOR.size());
    json_form.pop_back();
    return SyncKey{std::move(text_form),
                   "{\"Count\":" + std::to_string(count) + ",\"List\":[" + json_form + "]}"};
}

// The first UserName string anywhere in the value after a key.
std::string FirstUserName(platform::JsonReader& reader) {
    const std::size_t depth = reader.Depth();
    std::string user_name;
    bool found = false;
    bool after_user_name = false;
    for (Token token = reader.Next(); token != Token::Fault; token = reader.Next()) {
        if (token == Token::Key) {
            after_user_name = !found && reader.Text() == "UserName";
            continue;
        }
        if (after_user_name && token == Token::String) {
            user_name = TokenText(reader.Text());
            found = true;
        }
        after_user_name = false;
        if (reader.Depth() <= depth) {
            break;
        }
    }
    return user_name;
}

// The value after a DelContactList key: the UserName of each object in the array, in
// order; an object without one, or cut off, is left out.
std::vector<std::string> ReadUserNames(platform::JsonReader& reader) {
    const std::size_t depth = reader.Depth();
    std::vector<std::string> names;
    if (reader.Next() != Token::ArrayStart) {
        ReadPast(reader, depth);
        return names;
    }
    for (Token token = reader.Next(); token == Token::ObjectStart; token = reader.Next()) {
        std::string name;
        for (token = reader.Next(); token == Token::Key; token = reader.Next()) {
            if (reader.Text() == "UserName" && name.empty()) {
                const std::string_view value = ScalarValue(reader);
                if (value.size() >= 2 && value.front() == '"') {
                    name = TokenText(value.substr(1, value.size() - 2));
                }
            } else {
                reader.SkipValue();
            }
        }
        if (token != Token::ObjectEnd) {
            return names;
        }
        if (!name.empty()) {
            names.push_back(std::move(name));
        }
    }
    ReadPast(reader, depth);
    return names;
}

// The value after an AddMsgList key: every object directly inside the array, with its
// MsgId; an item cut off before its end is left out.
std::vector<SyncItem> ReadItems(platform::JsonReader& reader) {
    const std::size_t depth = reader.Depth();
    std::vector<SyncItem> items;
    if (reader.Next() != Token::ArrayStart) {
        ReadPast(reader, depth);
        return items;
    }
    const std::string_view bytes = reader.Bytes();
    for (Token token = reader.Next(); token != Token::ArrayEnd; token = reader.Next()) {
        if (token == Token::Fault) {
            return items;
        }
        if (token != Token::ObjectStart) {
            ReadPast(reader, depth + 1);  // not a message
            continue;
        }
        const std::size_t start = reader.Offset();
        std::string msg_id;
        // The item's first member is its MsgId; the rest is the message job's to read.
        token = reader.Next();
        while (token == Token::Key && reader.Text() != "MsgId") {
            reader.SkipValue();
            token = reader.Next();
        }
        if (token == Token::Key) {
            const std::string_view value = ScalarValue(reader);
            if (value.size() >= 2 && value.front() == '"') {
                msg_id = TokenText(value.substr(1, value.size() - 2));
            }
            token = reader.SkipRest();
        }
        if (token != Token::ObjectEnd) {
            return items;
        }
        items.push_back(
            {std::string(bytes.substr(start, reader.Offset() + 1 - start)), std::move(msg_id)});
    }
    return items;
}

}  // namespace

std::optional<SyncKey> ReadSyncKey(platform::JsonReader& reader) {
    const std::size_t depth = reader.Depth();
    std::optional<SyncKey> result;
    if (reader.Next() == Token::ObjectStart) {
        bool list_seen = false;
        for (Token token = reader.Next(); token == Token::Key; token = reader.Next()) {
            if (reader.Text() == "List" && !list_seen) {
                list_seen = true;
                result = ReadKeyList(reader);
            } else {
                reader.SkipValue();
            }
        }
    }
    ReadPast(reader, depth);
    return result;
}

SyncAnswer ReadSyncAnswer(std::string_view answer) {
    SyncAnswer result;
    platform::JsonReader reader(answer);
    if (reader.Next() != Token::ObjectStart) {
        return result;
    }
    std::string add_count;
    std::string mod_count;
    // The first of each key counts.
    bool ret_seen = false;
    bool key_seen = false;
    bool add_count_seen = false;
    bool add_list_seen = false;
    bool mod_count_seen = false;
    bool mod_list_seen = false;
    std::string del_count;
    bool del_count_seen = false;
    bool del_list_seen = false;
    const auto first = [](bool& seen) { return !std::exchange(seen, true); };
    for (Token token = reader.Next(); token == Token::Key; token = reader.Next()) {
        const std::string_view key = reader.Text();
        if (key == "BaseResponse" && first(ret_seen)) {
            result.ret = BaseResponseRet(reader);
        } else if (key == "AddMsgCount" && first(add_count_seen)) {
            add_count = TokenText(ScalarValue(reader));
        } else if (key == "AddMsgList" && first(add_list_seen)) {
            result.messages = ReadItems(reader);
        } else if (key == "ModContactCount" && first(mod_count_seen)) {
            mod_count = TokenText(ScalarValue(reader));
        } else if (key == "ModContactList" && first(mod_list_seen)) {
            result.changed_contact = FirstUserName(reader);
        } else if (key == "DelContactCount" && first(del_count_seen)) {
            del_count = TokenText(ScalarValue(reader));
        } else if (key == "DelContactList" && first(del_list_seen)) {
            result.deleted_contacts = ReadUserNames(reader);
        } else if (key == "SyncKey" && first(key_seen)) {
            if (std::optional<SyncKey> sync_key = ReadSyncKey(reader)) {
                result.sync_key = std::move(*sync_key);
                result.complete = true;
            }
        } else {
            reader.SkipValue();
        }
    }
    if (add_count == "0") {
        result.messages.clear();
    }
    if (mod_count == "0") {
        result.changed_contact.clear();
    }
    if (del_count == "0") {
        result.deleted_contacts.clear();
    }
    return result;
}

}  // namespace zelmo::protocol
