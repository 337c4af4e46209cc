#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "app/ArchiveRows.h"
#include "messages/MessageEvents.h"
#include "protocol/Session.h"
#include "store/ArchiveRecords.h"
#include "store/Store.h"
#include "store/StoreEvents.h"

namespace zelmo::app {

class Robot;

// The account's database as the robot uses it (<account folder>/zelmo.db): every message
// received and every text sent goes to the archive, the contact keys are loaded from it at
// start and saved after each assignment, and what goes wrong with it is told once (a box
// that never holds the writer) while the robot answers on.
class AccountArchive final : public messages::MessageObserver, public store::StorePort {
public:
    // Rows of earlier runs the message window shows at start.
    static constexpr int START_ROWS = 200;

    // Keeps the robot to reach its parts later; opens nothing.
    explicit AccountArchive(Robot& robot);
    ~AccountArchive() override;
    AccountArchive(const AccountArchive&) = delete;
    AccountArchive& operator=(const AccountArchive&) = delete;

    // Opens the database unless 启用存档 is off, gives the contact keys it holds to the
    // robot's keys and keeps its newest rows for the message window. Once, on the start-up
    // thread, after the settings are loaded and before any key is assigned or thread reads it.
    void Open();
    // Saves the keys the assignments created or saw since the last call. Any thread.
    void SaveKeys();
    // Writes what waits and ends the writer, once every thread that archives has ended;
    // later rows are dropped. Idempotent.
    void Close();

    // The database file; empty while none is open.
    std::string Path() const;
    // The rows of earlier runs for the message window (oldest first), once.
    std::vector<store::ArchiveRow> TakeStartRows();

    // MessageObserver: queue worker and sender thread; never waits for the disk.
    void OnReceived(const messages::ReceivedEvent& event) override;
    void OnSent(const messages::SentEvent& event) override;
    // The media of the received message `msg_id` was saved at `path`. Download threads.
    void OnMediaSaved(std::string_view msg_id, std::string_view path);
    // StorePort: the writer thread.
    void OnStoreEvent(const store::StoreEvent& event) override;

private:
    // The store while 启用存档 is on, with 消息保留天数 as the settings say now.
    store::Store* Target();
    // What a row names besides its event; `state` outlives the names.
    RowNames NamesOf(const protocol::ProtocolState& state) const;

    Robot& m_robot;
    std::unique_ptr<store::Store> m_store;
    std::atomic<store::Store*> m_target{nullptr};
    std::atomic<int> m_retention_days{0};
    // Keys are saved only where they were read: saving a fresh set beside keys that could
    // not be read would give the same people two keys each.
    std::atomic<bool> m_keys_loaded{false};
    std::mutex m_start_rows_mutex;
    std::vector<store::ArchiveRow> m_start_rows;
};

}  // namespace zelmo::app
