#include "plugins/PluginHost.h"

namespace zelmo::plugins {

void ScanPlugins(app::Robot&, bool) {}
void LoadEnableStates(app::Robot&) {}

}  // namespace zelmo::plugins
