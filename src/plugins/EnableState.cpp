#include "plugins/EnableState.h"

#include "app/AccountPaths.h"
#include "app/GbkLiteral.h"
#include "app/Robot.h"
#include "platform/IniFile.h"
#include "plugins/PluginHost.h"

namespace zelmo::plugins {

std::string EnableFilePath(std::string_view account_dir, std::string_view file_name) {
    return app::PluginPath(account_dir, file_name) + ".ini";
}

std::string EnableSection() {
    return app::Gbk("是否开启");
}

void LoadEnableStates(app::Robot& robot) {
    const std::string dir = robot.AccountDir();
    const std::string section = EnableSection();
    robot.Plugins().Modify([&](PluginTable& table) {
        for (PluginRecord& record : table) {
            record.Enabled = platform::ReadIniBool(EnableFilePath(dir, record.FileName), section,
                                                   record.Name, false);
        }
    });
}

void SaveEnableStates(app::Robot& robot) {
    const std::string& dir = robot.AccountDir();
    const std::string section = EnableSection();
    const PluginTableSnapshot table = robot.Plugins().Table();
    for (const PluginRecord& record : *table) {
        platform::WriteIniBool(EnableFilePath(dir, record.FileName), section, record.Name,
                               record.Enabled);
    }
}

void ReadChecksIntoTable(app::Robot& robot, const std::vector<bool>& checks) {
    robot.Plugins().Modify([&](PluginTable& table) {
        for (std::size_t i = 0; i < table.size() && i < checks.size(); ++i) {
            table[i].Enabled = checks[i];
        }
    });
}

void SetRecordEnabled(app::Robot& robot, std::size_t index, bool enabled) {
    robot.Plugins().Modify([&](PluginTable& table) {
        if (index < table.size()) {
            table[index].Enabled = enabled;
        }
    });
}

std::string ConsentQuestion(std::string_view name) {
    return std::string(name) + app::Gbk(
                                   "插件试图获取您的帐号信息，是否允许？\r\n注意:"
                                   "请只给您信任的插件此信息，以免账号被盗！");
}

bool ToggleRecord(app::Robot& robot, std::size_t index, bool checked) {
    const PluginTableSnapshot table = robot.Plugins().Table();
    if (index >= table->size()) {
        return false;
    }
    const PluginRecord& record = (*table)[index];
    bool enabled = checked;
    if (checked && record.WantsAccount) {
        enabled = robot.Screen().AskYesNo(app::Gbk("提示"), ConsentQuestion(record.Name));
    }
    SetRecordEnabled(robot, index, enabled);
    return enabled;
}

}  // namespace zelmo::plugins
