#include "config/SettingsStore.h"

#include <utility>

namespace zelmo::config {

SettingsStore::SettingsStore()
    : m_settings(std::make_shared<const Settings>()),
      m_mass(std::make_shared<const MassSettings>()) {}

std::shared_ptr<const Settings> SettingsStore::Get() const {
    std::lock_guard lock(m_mutex);
    return m_settings;
}

void SettingsStore::Set(Settings settings) {
    auto next = std::make_shared<const Settings>(std::move(settings));
    std::lock_guard lock(m_mutex);
    m_settings = std::move(next);
}

void SettingsStore::Update(const std::function<void(Settings&)>& change) {
    std::lock_guard lock(m_mutex);
    Settings copy = *m_settings;
    change(copy);
    m_settings = std::make_shared<const Settings>(std::move(copy));
}

std::shared_ptr<const MassSettings> SettingsStore::GetMass() const {
    std::lock_guard lock(m_mutex);
    return m_mass;
}

void SettingsStore::SetMass(MassSettings settings) {
    auto next = std::make_shared<const MassSettings>(std::move(settings));
    std::lock_guard lock(m_mutex);
    m_mass = std::move(next);
}

}  // namespace zelmo::config
