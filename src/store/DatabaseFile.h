#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/Sqlite.h"
#include "store/StoreEvents.h"

namespace zelmo::store {

// The database file's name inside the account folder.
inline constexpr std::string_view DATABASE_FILE_NAME = "zelmo.db";

// A connection ready for writing, or why there is none.
struct OpenedDatabase {
    std::optional<platform::SqliteConnection> db;
    StoreFailure failure = StoreFailure::Other;  // when db is empty
    std::string detail;                          // when db is empty: SQLite's words
    bool fresh = false;  // the file was missing or empty: there is nothing to check
};

// Opens (or creates) the database for writing: WAL, synchronous=NORMAL, the schema at the
// current version. A file that is not a database, or whose schema is damaged, comes back
// with failure NotADatabase or Corrupt and is left as it is.
OpenedDatabase OpenWritable(std::string_view path, int busy_timeout_ms);

// Opens the database without ever writing or creating it (another program may be writing
// it meanwhile). Empty, with SQLite's words in `error`, when it cannot be read.
std::optional<platform::SqliteConnection> OpenReadOnly(std::string_view path, std::string* error);

// The outcome of PRAGMA quick_check, which reads every page.
struct FileCheck {
    enum class State { Sound, Damaged, NotChecked };
    State state = State::NotChecked;
    StoreFailure failure = StoreFailure::Corrupt;  // Damaged
    std::string detail;  // Damaged: the first problem found; NotChecked: why not
};
FileCheck QuickCheck(platform::SqliteConnection& db);

// The failure behind a status of a call on the database at `path`. SQLite calls a write
// past the file-size limit (EFBIG) or into a full quota an I/O error; when the disk or the
// limit has no room left, the user hears of a full disk.
StoreFailure FailureAt(platform::SqliteStatus status, std::string_view path);

// Where a damaged file goes: "<path>.corrupt-YYYYMMDD-HHMMSS" in local time, with "-2",
// "-3" ... when that name is taken.
std::string AsidePath(std::string_view path, std::int64_t unix_ms);

// Renames the file, and the side files SQLite keeps beside it (-wal, -shm, -journal), to
// `aside` (+ the same suffixes), so the old file stays whole for whoever wants to rescue
// it. False when the file itself could not be renamed.
bool MoveAside(std::string_view path, std::string_view aside);

}  // namespace zelmo::store
