#include "config/AccountPaths.h"

namespace zelmo::config {

std::string AccountDirFor(std::string_view data_root, std::string_view uin) {
    return std::string(data_root) + "/" + std::string(uin);
}

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

}  // namespace zelmo::config
