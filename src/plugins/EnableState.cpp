#include "plugins/EnableState.h"

#include "config/AccountPaths.h"
#include "platform/GbkLiteral.h"
#include "platform/IniFile.h"

namespace zelmo::plugins {

std::string EnableFilePath(std::string_view account_dir, std::string_view file_name) {
    return config::PluginPath(account_dir, file_name) + ".ini";
}

std::string EnableSection() {
    return platform::Gbk("是否开启");
}

void LoadEnableStates(PluginHost& plugins, std::string_view account_dir) {
    const std::string dir(account_dir);
    const std::string section = EnableSection();
    plugins.Modify([&](PluginTable& table) {
        for (PluginRecord& record : table) {
            record.Enabled = platform::ReadIniBool(EnableFilePath(dir, record.FileName), section,
                                                   record.Name, false);
        }
    });
}

void SaveEnableStates(const PluginHost& plugins, std::string_view account_dir) {
    const std::string section = EnableSection();
    const PluginTableSnapshot table = plugins.Table();
    for (const PluginRecord& record : *table) {
        platform::WriteIniBool(EnableFilePath(account_dir, record.FileName), section, record.Name,
                               record.Enabled);
    }
}

void ReadChecksIntoTable(PluginHost& plugins, const std::vector<bool>& checks) {
    plugins.Modify([&](PluginTable& table) {
        for (std::size_t i = 0; i < table.size() && i < checks.size(); ++i) {
            table[i].Enabled = checks[i];
        }
    });
}

void SetRecordEnabled(PluginHost& plugins, std::size_t index, bool enabled) {
    plugins.Modify([&](PluginTable& table) {
        if (index < table.size()) {
            table[index].Enabled = enabled;
        }
    });
}

std::string ConsentQuestion(std::string_view name) {
    return std::string(name) + platform::Gbk(
                                   "插件试图获取您的帐号信息，是否允许？\r\n注意:"
                                   "请只给您信任的插件此信息，以免账号被盗！");
}

bool ToggleRecord(PluginHost& plugins, PluginPort& screen, std::size_t index, bool checked) {
    const PluginTableSnapshot table = plugins.Table();
    if (index >= table->size()) {
        return false;
    }
    const PluginRecord& record = (*table)[index];
    bool enabled = checked;
    if (checked && record.WantsAccount) {
        enabled = screen.AskYesNo(platform::Gbk("提示"), ConsentQuestion(record.Name));
    }
    SetRecordEnabled(plugins, index, enabled);
    return enabled;
}

}  // namespace zelmo::plugins
