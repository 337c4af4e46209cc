#include <QApplication>
#include <QFile>
#include <QMessageBox>
#include <QSocketNotifier>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "BuildVersion.h"
#include "app/CommandLine.h"
#include "app/ExitCodes.h"
#include "app/LoginDriver.h"
#include "app/Robot.h"
#include "app/RunEnd.h"
#include "app/StartChecks.h"
#include "app/Startup.h"
#include "app/ui/DisplayCheck.h"
#include "app/ui/QtTranslations.h"
#include "app/ui/QtUiPort.h"
#include "app/ui/WindowPlacement.h"
#include "platform/Clock.h"
#include "platform/Encoding.h"
#include "platform/EventLog.h"
#include "platform/FreeMemory.h"
#include "platform/StopSignals.h"

namespace {

std::string_view EnvOrEmpty(const char* name) {
    const char* value = std::getenv(name);
    return value == nullptr ? std::string_view() : std::string_view(value);
}

// The platform Qt will be asked for: "-platform NAME" wins over QT_QPA_PLATFORM.
std::string_view QtPlatform(const std::vector<std::string_view>& args) {
    for (std::size_t i = 0; i + 1 < args.size(); ++i) {
        if (args[i] == "-platform") {
            return args[i + 1];
        }
    }
    return EnvOrEmpty("QT_QPA_PLATFORM");
}

// A mistake found before any request: one line on standard error, and the box unless the
// boxes are answered by themselves (which echo their text there instead).
int RefuseStart(const zelmo::app::StartProblem& problem, zelmo::app::AutoAnswer auto_answer) {
    const std::string text = zelmo::platform::GbkToUtf8(problem.text);
    std::fprintf(stderr, "zelmo: %s\n", text.c_str());
    if (auto_answer == zelmo::app::AutoAnswer::Ask) {
        QMessageBox::critical(nullptr, QString::fromUtf8("错误提示"), QString::fromStdString(text));
    }
    return problem.exit_code;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace zelmo;
    platform::UseOneArena();
    platform::KeepLargeBlocksApart();
    std::vector<std::string_view> args(argv + 1, argv + argc);
    const app::CommandLine command_line =
        app::ParseCommandLine(args, EnvOrEmpty("XDG_DATA_HOME"), EnvOrEmpty("HOME"));
    if (command_line.show_help) {
        std::fputs(app::UsageText().c_str(), stdout);
        return app::EXIT_STOPPED;
    }
    if (command_line.show_version) {
        std::printf("zelmo %s\n", BuildVersion().c_str());
        return app::EXIT_STOPPED;
    }
    if (!command_line.error.empty()) {
        std::fprintf(stderr, "zelmo: %s\n\n%s", command_line.error.c_str(),
                     app::UsageText().c_str());
        return app::EXIT_USAGE;
    }
    // Qt would abort with a hint about reinstalling; say what is missing instead.
    const std::string no_display = app::NoDisplayReason(QtPlatform(args));
    if (!no_display.empty()) {
        std::fprintf(stderr,
                     "zelmo: no display (%s); zelmo-headless runs the robot without a window\n",
                     no_display.c_str());
        return app::EXIT_USAGE;
    }
    // Before Qt starts its threads, so that every thread leaves the two signals to the
    // descriptor watched below.
    const int stop_signals = platform::OpenStopSignals();

    QApplication app(argc, argv);
    // Windows come and go during the login; only an explicit end quits.
    QApplication::setQuitOnLastWindowClosed(false);
    app::InstallQtChineseTranslations(app);

    app::RunOptions options = command_line.options;
    options.version = BuildVersion();
    if (const std::optional<app::StartProblem> problem = app::CheckStart(options)) {
        return RefuseStart(*problem, options.auto_answer);
    }
    const app::DataFolderLock lock = app::LockDataFolder(options.data_root);
    if (lock.problem) {
        return RefuseStart(*lock.problem, options.auto_answer);
    }

    platform::SystemClock clock;
    // Something to read or attach when a run fails; headless writes its events to stdout.
    platform::EventLog events(app::EventLogFile(EnvOrEmpty("XDG_STATE_HOME"), EnvOrEmpty("HOME")),
                              clock);
    events.Write("start", "zelmo " + BuildVersion());
    app::WindowPlaces places(QFile::decodeName(QByteArray::fromStdString(
        app::WindowPlacesFile(EnvOrEmpty("XDG_CONFIG_HOME"), EnvOrEmpty("HOME")))));
    app::QtUiPort screen(options.auto_answer, &events, &places);
    int exit_code = app::EXIT_STOPPED;
    {
        app::Robot robot(options, clock, screen);
        screen.BindRobot(robot);
        std::optional<QSocketNotifier> signal_watch;
        if (stop_signals >= 0) {
            signal_watch.emplace(stop_signals, QSocketNotifier::Read);
            QObject::connect(&*signal_watch, &QSocketNotifier::activated, &screen,
                             [&robot, &signal_watch, stop_signals] {
                                 if (platform::TakeStopSignal(stop_signals) != 0) {
                                     signal_watch->setEnabled(false);
                                     app::StopOnSignal(robot);
                                 }
                             });
        }
        QMetaObject::invokeMethod(
            &screen,
            [&screen, &robot] {
                screen.OpenLoginWindow([&robot] { return app::BeginLogin(robot); });
            },
            Qt::QueuedConnection);
        exit_code = QApplication::exec();
        robot.Shutdown();
        // Every end but the close question (which asked) keeps what was learned.
        app::SaveAtEnd(robot);
    }
    return exit_code;
}
