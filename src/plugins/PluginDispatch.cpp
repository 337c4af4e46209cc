#include "plugins/PluginDispatch.h"

namespace zelmo::plugins {

std::string DispatchToPlugins(app::Robot&, const messages::ChatMessage&) {
    return {};
}

}  // namespace zelmo::plugins
