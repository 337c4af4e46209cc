#include "platform/Sqlite.h"

#include <sqlite3.h>

#include <utility>

namespace zelmo::platform {

namespace {

SqliteStatus StatusOf(int code) {
    switch (code & 0xFF) {
        case SQLITE_OK:
            return SqliteStatus::Ok;
        case SQLITE_ROW:
            return SqliteStatus::Row;
        case SQLITE_DONE:
            return SqliteStatus::Done;
        case SQLITE_BUSY:
            return SqliteStatus::Busy;
        case SQLITE_LOCKED:
            return SqliteStatus::Locked;
        case SQLITE_READONLY:
            return SqliteStatus::ReadOnly;
        case SQLITE_FULL:
            return SqliteStatus::Full;
        case SQLITE_CORRUPT:
            return SqliteStatus::Corrupt;
        case SQLITE_NOTADB:
            return SqliteStatus::NotADatabase;
        case SQLITE_CANTOPEN:
            return SqliteStatus::CantOpen;
        case SQLITE_IOERR:
            return SqliteStatus::IoError;
        case SQLITE_INTERRUPT:
            return SqliteStatus::Interrupted;
        default:
            return SqliteStatus::Error;
    }
}

// Once per process, before the first connection: SQLite's allocation statistics take a
// process-wide mutex on every allocation, which nothing here reads.
void ConfigureOnce() {
    static const bool configured = [] {
        sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0);
        return sqlite3_initialize() == SQLITE_OK;
    }();
    (void)configured;
}

int SizeOf(std::string_view text) {
    // SQLite takes int lengths; a longer text is refused by its own limit anyway.
    return text.size() > static_cast<std::size_t>(INT32_MAX) ? INT32_MAX
                                                             : static_cast<int>(text.size());
}

}  // namespace

std::string_view SqliteStatusName(SqliteStatus status) {
    switch (status) {
        case SqliteStatus::Ok:
            return "ok";
        case SqliteStatus::Row:
            return "row";
        case SqliteStatus::Done:
            return "done";
        case SqliteStatus::Busy:
            return "busy";
        case SqliteStatus::Locked:
            return "locked";
        case SqliteStatus::ReadOnly:
            return "read-only";
        case SqliteStatus::Full:
            return "disk full";
        case SqliteStatus::Corrupt:
            return "corrupt";
        case SqliteStatus::NotADatabase:
            return "not a database";
        case SqliteStatus::CantOpen:
            return "cannot open";
        case SqliteStatus::IoError:
            return "I/O error";
        case SqliteStatus::Interrupted:
            return "interrupted";
        case SqliteStatus::Error:
            return "error";
    }
    return "error";
}

SqliteStatement::~SqliteStatement() {
    sqlite3_finalize(m_statement);
}

SqliteStatement::SqliteStatement(SqliteStatement&& other) noexcept
    : m_statement(std::exchange(other.m_statement, nullptr)) {}

SqliteStatement& SqliteStatement::operator=(SqliteStatement&& other) noexcept {
    if (this != &other) {
        sqlite3_finalize(m_statement);
        m_statement = std::exchange(other.m_statement, nullptr);
    }
    return *this;
}

void SqliteStatement::Bind(int index, std::int64_t value) {
    sqlite3_bind_int64(m_statement, index, value);
}

void SqliteStatement::Bind(int index, std::string_view text) {
    // A NUL pointer would bind SQL NULL; an empty text stays a text.
    sqlite3_bind_text(m_statement, index, text.empty() ? "" : text.data(), SizeOf(text),
                      SQLITE_TRANSIENT);
}

void SqliteStatement::BindNull(int index) {
    sqlite3_bind_null(m_statement, index);
}

SqliteStatus SqliteStatement::Step() {
    if (m_statement == nullptr) {
        return SqliteStatus::Error;
    }
    return StatusOf(sqlite3_step(m_statement));
}

void SqliteStatement::Reset() {
    sqlite3_reset(m_statement);
    sqlite3_clear_bindings(m_statement);
}

int SqliteStatement::ColumnCount() const {
    return sqlite3_column_count(m_statement);
}

bool SqliteStatement::ColumnIsNull(int column) const {
    return sqlite3_column_type(m_statement, column) == SQLITE_NULL;
}

std::int64_t SqliteStatement::ColumnInt(int column) const {
    return sqlite3_column_int64(m_statement, column);
}

std::string_view SqliteStatement::ColumnText(int column) const {
    const auto* text = sqlite3_column_text(m_statement, column);
    if (text == nullptr) {
        return {};
    }
    return {reinterpret_cast<const char*>(text),
            static_cast<std::size_t>(sqlite3_column_bytes(m_statement, column))};
}

SqliteOpen SqliteConnection::Open(std::string_view path, Mode mode) {
    ConfigureOnce();
    SqliteOpen result;
    // One thread at a time per connection: SQLite's own per-connection mutex is not needed.
    int flags = SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_EXRESCODE;
    flags |=
        mode == Mode::ReadOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE;
    sqlite3* db = nullptr;
    const int code = sqlite3_open_v2(std::string(path).c_str(), &db, flags, nullptr);
    if (code != SQLITE_OK) {
        result.status = StatusOf(code);
        result.error = db != nullptr ? sqlite3_errmsg(db) : sqlite3_errstr(code);
        sqlite3_close_v2(db);
        return result;
    }
    result.connection = SqliteConnection(db);
    return result;
}

SqliteConnection::~SqliteConnection() {
    sqlite3_close_v2(m_db);
}

SqliteConnection::SqliteConnection(SqliteConnection&& other) noexcept
    : m_db(std::exchange(other.m_db, nullptr)) {}

SqliteConnection& SqliteConnection::operator=(SqliteConnection&& other) noexcept {
    if (this != &other) {
        sqlite3_close_v2(m_db);
        m_db = std::exchange(other.m_db, nullptr);
    }
    return *this;
}

void SqliteConnection::SetBusyTimeout(int milliseconds) {
    sqlite3_busy_timeout(m_db, milliseconds);
}

SqliteStatus SqliteConnection::Exec(std::string_view sql) {
    return StatusOf(sqlite3_exec(m_db, std::string(sql).c_str(), nullptr, nullptr, nullptr));
}

SqliteStatement SqliteConnection::Prepare(std::string_view sql) {
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(m_db, sql.data(), SizeOf(sql), &statement, nullptr) != SQLITE_OK) {
        sqlite3_finalize(statement);
        return SqliteStatement();
    }
    return SqliteStatement(statement);
}

std::optional<std::int64_t> SqliteConnection::QueryInt(std::string_view sql) {
    SqliteStatement statement = Prepare(sql);
    if (statement.Step() != SqliteStatus::Row) {
        return std::nullopt;
    }
    return statement.ColumnInt(0);
}

std::optional<std::string> SqliteConnection::QueryText(std::string_view sql) {
    SqliteStatement statement = Prepare(sql);
    if (statement.Step() != SqliteStatus::Row) {
        return std::nullopt;
    }
    return std::string(statement.ColumnText(0));
}

SqliteStatus SqliteConnection::LastStatus() const {
    return StatusOf(sqlite3_extended_errcode(m_db));
}

int SqliteConnection::ErrorCode() const {
    return sqlite3_extended_errcode(m_db);
}

std::string SqliteConnection::ErrorText() const {
    return sqlite3_errmsg(m_db);
}

int SqliteConnection::SystemErrno() const {
    return sqlite3_system_errno(m_db);
}

bool SqliteConnection::IsReadOnly() const {
    return sqlite3_db_readonly(m_db, "main") == 1;
}

std::int64_t SqliteConnection::LastInsertRowId() const {
    return sqlite3_last_insert_rowid(m_db);
}

std::int64_t SqliteConnection::Changes() const {
    return sqlite3_changes64(m_db);
}

void SqliteConnection::Interrupt() {
    sqlite3_interrupt(m_db);
}

SqliteTransaction::SqliteTransaction(SqliteConnection& connection)
    : m_connection(connection), m_status(connection.Exec("BEGIN IMMEDIATE")) {
    m_open = m_status == SqliteStatus::Ok;
}

SqliteTransaction::~SqliteTransaction() {
    if (m_open) {
        m_connection.Exec("ROLLBACK");
    }
}

SqliteStatus SqliteTransaction::Commit() {
    if (!m_open) {
        return m_status == SqliteStatus::Ok ? SqliteStatus::Error : m_status;
    }
    const SqliteStatus status = m_connection.Exec("COMMIT");
    // A failed COMMIT (busy) leaves the transaction open; the destructor rolls it back.
    m_open = status != SqliteStatus::Ok;
    return status;
}

}  // namespace zelmo::platform
