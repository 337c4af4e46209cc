#include "plugins/PluginScan.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/AccountPaths.h"
#include "app/GbkLiteral.h"
#include "app/Robot.h"
#include "platform/Encoding.h"
#include "platform/Files.h"
#include "platform/SharedLibrary.h"
#include "plugins/EnableState.h"
#include "plugins/PluginCall.h"
#include "plugins/PluginDescription.h"
#include "plugins/PluginHost.h"

namespace zelmo::plugins {

namespace {

// The records of one library file; none when it is no loadable library, lacks "info",
// describes nothing or has no valid entry. Their shared load stays with the records.
PluginTable LoadLibraryRecords(const std::string& path, std::string_view file_name) {
    auto library = std::make_shared<platform::SharedLibrary>();
    if (!library->Open(path)) {
        return {};
    }
    const std::optional<std::string> description = ReadDescription(*library);
    if (!description) {
        return {};
    }
    PluginTable records = ParseDescription(*description, file_name);
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
    return app::Gbk("您真的要卸载插件\"") + std::string(name) + app::Gbk("\"吗？");
}

void ScanPlugins(app::Robot& robot, bool from_settings) {
    const std::string& dir = robot.AccountDir();
    const std::vector<std::string> names =
        platform::FindFiles(app::PluginFolder(dir), PLUGIN_PATTERN);
    const std::string status_head = from_settings ? app::Gbk("载入:") : std::string("[4/5] ");
    // The new table is built beside the published one and swapped in whole: dispatching
    // workers keep reading the old one, whose libraries stay loaded until they are done.
    PluginTable table;
    for (const std::string& name : names) {
        robot.Screen().ShowStatus(status_head + DisplayFileName(name), false);
        PluginTable records = LoadLibraryRecords(app::PluginPath(dir, name), name);
        for (PluginRecord& record : records) {
            table.push_back(std::move(record));
        }
    }
    robot.Plugins().Publish(std::move(table));
    if (from_settings && !names.empty()) {
        robot.Screen().CloseStatus();
    }
}

void UninstallPlugin(app::Robot& robot, std::size_t index) {
    const PluginTableSnapshot table = robot.Plugins().Table();
    if (index >= table->size()) {
        return;
    }
    const std::string& dir = robot.AccountDir();
    const std::string file_name = (*table)[index].FileName;
    // The library is released when no table and no dispatch in progress holds it any
    // more, which the rescan below brings about; releasing it earlier could unmap it under
    // a worker that is inside one of its exports.
    platform::DeleteFile(EnableFilePath(dir, file_name));
    platform::DeleteFile(app::PluginPath(dir, file_name));
    ScanPlugins(robot, true);
    LoadEnableStates(robot);
}

}  // namespace zelmo::plugins
