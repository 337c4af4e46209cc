#include "store/Schema.h"

#include <array>
#include <string_view>

namespace zelmo::store {

namespace {

using platform::SqliteStatus;

// Migration i takes a database from version i to i + 1. Later ones only add (columns,
// tables, indexes), so rows written by one version stay readable by the next.
constexpr std::array<std::string_view, SCHEMA_VERSION> MIGRATIONS = {
    // 0 -> 1: the archive, its text index and the contact keys.
    R"sql(
CREATE TABLE archive(
    id INTEGER PRIMARY KEY,
    time_ms INTEGER NOT NULL,
    direction TEXT NOT NULL CHECK (direction IN ('in', 'out')),
    kind TEXT NOT NULL DEFAULT '',
    chat_key TEXT NOT NULL DEFAULT '',
    chat_name TEXT NOT NULL DEFAULT '',
    sender_key TEXT NOT NULL DEFAULT '',
    sender_name TEXT NOT NULL DEFAULT '',
    msg_id TEXT NOT NULL DEFAULT '',
    text TEXT NOT NULL DEFAULT '',
    result TEXT NOT NULL DEFAULT '',
    recalled INTEGER NOT NULL DEFAULT 0
);
-- A chat's rows (its last ones, a filter). MsgIds get no index: they come in no order, so
-- each insert would touch a page anywhere in it (burst inserts ran at 60%); a recall looks
-- among the newest rows only, where the recalled message is.
CREATE INDEX archive_chat ON archive(chat_key);
-- Substrings of three characters and more. Only row ids are kept (no positions, no
-- sizes): the texts themselves live in the archive, and each match is checked there.
-- The writer indexes each row it adds in the same transaction (an insert trigger would
-- flush the index at every statement, four times slower); deletes and text changes by
-- anyone are followed by the triggers. Merging 16 segments at a time instead of 4 rewrites
-- the index less often as it grows (a fifth faster inserts; searches stay in milliseconds).
CREATE VIRTUAL TABLE archive_text USING fts5(
    text, content='archive', content_rowid='id', tokenize='trigram', detail='none',
    columnsize=0);
INSERT INTO archive_text(archive_text, rank) VALUES ('automerge', 16);
INSERT INTO archive_text(archive_text, rank) VALUES ('crisismerge', 64);
CREATE TRIGGER archive_text_delete AFTER DELETE ON archive BEGIN
    INSERT INTO archive_text(archive_text, rowid, text) VALUES ('delete', old.id, old.text);
END;
CREATE TRIGGER archive_text_update AFTER UPDATE OF text ON archive BEGIN
    INSERT INTO archive_text(archive_text, rowid, text) VALUES ('delete', old.id, old.text);
    INSERT INTO archive_text(rowid, text) VALUES (new.id, new.text);
END;
CREATE TABLE contact_keys(
    key TEXT PRIMARY KEY,
    kind TEXT NOT NULL DEFAULT '',
    uin TEXT NOT NULL DEFAULT '',
    alias TEXT NOT NULL DEFAULT '',
    remark_name TEXT NOT NULL DEFAULT '',
    nick_name TEXT NOT NULL DEFAULT '',
    sex TEXT NOT NULL DEFAULT '',
    province TEXT NOT NULL DEFAULT '',
    city TEXT NOT NULL DEFAULT '',
    signature TEXT NOT NULL DEFAULT '',
    member_names TEXT NOT NULL DEFAULT '[]',
    group_key TEXT NOT NULL DEFAULT '',
    display_name TEXT NOT NULL DEFAULT '',
    first_seen_ms INTEGER NOT NULL DEFAULT 0,
    last_seen_ms INTEGER NOT NULL DEFAULT 0
) WITHOUT ROWID;
)sql",
    // 1 -> 2: who handed a sent text to the sender (a reply, the chat window, a mass run...).
    R"sql(
ALTER TABLE archive ADD COLUMN origin TEXT NOT NULL DEFAULT '';
)sql",
    // 2 -> 3: where a received picture, voice, video or file was saved.
    R"sql(
ALTER TABLE archive ADD COLUMN media_path TEXT NOT NULL DEFAULT '';
)sql",
};

SchemaCheck Failed(platform::SqliteConnection& db, int found_version) {
    SchemaCheck check;
    check.state = SchemaCheck::State::Failed;
    check.found_version = found_version;
    check.status = db.LastStatus();
    check.error = db.ErrorText();
    return check;
}

}  // namespace

SchemaCheck MigrateSchema(platform::SqliteConnection& db) {
    const std::optional<std::int64_t> version = db.QueryInt("PRAGMA user_version");
    if (!version) {
        return Failed(db, 0);
    }
    SchemaCheck check;
    check.found_version = static_cast<int>(*version);
    if (*version > SCHEMA_VERSION) {
        check.state = SchemaCheck::State::TooNew;
        return check;
    }
    if (*version == SCHEMA_VERSION) {
        check.state = SchemaCheck::State::Current;
        return check;
    }
    for (int from = check.found_version < 0 ? 0 : check.found_version; from < SCHEMA_VERSION;
         ++from) {
        platform::SqliteTransaction transaction(db);
        if (transaction.Status() != SqliteStatus::Ok ||
            db.Exec(MIGRATIONS[static_cast<std::size_t>(from)]) != SqliteStatus::Ok ||
            db.Exec("PRAGMA user_version = " + std::to_string(from + 1)) != SqliteStatus::Ok ||
            transaction.Commit() != SqliteStatus::Ok) {
            return Failed(db, check.found_version);
        }
    }
    check.state = SchemaCheck::State::Migrated;
    return check;
}

}  // namespace zelmo::store
