#pragma once

#include <string>

#include "messages/KnowledgeBase.h"
#include "messages/LangTemplates.h"
#include "platform/Clock.h"
#include "plugins/PluginHost.h"
#include "protocol/SessionStore.h"

namespace zelmo::messages {

// Everything a reply may come from: the templates, the knowledge base (which learning
// writes into), the plugins with the account folder that holds them and the uin file, the
// session whose cookie text consenting plugins receive, and the clock that draws chances.
struct ReplySources {
    const LangTemplates& templates;
    KnowledgeBase& knowledge;
    const plugins::PluginHost& plugins;
    const std::string& account_dir;
    const protocol::SessionStore& sessions;
    platform::Clock& clock;
};

}  // namespace zelmo::messages
