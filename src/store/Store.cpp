#include "store/Store.h"

#include <algorithm>
#include <optional>
#include <utility>

#include "platform/Sqlite.h"
#include "store/DatabaseFile.h"
#include "store/ExportFormat.h"

namespace zelmo::store {

namespace {

using platform::SqliteStatement;
using platform::SqliteStatus;

// Changes written in one transaction at most: big enough for the text index to work in
// bulk, small enough that a transaction never holds the lock for long.
constexpr std::size_t MAX_BATCH = 8000;
// A message can be recalled for a few minutes only: its row is among the newest ones (a
// scan of these takes about 10 ms; recalls are rare).
constexpr std::int64_t RECALL_WINDOW_ROWS = 100000;
// Rows a retention pass deletes per transaction, between writes.
constexpr int RETENTION_BATCH = 500;
constexpr std::int64_t DAY_MS = std::int64_t{24} * 3600 * 1000;
// The first open happens on the robot's start path: it never waits long for a lock.
constexpr int FIRST_OPEN_BUSY_MS = 100;

std::string_view DirectionWord(Direction direction) {
    return direction == Direction::Out ? "out" : "in";
}

std::string MemberNamesJson(const std::vector<std::string>& names) {
    std::string json = "[";
    for (const std::string& name : names) {
        if (json.size() > 1) {
            json += ',';
        }
        AppendJsonString(json, name);
    }
    return json + "]";
}

}  // namespace

struct Store::Writer {
    platform::SqliteConnection db;
    SqliteStatement insert_row;
    SqliteStatement index_row;
    SqliteStatement mark_recalled;
    SqliteStatement set_media_path;
    SqliteStatement save_key;
    SqliteStatement retention;

    explicit Writer(platform::SqliteConnection connection) : db(std::move(connection)) {
        insert_row = db.Prepare(
            "INSERT INTO archive(time_ms, direction, kind, chat_key, chat_name, sender_key, "
            "sender_name, msg_id, text, result, recalled, origin, media_path) VALUES "
            "(?,?,?,?,?,?,?,?,?,?,?,?,?)");
        index_row = db.Prepare("INSERT INTO archive_text(rowid, text) VALUES (?, ?)");
        mark_recalled = db.Prepare(
            "UPDATE archive SET recalled = 1 WHERE id > (SELECT ifnull(max(id), 0) FROM archive) "
            "- ?2 AND msg_id = ?1");
        // A download ends minutes after its message at most: the row is among the newest.
        set_media_path = db.Prepare(
            "UPDATE archive SET media_path = ?3 WHERE id > (SELECT ifnull(max(id), 0) FROM "
            "archive) - ?2 AND msg_id = ?1 AND direction = 'in'");
        save_key = db.Prepare(
            "INSERT OR REPLACE INTO contact_keys(key, kind, uin, alias, remark_name, nick_name, "
            "sex, province, city, signature, member_names, group_key, display_name, "
            "first_seen_ms, last_seen_ms) VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)");
        // The oldest rows first, a few at a time, so appends never wait long behind it.
        retention = db.Prepare(
            "DELETE FROM archive WHERE id IN (SELECT id FROM archive ORDER BY id LIMIT ?1) "
            "AND time_ms < ?2");
    }

    bool Valid() const {
        return insert_row.Valid() && index_row.Valid() && mark_recalled.Valid() &&
               set_media_path.Valid() && save_key.Valid() && retention.Valid();
    }

    // The status and words of the last failure, taken before a reset or rollback clears them.
    SqliteStatus failed_status = SqliteStatus::Ok;
    std::string failed_text;

    SqliteStatus Note(SqliteStatus status) {
        if (status != SqliteStatus::Ok && status != SqliteStatus::Done &&
            status != SqliteStatus::Row) {
            failed_status = status;
            failed_text = db.ErrorText();
        }
        return status;
    }

    SqliteStatus Write(const ArchiveRow& row) {
        SqliteStatement& s = insert_row;
        s.Bind(1, row.time_ms);
        s.Bind(2, DirectionWord(row.direction));
        s.Bind(3, row.kind);
        s.Bind(4, row.chat_key);
        s.Bind(5, row.chat_name);
        s.Bind(6, row.sender_key);
        s.Bind(7, row.sender_name);
        s.Bind(8, row.msg_id);
        s.Bind(9, row.text);
        s.Bind(10, row.result);
        s.Bind(11, std::int64_t{row.recalled ? 1 : 0});
        s.Bind(12, row.origin);
        s.Bind(13, row.media_path);
        const SqliteStatus status = Finish(s);
        if (status != SqliteStatus::Ok) {
            return status;
        }
        index_row.Bind(1, db.LastInsertRowId());
        index_row.Bind(2, row.text);
        return Finish(index_row);
    }

    SqliteStatus Write(const Recall& recall) {
        mark_recalled.Bind(1, recall.msg_id);
        mark_recalled.Bind(2, RECALL_WINDOW_ROWS);
        return Finish(mark_recalled);
    }

    SqliteStatus Write(const MediaPath& media) {
        set_media_path.Bind(1, media.msg_id);
        set_media_path.Bind(2, RECALL_WINDOW_ROWS);
        set_media_path.Bind(3, media.path);
        return Finish(set_media_path);
    }

    SqliteStatus Write(const ContactKeyRecord& key) {
        SqliteStatement& s = save_key;
        s.Bind(1, key.key);
        s.Bind(2, key.kind);
        s.Bind(3, key.uin);
        s.Bind(4, key.alias);
        s.Bind(5, key.remark_name);
        s.Bind(6, key.nick_name);
        s.Bind(7, key.sex);
        s.Bind(8, key.province);
        s.Bind(9, key.city);
        s.Bind(10, key.signature);
        s.Bind(11, MemberNamesJson(key.member_names));
        s.Bind(12, key.group_key);
        s.Bind(13, key.display_name);
        s.Bind(14, key.first_seen_ms);
        s.Bind(15, key.last_seen_ms);
        return Finish(s);
    }

    SqliteStatus Finish(SqliteStatement& statement) {
        const SqliteStatus status = Note(statement.Step());
        statement.Reset();
        return status == SqliteStatus::Done ? SqliteStatus::Ok : status;
    }
};

Store::Store(StoreOptions options, StorePort& port, const platform::Clock& clock)
    : m_options(std::move(options)),
      m_port(port),
      m_clock(clock),
      m_retention_days(m_options.retention_days) {
    m_retention_due = m_retention_days > 0;
    m_next_retention_tick = m_clock.TickMs() + m_options.retention_every_ms;
    OpenDatabase(FIRST_OPEN_BUSY_MS);
    m_thread = std::thread([this] { Run(); });
}

Store::~Store() {
    Close();
}

void Store::Append(ArchiveRow row) {
    Enqueue(std::move(row));
}

void Store::MarkRecalled(std::string_view msg_id) {
    if (!msg_id.empty()) {
        Enqueue(Recall{std::string(msg_id)});
    }
}

void Store::SetMediaPath(std::string_view msg_id, std::string_view path) {
    if (!msg_id.empty() && !path.empty()) {
        Enqueue(MediaPath{std::string(msg_id), std::string(path)});
    }
}

void Store::SaveContactKeys(std::vector<ContactKeyRecord> records) {
    for (ContactKeyRecord& record : records) {
        Enqueue(std::move(record));
    }
}

void Store::SetRetentionDays(int days) {
    {
        std::lock_guard lock(m_mutex);
        m_retention_days = std::max(days, 0);
        m_retention_due = m_retention_days > 0;
    }
    m_wake.notify_one();
}

void Store::Enqueue(Change change) {
    {
        std::lock_guard lock(m_mutex);
        if (m_stop) {
            ++m_dropped;
            return;
        }
        // The batch the writer holds counts too: the bound is on what waits in memory.
        if (m_queue.size() + m_in_flight >= m_options.max_waiting) {
            ++m_dropped;
            if (!m_dropping) {
                m_dropping = true;
                m_drop_to_report = true;
            } else {
                return;
            }
        } else {
            m_queue.push_back(std::move(change));
            ++m_accepted;
        }
    }
    m_wake.notify_one();
}

bool Store::Flush(std::chrono::milliseconds timeout) {
    std::unique_lock lock(m_mutex);
    const std::uint64_t target = m_accepted;
    const bool asked_retention = m_retention_due;
    return m_written.wait_for(
               lock, timeout,
               [&] {
                   return m_failing || m_stop ||
                          (m_done >= target && (!asked_retention || !m_retention_due));
               }) &&
           !m_failing && m_done >= target;
}

void Store::Close() {
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_one();
    {
        // A page check of a big file takes seconds; the stop must not wait for it.
        std::lock_guard lock(m_interrupt_mutex);
        m_closing = true;
        if (m_checking) {
            m_writer->db.Interrupt();
        }
    }
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

StoreStats Store::Stats() const {
    std::lock_guard lock(m_mutex);
    return {m_done, m_queue.size() + m_in_flight, m_dropped, m_failing};
}

void Store::Report(StoreEvent event) {
    event.path = m_options.path;
    m_port.OnStoreEvent(event);
}

bool Store::OpenDatabase(int busy_timeout_ms) {
    OpenedDatabase opened = OpenWritable(m_options.path, busy_timeout_ms);
    if (!opened.db &&
        (opened.failure == StoreFailure::NotADatabase || opened.failure == StoreFailure::Corrupt)) {
        StartFresh(opened.failure, opened.detail);
        return m_writer != nullptr;
    }
    if (!opened.db) {
        Fail(opened.failure, opened.detail);
        return false;
    }
    auto writer = std::make_unique<Writer>(std::move(*opened.db));
    if (!writer->Valid()) {
        Fail(FailureAt(writer->db.LastStatus(), m_options.path), writer->db.ErrorText());
        return false;
    }
    m_writer = std::move(writer);
    m_checked = opened.fresh;
    return true;
}

void Store::StartFresh(StoreFailure failure, const std::string& detail) {
    m_writer.reset();
    const std::string aside = AsidePath(m_options.path, m_clock.UnixMs());
    if (!MoveAside(m_options.path, aside)) {
        Fail(failure, detail);
        return;
    }
    StoreEvent event;
    event.kind = StoreEvent::Kind::MovedAside;
    event.failure = failure;
    event.aside_path = aside;
    event.detail = detail;
    Report(std::move(event));
    OpenedDatabase opened = OpenWritable(m_options.path, m_options.busy_timeout_ms);
    if (!opened.db) {
        Fail(opened.failure, opened.detail);
        return;
    }
    m_writer = std::make_unique<Writer>(std::move(*opened.db));
    m_checked = true;
}

void Store::Fail(StoreFailure failure, const std::string& detail) {
    m_writer.reset();
    {
        std::lock_guard lock(m_mutex);
        if (m_failing) {
            return;
        }
        m_failing = true;
    }
    m_written.notify_all();
    StoreEvent event;
    event.kind = StoreEvent::Kind::Failed;
    event.failure = failure;
    event.detail = detail;
    Report(std::move(event));
}

void Store::Recover(std::size_t rows) {
    {
        std::lock_guard lock(m_mutex);
        if (!m_failing) {
            return;
        }
        m_failing = false;
    }
    StoreEvent event;
    event.kind = StoreEvent::Kind::Recovered;
    event.rows = rows;
    Report(std::move(event));
}

bool Store::CheckDatabase() {
    if (m_checked || !m_writer) {
        return true;
    }
    {
        std::lock_guard lock(m_interrupt_mutex);
        if (m_closing) {
            return true;
        }
        m_checking = true;
    }
    const FileCheck check = QuickCheck(m_writer->db);
    {
        std::lock_guard lock(m_interrupt_mutex);
        m_checking = false;
    }
    if (check.state == FileCheck::State::Damaged) {
        StartFresh(check.failure, check.detail);
        return m_writer != nullptr;
    }
    // Not checked (interrupted by the stop, or a lock): the next open tries again.
    m_checked = check.state == FileCheck::State::Sound;
    return true;
}

bool Store::WriteBatch(const std::deque<Change>& batch) {
    Writer& writer = *m_writer;
    {
        // The transaction ends (commits or rolls back) before a failure closes the
        // connection.
        platform::SqliteTransaction transaction(writer.db);
        SqliteStatus status = writer.Note(transaction.Status());
        for (auto it = batch.begin(); status == SqliteStatus::Ok && it != batch.end(); ++it) {
            status =
                std::visit([&writer](const auto& change) { return writer.Write(change); }, *it);
        }
        if (status == SqliteStatus::Ok) {
            status = writer.Note(transaction.Commit());
        }
        if (status == SqliteStatus::Ok) {
            return true;
        }
    }
    const StoreFailure failure = FailureAt(writer.failed_status, m_options.path);
    const std::string detail = writer.failed_text;
    if (failure == StoreFailure::Corrupt || failure == StoreFailure::NotADatabase) {
        StartFresh(failure, detail);
    } else {
        Fail(failure, detail);
    }
    return false;
}

bool Store::RetentionStep() {
    int days = 0;
    {
        std::lock_guard lock(m_mutex);
        days = m_retention_days;
    }
    if (days <= 0) {
        return true;
    }
    SqliteStatement& s = m_writer->retention;
    s.Bind(1, std::int64_t{RETENTION_BATCH});
    s.Bind(2, m_clock.UnixMs() - days * DAY_MS);
    if (m_writer->Finish(s) != SqliteStatus::Ok) {
        const std::string detail = m_writer->failed_text;
        Fail(FailureAt(m_writer->failed_status, m_options.path), detail);
        return false;
    }
    // Done when the oldest rows hold nothing old any more.
    return m_writer->db.Changes() == 0;
}

void Store::Run() {
    try {
        RunLoop();
    } catch (...) {
        // Out of memory, say: the robot goes on without its archive.
        std::lock_guard lock(m_mutex);
        m_failing = true;
    }
    m_written.notify_all();
}

void Store::RunLoop() {
    bool retry_now = true;
    for (;;) {
        bool tried = false;
        if (!m_writer && retry_now) {
            OpenDatabase(m_options.busy_timeout_ms);
            tried = true;
            retry_now = false;
        }
        if (m_writer && !CheckDatabase()) {
            continue;
        }
        std::deque<Change> batch;
        bool stopping = false;
        bool retention = false;
        bool report_drop = false;
        std::uint64_t dropped = 0;
        {
            std::unique_lock lock(m_mutex);
            const auto has_work = [&] {
                return m_stop || m_drop_to_report ||
                       (m_writer && (!m_queue.empty() || m_retention_due));
            };
            if (m_writer) {
                const auto wait_ms =
                    std::max<std::int64_t>(m_next_retention_tick - m_clock.TickMs(), 1);
                if (!m_wake.wait_for(lock, std::chrono::milliseconds(wait_ms), has_work)) {
                    m_next_retention_tick = m_clock.TickMs() + m_options.retention_every_ms;
                    m_retention_due = m_retention_days > 0;
                }
            } else {
                m_wake.wait_for(lock, std::chrono::milliseconds(m_options.retry_ms),
                                [&] { return m_stop || m_drop_to_report; });
            }
            stopping = m_stop;
            report_drop = std::exchange(m_drop_to_report, false);
            dropped = m_dropped;
            if (m_writer) {
                const std::size_t count = std::min(m_queue.size(), MAX_BATCH);
                std::move(m_queue.begin(), m_queue.begin() + static_cast<std::ptrdiff_t>(count),
                          std::back_inserter(batch));
                m_queue.erase(m_queue.begin(),
                              m_queue.begin() + static_cast<std::ptrdiff_t>(count));
                m_in_flight = count;
                retention = batch.empty() && m_retention_due && !stopping;
            }
        }
        if (report_drop) {
            StoreEvent event;
            event.kind = StoreEvent::Kind::RowsDropped;
            event.rows = dropped;
            Report(std::move(event));
        }
        if (!m_writer) {
            if (stopping) {
                // One last try for what waits, unless this round just tried.
                if (!tried) {
                    OpenDatabase(m_options.busy_timeout_ms);
                }
                if (!m_writer) {
                    break;
                }
            }
            // The retry interval passed (or a drop was reported): try again.
            retry_now = true;
            continue;
        }
        if (!batch.empty()) {
            const bool written = WriteBatch(batch);
            std::size_t waiting = 0;
            {
                std::lock_guard lock(m_mutex);
                m_in_flight = 0;
                if (written) {
                    m_done += batch.size();
                } else {
                    // Back to the front, in order, for the next try.
                    m_queue.insert(m_queue.begin(), std::make_move_iterator(batch.begin()),
                                   std::make_move_iterator(batch.end()));
                }
                if (m_queue.size() < m_options.max_waiting / 2) {
                    m_dropping = false;
                }
                waiting = m_queue.size();
            }
            m_written.notify_all();
            if (written) {
                Recover(batch.size() + waiting);
            }
            if (!written && m_writer == nullptr && stopping) {
                break;
            }
            continue;
        }
        if (retention) {
            if (RetentionStep()) {
                std::lock_guard lock(m_mutex);
                m_retention_due = false;
                m_next_retention_tick = m_clock.TickMs() + m_options.retention_every_ms;
            }
            m_written.notify_all();
            continue;
        }
        if (stopping) {
            break;
        }
    }
    std::size_t lost = 0;
    {
        std::lock_guard lock(m_mutex);
        lost = m_queue.size();
        m_dropped += lost;
        m_queue.clear();
    }
    if (lost > 0) {
        StoreEvent event;
        event.kind = StoreEvent::Kind::RowsDropped;
        event.rows = lost;
        Report(std::move(event));
    }
    m_writer.reset();
}

}  // namespace zelmo::store
