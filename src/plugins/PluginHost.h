#pragma once

#include <mutex>

#include "plugins/PluginTable.h"

namespace zelmo::app {
class Robot;
}

namespace zelmo::plugins {

// Holds the current plugin table, swapped whole on every rescan or enable change, so that
// dispatching workers never see it change under them. Any thread.
class PluginHost {
public:
    PluginHost();
    PluginTableSnapshot Table() const;
    void Publish(PluginTable table);

private:
    mutable std::mutex m_mutex;
    PluginTableSnapshot m_table;
};

// ScanPlugins: rebuilds the table from the plugin folder, showing each file name in the
// status popup ("[4/5] " during the start-up, "载入:" from the settings window).
void ScanPlugins(app::Robot& robot, bool from_settings);
// Reads every record's enabled flag from its library's INI file.
void LoadEnableStates(app::Robot& robot);

}  // namespace zelmo::plugins
