#pragma once

#include <string>
#include <string_view>

namespace zelmo::config {

// The files of an account folder (AccountDir, no trailing "/").
inline constexpr std::string_view SETTINGS_FILE = "mzset.ini";
inline constexpr std::string_view REPLY_BASE_FILE = "reply.ini";
inline constexpr std::string_view LANG_FILE = "lang.ini";
inline constexpr std::string_view MASS_TEXTS_FILE = "mass.ini";

// The account's data folder: the data root, "/" and the account's Uin.
std::string AccountDirFor(std::string_view data_root, std::string_view uin);

// account_dir + "/config/" + file_name
std::string ConfigPath(std::string_view account_dir, std::string_view file_name);
// account_dir + "/plugin"; with a file name, that file in it.
std::string PluginFolder(std::string_view account_dir);
std::string PluginPath(std::string_view account_dir, std::string_view file_name);
// account_dir + "/uin.ini": UserName -> Uin, read only.
std::string UinFilePath(std::string_view account_dir);

}  // namespace zelmo::config
