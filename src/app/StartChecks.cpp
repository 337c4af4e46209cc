#include "app/StartChecks.h"

#include "app/ExitCodes.h"
#include "config/AccountPaths.h"
#include "platform/Encoding.h"
#include "platform/FileChecks.h"
#include "platform/GbkLiteral.h"
#include "protocol/ServiceProfile.h"

namespace zelmo::app {

namespace {

using platform::Gbk;

// Paths and the system's reasons are UTF-8; the texts shown are GBK.
std::string Local(std::string_view utf8) {
    return platform::Utf8ToGbk(utf8);
}

StartProblem Configuration(std::string text) {
    return {EXIT_CONFIGURATION, std::move(text)};
}

std::optional<StartProblem> CheckProfile(std::string_view path) {
    const protocol::ProfileCheck check = protocol::CheckServiceProfile(path);
    switch (check.problem) {
        case protocol::ProfileProblem::None:
            return std::nullopt;
        case protocol::ProfileProblem::Unreadable:
            return Configuration(Gbk("服务配置文件无法读取：") + Local(path) + Gbk("（") +
                                 Local(check.detail) + Gbk("）"));
        case protocol::ProfileProblem::NoSection:
            return Configuration(Gbk("服务配置文件中没有可用的 [service] 段：") + Local(path));
        case protocol::ProfileProblem::EmptyHost:
            return Configuration(Gbk("服务配置文件 ") + Local(path) + Gbk(" 中 ") +
                                 Local(check.detail) + Gbk(" 没有值"));
        case protocol::ProfileProblem::BadLoginMode:
            return Configuration(Gbk("服务配置文件 ") + Local(path) +
                                 Gbk(" 中 login_mode 只能是 desktop 或 web（现为 ") +
                                 Local(check.detail) + Gbk("）"));
    }
    return std::nullopt;
}

std::optional<StartProblem> CheckFolder(std::string_view what, std::string_view path) {
    const std::string problem = platform::WritableFolderProblem(path);
    if (problem.empty()) {
        return std::nullopt;
    }
    return Configuration(Gbk(what) + Local(path) + Gbk("（") + Local(problem) + Gbk("）"));
}

}  // namespace

std::optional<StartProblem> CheckStart(const RunOptions& options) {
    if (!options.service_file.empty()) {
        if (std::optional<StartProblem> problem = CheckProfile(options.service_file)) {
            return problem;
        }
    }
    return CheckFolder("数据目录无法写入：", options.data_root);
}

std::optional<StartProblem> CheckAccountFolder(std::string_view account_dir) {
    for (const std::string& folder :
         {std::string(account_dir), std::string(account_dir) + "/config",
          config::PluginFolder(account_dir)}) {
        if (std::optional<StartProblem> problem = CheckFolder("帐号目录无法写入：", folder)) {
            return problem;
        }
    }
    return std::nullopt;
}

DataFolderLock LockDataFolder(std::string_view data_root) {
    DataFolderLock result;
    const std::string path = std::string(data_root) + "/" + std::string(LOCK_FILE_NAME);
    platform::RunLock::Result taken = platform::RunLock::Acquire(path);
    if (taken.lock) {
        result.lock = std::move(taken.lock);
        return result;
    }
    if (!taken.problem.empty()) {
        result.problem = Configuration(Gbk("数据目录无法写入：") + Local(path) + Gbk("（") +
                                       Local(taken.problem) + Gbk("）"));
        return result;
    }
    result.problem = StartProblem{EXIT_ALREADY_RUNNING,
                                  Gbk("已在运行 (pid ") + std::to_string(taken.holder_pid) + ")"};
    return result;
}

}  // namespace zelmo::app
