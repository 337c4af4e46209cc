#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "app/RunOptions.h"
#include "platform/RunLock.h"

namespace zelmo::app {

// A mistake that ends the run before it could do harm: its exit code and what to tell the
// user (GBK, for a "错误提示" box or a terminal line).
struct StartProblem {
    int exit_code = 0;
    std::string text;
};

// Before any request: the service profile named by --service can be used, and the data
// folder can be created and written. Nothing when all is well.
std::optional<StartProblem> CheckStart(const RunOptions& options);

// After the login, before the main start-up: the account folder with its config and
// plugin folders can be created and written.
std::optional<StartProblem> CheckAccountFolder(std::string_view account_dir);

// One robot per data folder: the lock on its lock file, held while `lock` lives.
struct DataFolderLock {
    std::optional<platform::RunLock> lock;
    std::optional<StartProblem> problem;  // "已在运行 (pid N)" when another robot holds it
};
DataFolderLock LockDataFolder(std::string_view data_root);

inline constexpr std::string_view LOCK_FILE_NAME = "zelmo.lock";

}  // namespace zelmo::app
