#include "config/Settings.h"

namespace zelmo::config {

Settings LoadSettings(std::string_view) {
    return {};
}

MassSettings LoadMassSettings(std::string_view) {
    return {};
}

void SaveSettings(std::string_view, const Settings&) {}

void SaveMassSettings(std::string_view, const MassSettings&) {}

}  // namespace zelmo::config
