#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <variant>
#include <vector>

#include "platform/Clock.h"
#include "store/ArchiveRecords.h"
#include "store/StoreEvents.h"

namespace zelmo::store {

struct StoreOptions {
    std::string path;  // the account's database: <account folder>/zelmo.db
    // Rows (and other changes) kept in memory while the database cannot be written; what
    // comes beyond is dropped and reported.
    std::size_t max_waiting = 100000;
    // How long a write waits for another program's lock before the database counts as
    // locked, and how often a database that failed is tried again.
    int busy_timeout_ms = 2000;
    int retry_ms = 5000;
    int retention_days = 0;  // 消息保留天数: rows older than this many days go; 0 keeps all
    int retention_every_ms = 3600 * 1000;
};

// How the store is doing.
struct StoreStats {
    std::uint64_t written = 0;  // changes in the file (rows, recalls, contact keys)
    std::size_t waiting = 0;    // changes in memory, not yet written
    std::uint64_t dropped = 0;  // changes dropped beyond the bound
    bool failing = false;       // the database cannot be written now
};

// The account's database: the message archive and the contact keys. One writer thread owns
// the writing connection and writes what the robot hands over in batches, one transaction
// each; the robot never waits for the disk. Readers use ArchiveReader on connections of
// their own. A database that cannot be used never stops the robot (see StoreEvent).
class Store {
public:
    // Opens (or creates) the database at once (a few milliseconds; the full page check
    // runs later on the writer thread) and starts the writer. Failures are reported to
    // `port` on this thread, and the writer keeps trying.
    Store(StoreOptions options, StorePort& port, const platform::Clock& clock);
    // Close().
    ~Store();
    Store(const Store&) = delete;
    Store& operator=(const Store&) = delete;

    // Queue one change for the writer. Any thread; never waits for the disk.
    void Append(ArchiveRow row);
    // Marks the rows of this MsgId recalled, among the newest 100,000 rows (queued ones
    // included): a message can be recalled for a few minutes only.
    void MarkRecalled(std::string_view msg_id);
    // The received message `msg_id` had its media saved at `path`.
    void SetMediaPath(std::string_view msg_id, std::string_view path);
    // New or changed contact keys; a known key's record is replaced.
    void SaveContactKeys(std::vector<ContactKeyRecord> records);
    // 消息保留天数 changed: rows older than `days` days are deleted soon, in small batches
    // between writes, and again every retention_every_ms. 0 keeps all.
    void SetRetentionDays(int days);

    // Waits until everything queued before the call (and a retention pass it asked for)
    // is in the file. False at the time-out or while the database cannot be written.
    bool Flush(std::chrono::milliseconds timeout);
    // Writes what is queued (one try), reports what could not be written, and ends the
    // writer. Any thread but the port's; later changes are dropped. Idempotent.
    void Close();

    const std::string& Path() const { return m_options.path; }
    StoreStats Stats() const;

private:
    struct Recall {
        std::string msg_id;
    };
    struct MediaPath {
        std::string msg_id;
        std::string path;
    };
    using Change = std::variant<ArchiveRow, Recall, MediaPath, ContactKeyRecord>;
    struct Writer;

    void Enqueue(Change change);
    void Run();
    void RunLoop();
    bool WriteBatch(const std::deque<Change>& batch);
    bool OpenDatabase(int busy_timeout_ms);
    bool CheckDatabase();
    void StartFresh(StoreFailure failure, const std::string& detail);
    void Fail(StoreFailure failure, const std::string& detail);
    void Recover(std::size_t rows);
    bool RetentionStep();
    void Report(StoreEvent event);

    const StoreOptions m_options;
    StorePort& m_port;
    const platform::Clock& m_clock;

    // Only the writer thread touches the connection once the thread runs.
    std::unique_ptr<Writer> m_writer;
    bool m_checked = false;  // the current file passed quick_check
    std::int64_t m_next_retention_tick = 0;

    mutable std::mutex m_mutex;
    std::condition_variable m_wake;     // the writer: work, a stop, a setting
    std::condition_variable m_written;  // Flush: progress
    std::deque<Change> m_queue;
    std::size_t m_in_flight = 0;  // taken by the writer, not yet written or put back
    std::uint64_t m_accepted = 0;
    std::uint64_t m_done = 0;  // changes written, in queue order
    std::uint64_t m_dropped = 0;
    bool m_dropping = false;  // dropping since the queue was last below half the bound
    bool m_drop_to_report = false;
    bool m_failing = false;
    bool m_stop = false;
    bool m_retention_due = false;
    int m_retention_days = 0;
    // Guards the interrupt of a long page check against the connection's end.
    std::mutex m_interrupt_mutex;
    bool m_checking = false;
    bool m_closing = false;

    std::thread m_thread;
};

}  // namespace zelmo::store
