#pragma once

#include <QAbstractTableModel>
#include <QTimer>
#include <QWidget>
#include <string_view>
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

    // Queues a row; it is shown at the next flush (within FLUSH_MS).
    void Append(LogRow row);
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
    LogRows m_rows;
    std::vector<LogRow> m_pending;
    QTimer m_flush_timer;
};

// The message window ("微信机器人 - 消息盒子"): the running log of chat traffic. Created
// hidden at start-up; closing hides it. UI thread.
class MessageWindow : public QWidget {
    Q_OBJECT
public:
    MessageWindow(Robot& robot, QWidget* owner);

    // Appends one log row (GBK texts).
    void AddRow(std::string_view label, std::string_view time, std::string_view source,
                std::string_view destination, std::string_view content);

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
