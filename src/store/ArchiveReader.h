#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Sqlite.h"
#include "store/ArchiveRecords.h"

namespace zelmo::store {

struct RowsRead {
    std::vector<ArchiveRow> rows;
    std::string error;  // SQLite's words when the read failed
};

struct KeysRead {
    std::vector<ContactKeyRecord> keys;
    std::string error;
};

// Reads the database on a read-only connection of its own, beside a writer in this or
// another process (it takes no lock that stops the writer). Use it on one thread at a time.
class ArchiveReader {
public:
    // Nothing, with SQLite's words in `error`, when the file is missing, unreadable, not a
    // database or holds no archive. It never creates or changes the file.
    static std::optional<ArchiveReader> Open(std::string_view path, std::string* error);

    // Rows whose text holds query.text (newest first, one page). Three characters and more
    // go through the text index; shorter ones read every row.
    SearchPage Search(const SearchQuery& query);
    // The newest `count` rows, of one chat when `chat_key` is not empty, none later than
    // `until_ms` when it is not 0; oldest first.
    RowsRead LastRows(int count, std::string_view chat_key = {}, std::int64_t until_ms = 0);
    // Every row, oldest first, of the chats matching `chat` (a key, or part of a name; empty
    // for all) until `sink` returns false. Empty, or SQLite's words when the read failed.
    std::string ForEachRow(std::string_view chat,
                           const std::function<bool(const ArchiveRow&)>& sink);
    // Every known contact key.
    KeysRead LoadContactKeys();

private:
    ArchiveReader(platform::SqliteConnection db, bool has_origin, bool has_media_path)
        : m_db(std::move(db)), m_has_origin(has_origin), m_has_media_path(has_media_path) {}
    std::string Select(std::string_view from_where) const;

    platform::SqliteConnection m_db;
    bool m_has_origin = true;
    bool m_has_media_path = true;
};

// The LIKE pattern that matches texts containing `text`, with \ escaping % _ and itself.
std::string ContainsPattern(std::string_view text);

// The number of characters of a UTF-8 text (bytes that do not continue a character).
std::size_t CharacterCount(std::string_view utf8);

}  // namespace zelmo::store
