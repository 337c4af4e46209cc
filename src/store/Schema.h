#pragma once

#include <string>

#include "platform/Sqlite.h"

namespace zelmo::store {

// The version this program writes (PRAGMA user_version). A database of an older version is
// brought forward on open; one of a newer version is left alone.
inline constexpr int SCHEMA_VERSION = 3;

struct SchemaCheck {
    enum class State { Current, Migrated, TooNew, Failed };
    State state = State::Failed;
    int found_version = 0;                                       // the version the file had
    platform::SqliteStatus status = platform::SqliteStatus::Ok;  // Failed: why
    std::string error;                                           // Failed: SQLite's words
};

// Reads the file's version and runs every migration after it, each in its own transaction
// (a failed one leaves the file at the version before it). The connection must be writable.
SchemaCheck MigrateSchema(platform::SqliteConnection& db);

}  // namespace zelmo::store
