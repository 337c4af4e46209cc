#include "plugins/PluginHost.h"

#include <utility>

namespace zelmo::plugins {

PluginHost::PluginHost() : m_table(std::make_shared<const PluginTable>()) {}

PluginTableSnapshot PluginHost::Table() const {
    std::lock_guard lock(m_mutex);
    return m_table;
}

void PluginHost::Publish(PluginTable table) {
    auto next = std::make_shared<const PluginTable>(std::move(table));
    std::lock_guard lock(m_mutex);
    m_table = std::move(next);
}

void ScanPlugins(app::Robot&, bool) {}
void LoadEnableStates(app::Robot&) {}

}  // namespace zelmo::plugins
