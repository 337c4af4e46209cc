#pragma once

namespace zelmo::app {
class Robot;
}

namespace zelmo::plugins {

// The plugin table of the account's plugin folder, swapped whole on every rescan so that
// dispatching workers never see it change under them. Any thread.
class PluginHost {};

// ScanPlugins: rebuilds the table from the plugin folder, showing each file name in the
// status popup ("[4/5] " during the start-up, "载入:" from the settings window).
void ScanPlugins(app::Robot& robot, bool from_settings);
// Reads every record's enabled flag from its library's INI file.
void LoadEnableStates(app::Robot& robot);

}  // namespace zelmo::plugins
