#include "plugins/PluginHost.h"

#include <utility>

namespace zelmo::plugins {

PluginHost::PluginHost() : m_table(std::make_shared<const PluginTable>()) {}

PluginTableSnapshot PluginHost::Table() const {
    std::lock_guard lock(m_mutex);
    return m_table;
}

void PluginHost::Publish(PluginTable table) {
    std::lock_guard lock(m_writer_mutex);
    Swap(std::move(table));
}

void PluginHost::Modify(const std::function<void(PluginTable&)>& change) {
    std::lock_guard lock(m_writer_mutex);
    PluginTable table = *Table();
    change(table);
    Swap(std::move(table));
}

void PluginHost::Swap(PluginTable table) {
    auto next = std::make_shared<const PluginTable>(std::move(table));
    PluginTableSnapshot previous;
    {
        std::lock_guard lock(m_mutex);
        previous = std::exchange(m_table, std::move(next));
    }
    // The old table, and with it perhaps the last load of a removed library, is released
    // here, outside the lock, so readers never wait for a library to unload.
}

}  // namespace zelmo::plugins
