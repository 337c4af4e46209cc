#pragma once

#include <QWidget>
#include <vector>

class QLabel;
class QPlainTextEdit;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace zelmo::app {
class Robot;
}

namespace zelmo::plugins {

// The plugin page of the settings window: the list of plugin entries with their enable
// check boxes, the selected entry's details, refresh and uninstall. Shows the robot's
// plugin table and forwards the user's actions to it. UI thread.
class PluginPage : public QWidget {
    Q_OBJECT
public:
    PluginPage(app::Robot& robot, QWidget* parent = nullptr);

    // Rebuilds the list from the table (when the settings window opens).
    void FillPluginList();
    // Takes the check boxes into the table and writes the enable files (when the settings
    // window closes).
    void SaveChecks();

    // The check box of every row, in row order.
    std::vector<bool> Checks() const;

private:
    int SelectedRow() const;
    void ShowSelected();
    void OnItemChanged(QTreeWidgetItem* item, int column);
    void Refresh();
    void Uninstall();
    void SetCheck(QTreeWidgetItem* item, bool checked);

    app::Robot& m_robot;
    QTreeWidget* m_list;
    QLabel* m_placeholder;
    QLabel* m_file_name;
    QLabel* m_name;
    QLabel* m_version;
    QLabel* m_author;
    QLabel* m_listed;
    QLabel* m_format;
    QPlainTextEdit* m_intro;
    QPushButton* m_refresh;
    QPushButton* m_uninstall;
};

}  // namespace zelmo::plugins
