#pragma once

#include <QAbstractTableModel>
#include <QTimer>
#include <QWidget>
#include <deque>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "messages/MessageLog.h"

class QCheckBox;
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

// The message window ("微信机器人 - 消息盒子"): the running log of chat traffic. Created
// hidden at start-up; closing hides it. UI thread.
class MessageWindow : public QWidget {
    Q_OBJECT
public:
    MessageWindow(Robot& robot, QWidget* owner);

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

    Robot& m_robot;
    LogModel* m_model;
    QTableView* m_list;         // 超级列表框_消息
    QPlainTextEdit* m_details;  // 编辑框_消息
    QCheckBox* m_show;          // 选择框_显示消息
    QPushButton* m_clear;       // 按钮_清空
    QPushButton* m_export;      // 按钮_导出消息
};

}  // namespace zelmo::app
