#include "plugins/PluginDispatch.h"

#include <optional>
#include <string>

#include "config/AccountPaths.h"
#include "plugins/HostCalls.h"
#include "plugins/PluginCall.h"
#include "plugins/PluginHost.h"
#include "plugins/PluginTrigger.h"

namespace zelmo::plugins {

std::string DispatchToPlugins(const PluginHost& plugins, std::string_view account_dir,
                              std::string_view account, const protocol::ChatMessage& message) {
    // The snapshot also keeps every library it names loaded until this dispatch is done,
    // whatever a rescan publishes meanwhile.
    const PluginTableSnapshot table = plugins.Table();
    // A handler may ask for the message's file through its host calls.
    const CurrentMessage current(message.item);
    const std::string kind = std::to_string(message.chat_type);
    for (const PluginRecord& record : *table) {
        if (!record.Enabled) {
            continue;
        }
        const std::optional<std::string> argument = SelectArgument(record, message.content);
        if (!argument) {
            continue;
        }
        PluginArguments arguments;
        arguments.message = *argument;
        arguments.kind = kind;
        arguments.from = message.from;
        arguments.sender = message.group_sender;
        if (record.WantsAccount) {
            arguments.account = account;
        }
        std::string answer = CallPlugin(config::PluginPath(account_dir, record.FileName),
                                        record.Function, arguments);
        if (!answer.empty()) {
            return answer;
        }
    }
    return {};
}

}  // namespace zelmo::plugins
