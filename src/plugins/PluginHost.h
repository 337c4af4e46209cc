#pragma once

#include <functional>
#include <mutex>
#include <string_view>

#include "plugins/HostCalls.h"
#include "plugins/PluginPort.h"
#include "plugins/PluginTable.h"

namespace zelmo::plugins {

// Holds the current plugin table, swapped whole on every rescan or enable change, so that
// dispatching workers never see it change under them. Any thread.
class PluginHost {
public:
    PluginHost();
    PluginTableSnapshot Table() const;
    void Publish(PluginTable table);
    // Publishes a changed copy of the current table; changes made at the same time from
    // other threads are applied one after the other, none lost.
    void Modify(const std::function<void(PluginTable&)>& change);

    // The host calls handed to the plugins a scan loads; none until set. Set before the
    // first scan.
    void SetHostCalls(const zelmo_host* table) { m_host_calls = table; }
    const zelmo_host* HostCallTable() const { return m_host_calls; }

private:
    void Swap(PluginTable table);

    std::mutex m_writer_mutex;  // one writer at a time: a change never overwrites another
    mutable std::mutex m_mutex;
    PluginTableSnapshot m_table;
    const zelmo_host* m_host_calls = nullptr;
};

// ScanPlugins: rebuilds the table from the plugin folder, showing each file name in the
// status popup ("[4/5] " during the start-up, "载入:" from the settings window). Records
// start disabled. UI thread.
void ScanPlugins(PluginHost& plugins, std::string_view account_dir, PluginPort& screen,
                 bool from_settings);
// Reads every record's enabled flag from its library's INI file.
void LoadEnableStates(PluginHost& plugins, std::string_view account_dir);

}  // namespace zelmo::plugins
