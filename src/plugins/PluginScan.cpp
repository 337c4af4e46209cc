#include "plugins/PluginScan.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "config/AccountPaths.h"
#include "platform/Encoding.h"
#include "platform/Files.h"
#include "platform/GbkLiteral.h"
#include "platform/SharedLibrary.h"
#include "plugins/EnableState.h"
#include "plugins/HostCalls.h"
#include "plugins/PluginCall.h"
#include "plugins/PluginDescription.h"
#include "plugins/PluginHost.h"

namespace zelmo::plugins {

namespace {

// The records of one library file; none when it is no loadable library, lacks "info",
// describes nothing or has no valid entry. Their shared load stays with the records.
PluginTable LoadLibraryRecords(const std::string& path, std::string_view file_name,
                               const zelmo_host* host_calls) {
    auto library = std::make_shared<platform::SharedLibrary>();
    if (!library->Open(path)) {
        return {};
    }
    const std::optional<std::string> description = ReadDescription(*library);
    if (!description) {
        return {};
    }
    PluginTable records = ParseDescription(*description, file_name);
    if (!records.empty()) {
        // Before the records are published: no handler of it runs before its init.
        CallPluginInit(library->Symbol(INIT_EXPORT), host_calls);
    }
    for (PluginRecord& record : records) {
        record.Library = library;
    }
    return records;
}

}  // namespace

std::string DisplayFileName(std::string_view file_name) {
    return platform::Utf8ToGbk(file_name);
}

std::string UninstallQuestion(std::string_view name) {
    return platform::Gbk("您真的要卸载插件\"") + std::string(name) + platform::Gbk("\"吗？");
}

void ScanPlugins(PluginHost& plugins, std::string_view account_dir, PluginPort& screen,
                 bool from_settings) {
    const std::vector<std::string> names =
        platform::FindFiles(config::PluginFolder(account_dir), PLUGIN_PATTERN);
    const std::string status_head = from_settings ? platform::Gbk("载入:") : std::string("[4/5] ");
    // The new table is built beside the published one and swapped in whole: dispatching
    // workers keep reading the old one, whose libraries stay loaded until they are done.
    PluginTable table;
    for (const std::string& name : names) {
        screen.ShowStatus(status_head + DisplayFileName(name), false);
        PluginTable records = LoadLibraryRecords(config::PluginPath(account_dir, name), name,
                                                 plugins.HostCallTable());
        for (PluginRecord& record : records) {
            table.push_back(std::move(record));
        }
    }
    plugins.Publish(std::move(table));
    if (from_settings && !names.empty()) {
        screen.CloseStatus();
    }
}

void UninstallPlugin(PluginHost& plugins, std::string_view account_dir, PluginPort& screen,
                     std::size_t index) {
    const PluginTableSnapshot table = plugins.Table();
    if (index >= table->size()) {
        return;
    }
    const std::string file_name = (*table)[index].FileName;
    // The library is released when no table and no dispatch in progress holds it any
    // more, which the rescan below brings about; releasing it earlier could unmap it under
    // a worker that is inside one of its exports.
    platform::DeleteFile(EnableFilePath(account_dir, file_name));
    platform::DeleteFile(config::PluginPath(account_dir, file_name));
    ScanPlugins(plugins, account_dir, screen, true);
    LoadEnableStates(plugins, account_dir);
}

}  // namespace zelmo::plugins
