#pragma once

#include <QAbstractTableModel>
#include <QTimer>
#include <QWidget>
#include <deque>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "app/ArchiveSearch.h"
#include "messages/MessageLog.h"
#include "store/ArchiveRecords.h"

class QCheckBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTableView;

namespace zelmo::app {

using messages::LogRow;
using messages::LogRows;

class Robot;

// The log rows: label, time, source, destination, content. Rows arrive one by one and
// are shown in batches, so a flood of rows costs one view update per batch. UI thread.
class LogModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit LogModel(QObject* parent);

    // Queues a row; it is shown at the next flush (within FLUSH_MS). A received message with
    // media gives its MsgId, by which AttachFile finds the row.
    void Append(LogRow row, std::string msg_id = {});
    // The message's file was saved at `path` (file-system bytes): its row's content names the
    // file, and FileAt gives the path. A row that has not come yet gets it when it comes.
    void AttachFile(const std::string& msg_id, std::string path);
    // The saved file of a row; empty for a row without one.
    std::string FileAt(int row) const;
    // Shows every queued row now.
    void Flush();
    // Every row, the queued ones included, in arrival order.
    const LogRows& Rows();
    void Clear();
    // Puts rows in front of every other (the archive's rows of earlier runs).
    void Prepend(std::vector<LogRow> rows);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    static constexpr int FLUSH_MS = 50;

signals:
    void Flushed();

private:
    struct PendingRow {
        LogRow row;
        std::string msg_id;
    };
    void ShowFileInRow(std::size_t row, std::string path);

    LogRows m_rows;
    std::vector<PendingRow> m_pending;
    QTimer m_flush_timer;
    // Rows of messages with media by MsgId, the files saved for rows, and files saved before
    // their row came (the newest few).
    std::unordered_map<std::string, std::size_t> m_media_rows;
    std::unordered_map<std::size_t, std::string> m_row_files;
    std::unordered_map<std::string, std::string> m_early_files;
    std::deque<std::string> m_early_order;
};

// The message window ("微信机器人 - 消息盒子"): the running log of chat traffic, and above
// it a search of the account's whole archive whose results take the log's place while a
// search is typed. Created hidden at start-up; closing hides it. UI thread.
class MessageWindow : public QWidget {
    Q_OBJECT
public:
    MessageWindow(Robot& robot, QWidget* owner);
    ~MessageWindow() override;

    // How a double click on a result opens the chat window of its chat (the contact's
    // nickname and current UserName, GBK).
    using OpenChat = std::function<void(std::string nickname, std::string user_name)>;
    void SetOpenChat(OpenChat open_chat) { m_open_chat = std::move(open_chat); }
    // Puts the archive's rows of earlier runs (oldest first) in front of the log.
    void ShowArchivedRows(const std::vector<store::ArchiveRow>& rows);
    // The results shown (the log's model while no search is typed).
    LogModel* Results() const { return m_results; }
    bool ShowingResults() const;
    // Opens the chat of a result row (what a double click on it does).
    void OpenResultChat(int row);

    // Appends one log row (GBK texts); a received message with media gives its MsgId.
    void AddRow(std::string_view label, std::string_view time, std::string_view source,
                std::string_view destination, std::string_view content,
                std::string_view msg_id = {});
    // The file of the message `msg_id` was saved at `path` (file-system bytes).
    void ShowFile(std::string_view msg_id, std::string_view path);
    // Opens the row's saved file with the desktop's program for it; false without one.
    bool OpenFile(int row);

    LogModel* Model() const { return m_model; }
    // Fills the details box from the list's selected row (empty fields without one).
    void ShowDetails();
    // Writes the log to a file in the current directory and reports the outcome.
    void ExportRows();
    void ClearRows();

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void ShowBesideOwner();
    // Searches what the boxes say now, from the newest row, or the rows older than the
    // last page (`more`); shows the log again when there is nothing to search for.
    void Search(bool more);
    void ShowPage(std::uint64_t serial, const store::SearchPage& page);
    void ShowLog();
    const LogRows& ShownRows();

    Robot& m_robot;
    LogModel* m_model;
    LogModel* m_results;
    std::vector<store::ArchiveRow> m_result_rows;
    store::SearchQuery m_query;
    std::uint64_t m_asked = 0;  // the serial of the question whose answer is awaited
    bool m_asked_more = false;
    QTimer m_search_timer;
    OpenChat m_open_chat;
    QLineEdit* m_search;        // searchEdit
    QLineEdit* m_search_chat;   // searchChatEdit
    QCheckBox* m_since_check;   // searchSinceCheck
    QDateEdit* m_since;         // searchSinceEdit
    QLabel* m_search_status;    // searchStatusLabel
    QPushButton* m_more;        // searchMoreButton
    QTableView* m_list;         // 超级列表框_消息
    QPlainTextEdit* m_details;  // 编辑框_消息
    QCheckBox* m_show;          // 选择框_显示消息
    QPushButton* m_clear;       // 按钮_清空
    QPushButton* m_export;      // 按钮_导出消息
    // Last: its thread answers into this window, and ends before the rest goes.
    std::unique_ptr<ArchiveSearch> m_archive_search;
};

}  // namespace zelmo::app
