#include "store/DatabaseFile.h"

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statvfs.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <optional>

#include "store/Schema.h"

namespace zelmo::store {

namespace {

using platform::SqliteConnection;
using platform::SqliteStatus;

constexpr const char* SIDE_FILES[] = {"-wal", "-shm", "-journal"};

// The file holds a database already (a missing or empty one becomes a new database).
bool HoldsBytes(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && info.st_size > 0;
}

bool Exists(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0;
}

OpenedDatabase Failure(StoreFailure failure, std::string detail) {
    OpenedDatabase opened;
    opened.failure = failure;
    opened.detail = std::move(detail);
    return opened;
}

// Room below which a write counts as having hit the end of the disk or of the limit.
constexpr long long LOW_ROOM_BYTES = 1024LL * 1024;

bool NoRoomFor(const std::string& path) {
    const std::string folder = path.substr(0, path.rfind('/') + 1);
    struct statvfs disk {};
    if (::statvfs(folder.empty() ? "." : folder.c_str(), &disk) == 0 &&
        static_cast<long long>(disk.f_bavail) * static_cast<long long>(disk.f_frsize) <
            LOW_ROOM_BYTES) {
        return true;
    }
    rlimit limit{};
    if (::getrlimit(RLIMIT_FSIZE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) {
        return false;
    }
    long long largest = 0;
    for (const char* suffix : {"", "-wal"}) {
        struct stat info {};
        if (::stat((path + suffix).c_str(), &info) == 0) {
            largest = std::max<long long>(largest, info.st_size);
        }
    }
    return largest + LOW_ROOM_BYTES > static_cast<long long>(limit.rlim_cur);
}

// The schema version in the file's header (bytes 60 to 63); nothing when the file does not
// start as an SQLite database.
std::optional<std::int64_t> HeaderVersion(const std::string& path) {
    static constexpr std::string_view MAGIC{"SQLite format 3\0", 16};
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        return std::nullopt;
    }
    unsigned char header[64] = {};
    const std::size_t got = std::fread(header, 1, sizeof header, file);
    std::fclose(file);
    if (got < sizeof header || std::memcmp(header, MAGIC.data(), MAGIC.size()) != 0) {
        return std::nullopt;
    }
    return (std::int64_t{header[60]} << 24) | (header[61] << 16) | (header[62] << 8) | header[63];
}

OpenedDatabase FailureOfLastCall(const SqliteConnection& db, std::string_view path) {
    OpenedDatabase failure = Failure(FailureAt(db.LastStatus(), path), db.ErrorText());
    // A newer program's schema may use what this SQLite cannot parse, which it calls a
    // damaged schema: such a file is left alone, never moved aside.
    if (failure.failure == StoreFailure::Corrupt &&
        HeaderVersion(std::string(path)).value_or(0) > SCHEMA_VERSION) {
        failure.failure = StoreFailure::TooNew;
    }
    return failure;
}

}  // namespace

OpenedDatabase OpenWritable(std::string_view path, int busy_timeout_ms) {
    const std::string file(path);
    if (file.empty()) {
        // SQLite would open a private temporary database: rows would vanish at the end.
        return Failure(StoreFailure::CannotOpen, "no file name");
    }
    const bool fresh = !HoldsBytes(file);
    platform::SqliteOpen open =
        SqliteConnection::Open(file, SqliteConnection::Mode::ReadWriteCreate);
    if (!open.connection) {
        return Failure(FailureOf(open.status), open.error);
    }
    SqliteConnection& db = *open.connection;
    db.SetBusyTimeout(busy_timeout_ms);
    // Reads the header and the schema: a file that is not a database, or a damaged schema,
    // shows here, before anything is written.
    if (!db.QueryInt("PRAGMA user_version")) {
        return FailureOfLastCall(db, path);
    }
    if (db.IsReadOnly()) {
        return Failure(StoreFailure::ReadOnly, "attempt to write a readonly database");
    }
    if (fresh) {
        // Larger pages: fewer of them for a scan of every row to walk.
        db.Exec("PRAGMA page_size = 8192");
    }
    const std::optional<std::string> mode = db.QueryText("PRAGMA journal_mode = WAL");
    if (!mode) {
        return FailureOfLastCall(db, path);
    }
    if (*mode != "wal") {
        return Failure(StoreFailure::Other, "journal mode stays " + *mode);
    }
    // In WAL mode NORMAL loses no commit when the process dies, only at a power loss; a
    // commit then costs no fsync, so every batch can be its own transaction. The larger
    // cache and the rarer checkpoints (32 MB) spare the text index's merges most rewrites;
    // secure_delete FAST still clears deleted rows inside their pages.
    if (db.Exec("PRAGMA synchronous = NORMAL; PRAGMA journal_size_limit = 67108864; "
                "PRAGMA cache_size = -16384; PRAGMA secure_delete = FAST; "
                "PRAGMA wal_autocheckpoint = 4096") != SqliteStatus::Ok) {
        return FailureOfLastCall(db, path);
    }
    const SchemaCheck schema = MigrateSchema(db);
    if (schema.state == SchemaCheck::State::TooNew) {
        return Failure(StoreFailure::TooNew, "schema version " +
                                                 std::to_string(schema.found_version) + " > " +
                                                 std::to_string(SCHEMA_VERSION));
    }
    if (schema.state == SchemaCheck::State::Failed) {
        return Failure(FailureAt(schema.status, path), schema.error);
    }
    OpenedDatabase opened;
    opened.db = std::move(open.connection);
    opened.fresh = fresh;
    return opened;
}

std::optional<SqliteConnection> OpenReadOnly(std::string_view path, std::string* error) {
    platform::SqliteOpen open = SqliteConnection::Open(path, SqliteConnection::Mode::ReadOnly);
    if (!open.connection) {
        *error = open.error;
        return std::nullopt;
    }
    // A writer's checkpoint holds its lock for a moment; a reader waits it out.
    open.connection->SetBusyTimeout(2000);
    const std::optional<std::int64_t> version = open.connection->QueryInt("PRAGMA user_version");
    if (!version) {
        *error = open.connection->ErrorText();
        return std::nullopt;
    }
    if (*version < 1) {
        *error = "no archive in this database";
        return std::nullopt;
    }
    return std::move(open.connection);
}

FileCheck QuickCheck(SqliteConnection& db) {
    FileCheck check;
    platform::SqliteStatement statement = db.Prepare("PRAGMA quick_check(1)");
    const SqliteStatus status = statement.Step();
    if (status == SqliteStatus::Row) {
        const std::string_view answer = statement.ColumnText(0);
        if (answer == "ok") {
            check.state = FileCheck::State::Sound;
        } else {
            check.state = FileCheck::State::Damaged;
            check.detail = std::string(answer);
        }
        return check;
    }
    if (status == SqliteStatus::Corrupt || status == SqliteStatus::NotADatabase) {
        check.state = FileCheck::State::Damaged;
        check.failure = FailureOf(status);
        check.detail = db.ErrorText();
        return check;
    }
    check.detail = db.ErrorText();
    return check;
}

StoreFailure FailureAt(SqliteStatus status, std::string_view path) {
    const StoreFailure failure = FailureOf(status);
    if (failure == StoreFailure::IoError && NoRoomFor(std::string(path))) {
        return StoreFailure::Full;
    }
    return failure;
}

std::string AsidePath(std::string_view path, std::int64_t unix_ms) {
    const auto seconds = static_cast<std::time_t>(unix_ms / 1000);
    std::tm parts{};
    localtime_r(&seconds, &parts);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &parts);
    const std::string base = std::string(path) + ".corrupt-" + stamp;
    std::string aside = base;
    for (int n = 2; Exists(aside); ++n) {
        aside = base + "-" + std::to_string(n);
    }
    return aside;
}

bool MoveAside(std::string_view path, std::string_view aside) {
    const std::string from(path);
    const std::string to(aside);
    if (std::rename(from.c_str(), to.c_str()) != 0) {
        return false;
    }
    for (const char* side : SIDE_FILES) {
        // A missing side file is the usual case.
        std::rename((from + side).c_str(), (to + side).c_str());
    }
    return true;
}

}  // namespace zelmo::store
