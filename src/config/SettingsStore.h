#pragma once

#include <functional>
#include <memory>
#include <mutex>

#include "config/Settings.h"

namespace zelmo::config {

// The current settings as immutable snapshots: readers keep the snapshot they took for as
// long as they use it, writers swap in a whole new one. Any thread.
class SettingsStore {
public:
    SettingsStore();

    std::shared_ptr<const Settings> Get() const;
    void Set(Settings settings);
    // Applies `change` to a copy of the current settings and swaps the copy in.
    void Update(const std::function<void(Settings&)>& change);

    std::shared_ptr<const MassSettings> GetMass() const;
    void SetMass(MassSettings settings);

private:
    mutable std::mutex m_mutex;
    std::shared_ptr<const Settings> m_settings;
    std::shared_ptr<const MassSettings> m_mass;
};

}  // namespace zelmo::config
