#include "app/AccountPaths.h"

namespace zelmo::app {

std::string ConfigPath(std::string_view account_dir, std::string_view file_name) {
    return std::string(account_dir) + "/config/" + std::string(file_name);
}

std::string PluginFolder(std::string_view account_dir) {
    return std::string(account_dir) + "/plugin";
}

std::string PluginPath(std::string_view account_dir, std::string_view file_name) {
    return PluginFolder(account_dir) + "/" + std::string(file_name);
}

std::string UinFilePath(std::string_view account_dir) {
    return std::string(account_dir) + "/uin.ini";
}

}  // namespace zelmo::app
