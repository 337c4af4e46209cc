#include "store/ArchiveReader.h"

#include <algorithm>
#include <limits>

#include "store/DatabaseFile.h"

namespace zelmo::store {

namespace {

using platform::SqliteStatement;
using platform::SqliteStatus;

// The trigram index holds substrings of three characters; shorter texts need a scan.
constexpr std::size_t INDEXED_LENGTH = 3;

constexpr std::string_view ROW_COLUMNS =
    "a.id, a.time_ms, a.direction, a.kind, a.chat_key, a.chat_name, a.sender_key, "
    "a.sender_name, a.msg_id, a.text, a.result, a.recalled, ";
// A database of an older version that no robot has opened since lacks the later columns.
constexpr std::string_view ORIGIN = "a.origin, ";
constexpr std::string_view NO_ORIGIN = "'', ";
constexpr std::string_view MEDIA_PATH = "a.media_path";
constexpr std::string_view NO_MEDIA_PATH = "''";

// A chat given by its key or by part of its name.
constexpr std::string_view CHAT_FILTER = "(a.chat_key = ?3 OR instr(a.chat_name, ?3) > 0)";

ArchiveRow ReadRow(const SqliteStatement& s) {
    ArchiveRow row;
    row.id = s.ColumnInt(0);
    row.time_ms = s.ColumnInt(1);
    row.direction = s.ColumnText(2) == "out" ? Direction::Out : Direction::In;
    row.kind = s.ColumnText(3);
    row.chat_key = s.ColumnText(4);
    row.chat_name = s.ColumnText(5);
    row.sender_key = s.ColumnText(6);
    row.sender_name = s.ColumnText(7);
    row.msg_id = s.ColumnText(8);
    row.text = s.ColumnText(9);
    row.result = s.ColumnText(10);
    row.recalled = s.ColumnInt(11) != 0;
    row.origin = s.ColumnText(12);
    row.media_path = s.ColumnText(13);
    return row;
}

// The index takes a LIKE pattern whose % and _ are wildcards, and finds nothing for one
// without three characters in a row between them: it is used when the text has such a run,
// with each of its own % and _ standing for any one character there.
bool Indexed(std::string_view text) {
    std::size_t run = 0;
    for (const char c : text) {
        if (c == '%' || c == '_') {
            run = 0;
        } else if ((static_cast<unsigned char>(c) & 0xC0) != 0x80 && ++run >= INDEXED_LENGTH) {
            return true;
        }
    }
    return false;
}

std::string IndexPattern(std::string_view text) {
    std::string pattern = "%";
    for (const char c : text) {
        pattern.push_back(c == '%' ? '_' : c);
    }
    return pattern + "%";
}

}  // namespace

std::string ArchiveReader::Select(std::string_view from_where) const {
    return "SELECT " + std::string(ROW_COLUMNS) + std::string(m_has_origin ? ORIGIN : NO_ORIGIN) +
           std::string(m_has_media_path ? MEDIA_PATH : NO_MEDIA_PATH) + " " +
           std::string(from_where);
}

std::string ContainsPattern(std::string_view text) {
    std::string pattern = "%";
    for (const char c : text) {
        if (c == '%' || c == '_' || c == '\\') {
            pattern.push_back('\\');
        }
        pattern.push_back(c);
    }
    return pattern + "%";
}

std::size_t CharacterCount(std::string_view utf8) {
    return static_cast<std::size_t>(std::count_if(utf8.begin(), utf8.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
}

std::optional<ArchiveReader> ArchiveReader::Open(std::string_view path, std::string* error) {
    std::optional<platform::SqliteConnection> db = OpenReadOnly(path, error);
    if (!db) {
        return std::nullopt;
    }
    // A search of one or two characters reads every row: mapped pages spare a copy of each.
    db->Exec("PRAGMA mmap_size = 1073741824");
    const auto has_column = [&db](std::string_view name) {
        return db->QueryInt("SELECT count(*) FROM pragma_table_info('archive') WHERE name = '" +
                            std::string(name) + "'")
                   .value_or(0) > 0;
    };
    const bool has_origin = has_column("origin");
    const bool has_media_path = has_column("media_path");
    return ArchiveReader(std::move(*db), has_origin, has_media_path);
}

SearchPage ArchiveReader::Search(const SearchQuery& query) {
    SearchPage page;
    const bool indexed = Indexed(query.text);
    // Only the conditions asked for: a scan of every row pays for each one per row.
    std::string sql;
    if (indexed) {
        // The index finds rows holding the text's trigrams (with wildcards, a few more); the
        // escaped LIKE on the row keeps the exact ones. CROSS JOIN keeps the index outside,
        // so rows come in its descending order.
        sql = Select(
            "FROM archive_text f CROSS JOIN archive a ON a.id = f.rowid "
            "WHERE f.text LIKE ?1 AND a.text LIKE ?2 ESCAPE '\\' AND f.rowid < ?4");
    } else {
        sql = Select("FROM archive a WHERE a.id < ?4");
        if (!query.text.empty()) {
            // Without ASCII letters case does not matter, and instr is the quicker test.
            const bool letters = std::any_of(query.text.begin(), query.text.end(), [](char c) {
                return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
            });
            sql += letters ? " AND a.text LIKE ?2 ESCAPE '\\'" : " AND instr(a.text, ?1) > 0";
        }
    }
    if (query.since_ms != 0) {
        sql += " AND a.time_ms >= ?5";
    }
    if (!query.chat.empty()) {
        sql += " AND " + std::string(CHAT_FILTER);
    }
    sql += indexed ? " ORDER BY f.rowid DESC LIMIT ?6" : " ORDER BY a.id DESC LIMIT ?6";
    SqliteStatement s = m_db.Prepare(sql);
    if (!s.Valid()) {
        page.error = m_db.ErrorText();
        return page;
    }
    const int limit = std::max(query.limit, 1);
    s.Bind(1, indexed ? IndexPattern(query.text) : query.text);
    s.Bind(2, ContainsPattern(query.text));
    s.Bind(3, query.chat);
    s.Bind(4, query.before_id > 0 ? query.before_id : std::numeric_limits<std::int64_t>::max());
    s.Bind(5, query.since_ms);
    s.Bind(6, std::int64_t{limit});
    SqliteStatus status = s.Step();
    for (; status == SqliteStatus::Row; status = s.Step()) {
        page.rows.push_back(ReadRow(s));
    }
    if (status != SqliteStatus::Done) {
        page.rows.clear();
        page.error = m_db.ErrorText();
        return page;
    }
    if (page.rows.size() == static_cast<std::size_t>(limit)) {
        page.next_before_id = page.rows.back().id;
    }
    return page;
}

RowsRead ArchiveReader::LastRows(int count, std::string_view chat_key, std::int64_t until_ms) {
    RowsRead read;
    // Spelled out per case: an "?1 = '' OR" would keep SQLite from the chat index.
    std::string where = chat_key.empty() ? "WHERE 1" : "WHERE a.chat_key = ?1";
    if (until_ms != 0) {
        where += " AND a.time_ms <= ?3";
    }
    SqliteStatement s =
        m_db.Prepare(Select("FROM archive a " + where + " ORDER BY a.id DESC LIMIT ?2"));
    s.Bind(1, chat_key);
    s.Bind(2, std::int64_t{std::max(count, 0)});
    s.Bind(3, until_ms);
    SqliteStatus status = s.Step();
    for (; status == SqliteStatus::Row; status = s.Step()) {
        read.rows.push_back(ReadRow(s));
    }
    if (status != SqliteStatus::Done) {
        read.rows.clear();
        read.error = m_db.ErrorText();
        return read;
    }
    std::reverse(read.rows.begin(), read.rows.end());
    return read;
}

std::string ArchiveReader::ForEachRow(std::string_view chat,
                                      const std::function<bool(const ArchiveRow&)>& sink) {
    SqliteStatement s = m_db.Prepare(
        Select("FROM archive a WHERE ?3 = '' OR " + std::string(CHAT_FILTER) + " ORDER BY a.id"));
    s.Bind(3, chat);
    SqliteStatus status = s.Step();
    for (; status == SqliteStatus::Row; status = s.Step()) {
        if (!sink(ReadRow(s))) {
            return {};
        }
    }
    return status == SqliteStatus::Done ? std::string() : m_db.ErrorText();
}

KeysRead ArchiveReader::LoadContactKeys() {
    KeysRead read;
    SqliteStatement s = m_db.Prepare(
        "SELECT key, kind, uin, alias, remark_name, nick_name, sex, province, city, signature, "
        "member_names, group_key, display_name, first_seen_ms, last_seen_ms FROM contact_keys");
    SqliteStatement members = m_db.Prepare("SELECT value FROM json_each(?1)");
    SqliteStatus status = s.Step();
    for (; status == SqliteStatus::Row; status = s.Step()) {
        ContactKeyRecord key;
        key.key = s.ColumnText(0);
        key.kind = s.ColumnText(1);
        key.uin = s.ColumnText(2);
        key.alias = s.ColumnText(3);
        key.remark_name = s.ColumnText(4);
        key.nick_name = s.ColumnText(5);
        key.sex = s.ColumnText(6);
        key.province = s.ColumnText(7);
        key.city = s.ColumnText(8);
        key.signature = s.ColumnText(9);
        if (s.ColumnText(10) != "[]") {
            // A set another program spoilt reads as no names.
            members.Bind(1, s.ColumnText(10));
            while (members.Step() == SqliteStatus::Row) {
                key.member_names.emplace_back(members.ColumnText(0));
            }
            members.Reset();
        }
        key.group_key = s.ColumnText(11);
        key.display_name = s.ColumnText(12);
        key.first_seen_ms = s.ColumnInt(13);
        key.last_seen_ms = s.ColumnInt(14);
        read.keys.push_back(std::move(key));
    }
    if (status != SqliteStatus::Done) {
        read.keys.clear();
        read.error = m_db.ErrorText();
    }
    return read;
}

}  // namespace zelmo::store
