#pragma once

#include <QWidget>
#include <string>
#include <vector>

#include "plugins/PluginHost.h"
#include "plugins/PluginPort.h"

class QLabel;
class QPlainTextEdit;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace zelmo::plugins {

// The plugin page of the settings window: the list of plugin entries with their enable
// check boxes, the selected entry's details, refresh and uninstall. Shows the robot's
// plugin table and forwards the user's actions to it. UI thread.
class PluginPage : public QWidget {
    Q_OBJECT
public:
    // The plugins of `plugins` live in the plugin folder of account_dir.
    PluginPage(PluginHost& plugins, const std::string& account_dir, PluginPort& screen,
               QWidget* parent = nullptr);

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

    PluginHost& m_plugins;
    const std::string& m_account_dir;
    PluginPort& m_screen;
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
