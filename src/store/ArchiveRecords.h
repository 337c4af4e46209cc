#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zelmo::store {

// Every text in these records is UTF-8: the database is read by other programs too.

enum class Direction { In, Out };

// One archived message: a message the robot received, or a text it sent.
struct ArchiveRow {
    std::int64_t id = 0;       // the database's row id (rising); 0 before it is stored
    std::int64_t time_ms = 0;  // Unix milliseconds
    Direction direction = Direction::In;
    std::string kind;  // the label of the message's kind ("文本", "[图片]", ...)
    std::string chat_key;
    std::string chat_name;
    std::string sender_key;   // in a group: the member; else the partner or the own account
    std::string sender_name;  // in a group: the member's display name
    std::string msg_id;       // the service's MsgId; empty when there is none
    std::string text;
    // Sent texts: "ok" when the service took it, else why it was not sent. Empty for
    // received messages.
    std::string result;
    bool recalled = false;
    // Sent texts: who handed it in ("reply", "model:NAME" with the language model's name,
    // "chat", "mass", "plugin", "onebot").
    // Empty for received messages.
    std::string origin;
    // Received media: the file it was saved to (file-system bytes); empty until then.
    std::string media_path;
};

// A stable contact key with what it was matched on. `kind` is the caller's word (friend,
// group, member, ...); a group's name is its nick_name.
struct ContactKeyRecord {
    std::string key;
    std::string kind;
    std::string uin;  // empty when the service gave none
    std::string alias;
    std::string remark_name;
    std::string nick_name;
    std::string sex;
    std::string province;
    std::string city;
    std::string signature;
    std::vector<std::string> member_names;  // a group: its members' names
    std::string group_key;                  // a member: its group's key
    std::string display_name;               // a member: its name in the group
    std::int64_t first_seen_ms = 0;
    std::int64_t last_seen_ms = 0;
};

// What a search asks for. Results come newest first.
struct SearchQuery {
    // Part of a message's text, ASCII letters in either case; empty matches every row.
    std::string text;
    // A chat's key, or part of its name; empty for every chat.
    std::string chat;
    std::int64_t since_ms = 0;   // only rows at or after this time; 0: no bound
    std::int64_t before_id = 0;  // only rows older than this id (the next page); 0: none
    int limit = 200;
};

// One page of results; `next_before_id` asks for the next page (0: this was the last).
struct SearchPage {
    std::vector<ArchiveRow> rows;
    std::int64_t next_before_id = 0;
    std::string error;  // SQLite's words when the search failed; rows are empty then
};

}  // namespace zelmo::store
