#include <QApplication>
#include <QFile>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "BuildVersion.h"
#include "app/CommandLine.h"
#include "app/LoginDriver.h"
#include "app/Robot.h"
#include "app/ui/QtTranslations.h"
#include "app/ui/QtUiPort.h"
#include "app/ui/WindowPlacement.h"
#include "platform/Clock.h"
#include "platform/EventLog.h"
#include "platform/FreeMemory.h"

namespace {

std::string_view EnvOrEmpty(const char* name) {
    const char* value = std::getenv(name);
    return value == nullptr ? std::string_view() : std::string_view(value);
}

}  // namespace

int main(int argc, char** argv) {
    zelmo::platform::KeepLargeBlocksApart();
    std::vector<std::string_view> args(argv + 1, argv + argc);
    const zelmo::app::CommandLine command_line =
        zelmo::app::ParseCommandLine(args, EnvOrEmpty("XDG_DATA_HOME"), EnvOrEmpty("HOME"));
    if (command_line.show_help) {
        std::fputs(zelmo::app::UsageText().c_str(), stdout);
        return 0;
    }
    if (command_line.show_version) {
        std::printf("zelmo %s\n", zelmo::BuildVersion().c_str());
        return 0;
    }
    if (!command_line.error.empty()) {
        std::fprintf(stderr, "zelmo: %s\n\n%s", command_line.error.c_str(),
                     zelmo::app::UsageText().c_str());
        return 2;
    }

    QApplication app(argc, argv);
    // Windows come and go during the login; only an explicit end quits.
    QApplication::setQuitOnLastWindowClosed(false);
    zelmo::app::InstallQtChineseTranslations(app);

    zelmo::platform::SystemClock clock;
    // Something to read or attach when a run fails; headless writes its events to stdout.
    zelmo::platform::EventLog events(
        zelmo::app::EventLogFile(EnvOrEmpty("XDG_STATE_HOME"), EnvOrEmpty("HOME")), clock);
    events.Write("start", "zelmo " + zelmo::BuildVersion());
    zelmo::app::WindowPlaces places(QFile::decodeName(QByteArray::fromStdString(
        zelmo::app::WindowPlacesFile(EnvOrEmpty("XDG_CONFIG_HOME"), EnvOrEmpty("HOME")))));
    zelmo::app::QtUiPort screen(command_line.options.auto_answer, &events, &places);
    int exit_code = 0;
    {
        zelmo::app::Robot robot(command_line.options, clock, screen);
        screen.BindRobot(robot);
        QMetaObject::invokeMethod(
            &screen,
            [&screen, &robot] {
                screen.OpenLoginWindow([&robot] { return zelmo::app::StartLogin(robot); });
            },
            Qt::QueuedConnection);
        exit_code = QApplication::exec();
        robot.Shutdown();
    }
    return exit_code;
}
