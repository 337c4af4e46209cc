// zelmo-headless: the robot without a window, for servers.

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "BuildVersion.h"
#include "app/ExitCodes.h"
#include "app/LoginDriver.h"
#include "app/Robot.h"
#include "app/RunEnd.h"
#include "app/StartChecks.h"
#include "headless/ArchiveCommand.h"
#include "headless/HeadlessCommandLine.h"
#include "headless/HeadlessRun.h"
#include "headless/HeadlessScreen.h"
#include "headless/ProcessSignals.h"
#include "platform/Clock.h"
#include "platform/Files.h"
#include "platform/FreeMemory.h"
#include "platform/GbkLiteral.h"

namespace {

std::string_view EnvOrEmpty(const char* name) {
    const char* value = std::getenv(name);
    return value == nullptr ? std::string_view() : std::string_view(value);
}

bool IsFolder(const std::string& path) {
    std::error_code error;
    return std::filesystem::is_directory(path, error);
}

void WriteOut(std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), stdout);
    // A pipe to a journal must see every line as it happens.
    std::fflush(stdout);
}

// Archive output: written in large blocks (an export may be big); false once it failed.
bool WriteRows(std::string_view text) {
    return std::fwrite(text.data(), 1, text.size(), stdout) == text.size();
}

void WriteProblem(std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), stderr);
}

// search and export: read the archive and end, without the robot.
int RunArchive(const zelmo::headless::ArchiveCommand& command) {
    using namespace zelmo;
    if (command.show_help) {
        std::fputs(headless::HeadlessUsageText().c_str(), stdout);
        return 0;
    }
    if (!command.error.empty()) {
        std::fprintf(stderr, "zelmo-headless: %s\n\n%s", command.error.c_str(),
                     headless::HeadlessUsageText().c_str());
        return headless::ARCHIVE_USAGE;
    }
    const int code = headless::RunArchiveCommand(command, WriteRows, WriteProblem);
    if (std::fflush(stdout) != 0 && code == headless::ARCHIVE_ROWS) {
        WriteProblem("zelmo-headless: cannot write the output\n");
        return headless::ARCHIVE_NO_ROWS;
    }
    return code;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace zelmo;
    const std::vector<std::string_view> args(argv + 1, argv + argc);
    const headless::ArchiveCommand archive =
        headless::ParseArchiveCommand(args, EnvOrEmpty("XDG_DATA_HOME"), EnvOrEmpty("HOME"));
    if (archive.kind != headless::ArchiveCommand::Kind::None) {
        return RunArchive(archive);
    }
    // Before any thread exists, so that every thread inherits the mask.
    headless::BlockProcessSignals();
    platform::UseOneArena();
    platform::KeepLargeBlocksApart();

    const headless::HeadlessCommandLine command_line =
        headless::ParseHeadlessCommandLine(args, EnvOrEmpty("XDG_DATA_HOME"), EnvOrEmpty("HOME"),
                                           EnvOrEmpty(headless::QR_SCHEME_VARIABLE), IsFolder);
    if (command_line.common.show_help) {
        std::fputs(headless::HeadlessUsageText().c_str(), stdout);
        return 0;
    }
    if (command_line.common.show_version) {
        std::printf("zelmo-headless %s\n", BuildVersion().c_str());
        return 0;
    }
    if (!command_line.common.error.empty()) {
        std::fprintf(stderr, "zelmo-headless: %s\n\n%s", command_line.common.error.c_str(),
                     headless::HeadlessUsageText().c_str());
        return app::EXIT_USAGE;
    }
    app::RunOptions options = command_line.common.options;
    options.unattended = true;
    options.version = BuildVersion();

    platform::SystemClock clock;
    headless::HeadlessScreen screen(
        {options.auto_answer, command_line.qr_file, command_line.qr_scheme}, clock, WriteOut,
        headless::RequestEnd);
    // A mistake found before any request: its line, then the end.
    const auto refuse_start = [&screen](const app::StartProblem& problem) {
        screen.ShowMessageBox(platform::Gbk("错误提示"), problem.text);
        screen.PrintLine("end", "exit code " + std::to_string(problem.exit_code));
        return problem.exit_code;
    };
    if (const std::optional<app::StartProblem> problem = app::CheckStart(options)) {
        return refuse_start(*problem);
    }
    const app::DataFolderLock lock = app::LockDataFolder(options.data_root);
    if (lock.problem) {
        return refuse_start(*lock.problem);
    }
    // The QR image's folder; the account folders appear below the data root later.
    platform::MakeDirectories(std::filesystem::path(command_line.qr_file).parent_path().string());

    int exit_code = 0;
    {
        app::Robot robot(options, clock, screen);
        screen.BindRobot(robot);
        // The login runs on a robot thread; this one waits for signals.
        robot.StartThread([&robot] { app::BeginLogin(robot); });
        for (bool running = true; running;) {
            const headless::ProcessEvent event = headless::WaitForProcessEvent();
            switch (event.kind) {
                case headless::ProcessEvent::Reload:
                    headless::ReloadFiles(robot, screen);
                    break;
                case headless::ProcessEvent::Stop:
                    screen.PrintLine("stop", event.signal == SIGINT ? "SIGINT" : "SIGTERM");
                    headless::StopRobot(robot, screen);
                    running = false;
                    break;
                case headless::ProcessEvent::End:
                    exit_code = event.code;
                    running = false;
                    break;
            }
        }
        robot.Shutdown();
        // A run that ended by itself (a re-login given up, a refused login) keeps what it
        // learned, as a stop does: the next run starts from it.
        app::SaveAtEnd(robot);
    }
    screen.PrintLine("end", "exit code " + std::to_string(exit_code));
    return exit_code;
}
