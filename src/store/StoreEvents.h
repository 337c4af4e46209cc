#pragma once

#include <cstdint>
#include <string>

#include "platform/Sqlite.h"

namespace zelmo::store {

// Why the database cannot be used.
enum class StoreFailure {
    CannotOpen,    // a missing folder, no permission, a folder in the file's place
    Locked,        // another program holds the database's lock
    ReadOnly,      // the file or its folder refuses writes
    Full,          // the disk (or the file-size limit) is full
    IoError,       // the system refused a read or write
    Corrupt,       // PRAGMA quick_check found damage
    NotADatabase,  // the file is not an SQLite database
    TooNew,        // a newer program's schema version
    Other,
};

// What the store tells its front end. The database never stops the robot: it keeps
// answering, and the rows it cannot write wait in memory up to a bound.
struct StoreEvent {
    enum class Kind {
        Failed,       // the database cannot be used (once per spell; show it to the user)
        MovedAside,   // a damaged file was renamed to `aside_path` and a new one started
        RowsDropped,  // the rows waiting in memory reached the bound (first drop of a
                      // spell) or the store closed with rows unwritten; `rows` so far
        Recovered,    // it works again; `rows` waiting rows were written
    };
    Kind kind = Kind::Failed;
    StoreFailure failure = StoreFailure::Other;  // Failed, MovedAside
    std::string path;        // the database file (UTF-8, as the file system has it)
    std::string aside_path;  // MovedAside
    std::string detail;      // SQLite's or the system's words (English)
    std::uint64_t rows = 0;
};

// Receives the store's events on the store's writer thread (or the thread that builds the
// store). Keep it short: the writer waits.
class StorePort {
public:
    virtual ~StorePort() = default;
    virtual void OnStoreEvent(const StoreEvent& event) = 0;
};

// The failure behind an SQLite status.
StoreFailure FailureOf(platform::SqliteStatus status);

// The event as one line for the user (GBK): what happened to which file, and why.
std::string StoreEventText(const StoreEvent& event);

}  // namespace zelmo::store
