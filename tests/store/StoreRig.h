#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/Sqlite.h"
#include "store/ArchiveReader.h"
#include "store/DatabaseFile.h"
#include "store/Store.h"

namespace zelmo::test {

// Keeps the store's events and lets a test wait for one.
class RecordingPort final : public store::StorePort {
public:
    void OnStoreEvent(const store::StoreEvent& event) override {
        {
            std::lock_guard lock(m_mutex);
            m_events.push_back(event);
        }
        m_changed.notify_all();
    }

    // The first event of this kind (waiting for it up to `timeout`); nothing on time-out.
    std::optional<store::StoreEvent> WaitFor(
        store::StoreEvent::Kind kind,
        std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
        std::unique_lock lock(m_mutex);
        std::optional<store::StoreEvent> found;
        m_changed.wait_for(lock, timeout, [&] {
            for (const store::StoreEvent& event : m_events) {
                if (event.kind == kind) {
                    found = event;
                    return true;
                }
            }
            return false;
        });
        return found;
    }

    std::size_t Count(store::StoreEvent::Kind kind) const {
        std::lock_guard lock(m_mutex);
        std::size_t count = 0;
        for (const store::StoreEvent& event : m_events) {
            count += event.kind == kind ? 1 : 0;
        }
        return count;
    }

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<store::StoreEvent> m_events;
};

// Options for a store in a test folder: short lock waits and retries.
inline store::StoreOptions TestOptions(const std::string& folder) {
    store::StoreOptions options;
    options.path = folder + "/" + std::string(store::DATABASE_FILE_NAME);
    options.busy_timeout_ms = 50;
    options.retry_ms = 20;
    return options;
}

inline store::ArchiveRow Row(std::int64_t time_ms, std::string text, std::string chat_key = "c1",
                             std::string chat_name = "相亲相爱一家人") {
    store::ArchiveRow row;
    row.time_ms = time_ms;
    row.kind = "文本";
    row.chat_key = std::move(chat_key);
    row.chat_name = std::move(chat_name);
    row.sender_key = "cmember0001";
    row.sender_name = "王伟";
    row.text = std::move(text);
    return row;
}

inline store::ArchiveReader OpenReader(const std::string& path) {
    std::string error;
    std::optional<store::ArchiveReader> reader = store::ArchiveReader::Open(path, &error);
    if (!reader) {
        throw std::runtime_error("cannot read " + path + ": " + error);
    }
    return std::move(*reader);
}

// A plain connection for looking at the file as another program would.
inline platform::SqliteConnection Connect(const std::string& path) {
    platform::SqliteOpen open =
        platform::SqliteConnection::Open(path, platform::SqliteConnection::Mode::ReadWriteCreate);
    if (!open.connection) {
        throw std::runtime_error("cannot open " + path + ": " + open.error);
    }
    open.connection->SetBusyTimeout(5000);
    return std::move(*open.connection);
}

inline std::int64_t CountRows(const std::string& path) {
    return Connect(path).QueryInt("SELECT count(*) FROM archive").value_or(-1);
}

// "ok" when the pages and the text index agree with themselves.
inline std::string CheckFile(const std::string& path) {
    platform::SqliteConnection db = Connect(path);
    std::string pages = db.QueryText("PRAGMA quick_check").value_or("no answer");
    if (pages != "ok") {
        return pages;
    }
    if (db.Exec("INSERT INTO archive_text(archive_text) VALUES ('integrity-check')") !=
        platform::SqliteStatus::Ok) {
        return "text index: " + db.ErrorText();
    }
    return "ok";
}

}  // namespace zelmo::test
