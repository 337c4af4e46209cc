#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// SQLite's own handles, opaque here: only Sqlite.cpp sees their insides.
struct sqlite3;
struct sqlite3_stmt;

namespace zelmo::platform {

// What an SQLite call ended in, by family; nothing here throws.
enum class SqliteStatus {
    Ok,
    Row,           // a step produced a row
    Done,          // a step finished the statement
    Busy,          // another connection holds a lock past the busy time-out
    Locked,        // a lock inside this connection's own shared cache
    ReadOnly,      // the file or its folder cannot be written
    Full,          // the disk (or the process's file-size limit) is full
    Corrupt,       // the file's pages contradict each other
    NotADatabase,  // the file is not an SQLite database at all
    CantOpen,      // the file (or a side file) cannot be opened
    IoError,       // the system refused a read or write
    Interrupted,   // Interrupt() stopped the call
    Error,         // anything else (a wrong statement, a constraint, ...)
};

// The status's name in English ("busy", "disk full"), for logs.
std::string_view SqliteStatusName(SqliteStatus status);

// One prepared statement; a connection makes it. Use it on one thread at a time, and
// destroy it before its connection. Parameter and column indexes are SQLite's: parameters
// from 1, columns from 0.
class SqliteStatement {
public:
    SqliteStatement() = default;
    ~SqliteStatement();
    SqliteStatement(SqliteStatement&& other) noexcept;
    SqliteStatement& operator=(SqliteStatement&& other) noexcept;
    SqliteStatement(const SqliteStatement&) = delete;
    SqliteStatement& operator=(const SqliteStatement&) = delete;

    // False when the statement could not be prepared (the connection says why).
    bool Valid() const { return m_statement != nullptr; }

    // Binds copy the value; a failed bind shows at the next Step.
    void Bind(int index, std::int64_t value);
    void Bind(int index, std::string_view text);
    void BindNull(int index);

    // Row while there is one to read, Done at the end, else the failure.
    SqliteStatus Step();
    // Makes it ready to run again and forgets every binding.
    void Reset();

    int ColumnCount() const;
    bool ColumnIsNull(int column) const;
    std::int64_t ColumnInt(int column) const;
    // The column's bytes; valid until the next Step or Reset.
    std::string_view ColumnText(int column) const;

private:
    friend class SqliteConnection;
    explicit SqliteStatement(sqlite3_stmt* statement) : m_statement(statement) {}
    sqlite3_stmt* m_statement = nullptr;
};

struct SqliteOpen;

// One connection to a database file. Use it on one thread at a time (Interrupt excepted);
// the file is closed when the object dies.
class SqliteConnection {
public:
    enum class Mode {
        ReadWriteCreate,  // creates a missing file; opens a read-only file read-only
        ReadOnly,         // never writes or creates the database file
    };
    static SqliteOpen Open(std::string_view path, Mode mode);

    ~SqliteConnection();
    SqliteConnection(SqliteConnection&& other) noexcept;
    SqliteConnection& operator=(SqliteConnection&& other) noexcept;
    SqliteConnection(const SqliteConnection&) = delete;
    SqliteConnection& operator=(const SqliteConnection&) = delete;

    // How long a call waits for another connection's lock before it ends in Busy.
    void SetBusyTimeout(int milliseconds);

    // Runs every statement of `sql` in turn, ignoring their rows; stops at the first failure.
    SqliteStatus Exec(std::string_view sql);
    // An invalid statement when `sql` cannot be prepared (see LastStatus and ErrorText).
    SqliteStatement Prepare(std::string_view sql);
    // The first column of the first row of `sql`; nothing when there is no row or it failed.
    std::optional<std::int64_t> QueryInt(std::string_view sql);
    std::optional<std::string> QueryText(std::string_view sql);

    // The status of the connection's last failed or finished call, its extended code and
    // SQLite's words for it, and the system's errno behind an I/O failure (0 when none).
    SqliteStatus LastStatus() const;
    int ErrorCode() const;
    std::string ErrorText() const;
    int SystemErrno() const;

    // True when the main database was opened read-only (asked, or the file refused writes).
    bool IsReadOnly() const;
    std::int64_t LastInsertRowId() const;
    // Rows the last INSERT, UPDATE or DELETE changed.
    std::int64_t Changes() const;

    // Makes the call running on another thread end soon in Interrupted. Any thread.
    void Interrupt();

private:
    explicit SqliteConnection(sqlite3* db) : m_db(db) {}
    sqlite3* m_db = nullptr;
};

struct SqliteOpen {
    std::optional<SqliteConnection> connection;  // set when the file could be opened
    SqliteStatus status = SqliteStatus::Ok;
    std::string error;  // SQLite's words when not opened
};

// A transaction that rolls back unless committed. BEGIN IMMEDIATE takes the write lock at
// once, so a busy database shows at the start instead of half way.
class SqliteTransaction {
public:
    explicit SqliteTransaction(SqliteConnection& connection);
    ~SqliteTransaction();
    SqliteTransaction(const SqliteTransaction&) = delete;
    SqliteTransaction& operator=(const SqliteTransaction&) = delete;

    // Ok when it began.
    SqliteStatus Status() const { return m_status; }
    SqliteStatus Commit();

private:
    SqliteConnection& m_connection;
    SqliteStatus m_status;
    bool m_open = false;
};

}  // namespace zelmo::platform
