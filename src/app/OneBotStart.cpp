#include "app/OneBotStart.h"

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "app/ExitCodes.h"
#include "app/Robot.h"
#include "onebot/OneBotService.h"
#include "platform/GbkLiteral.h"

namespace zelmo::app {

bool StartOneBot(Robot& robot) {
    config::OneBotSettings settings = robot.Settings().Get()->onebot;
    if (!settings.启用) {
        return true;
    }
    const std::vector<config::OneBotSettingsError> errors = config::CheckOneBotSettings(settings);
    for (const config::OneBotSettingsError& error : errors) {
        robot.Screen().ShowMessageBox(platform::Gbk("错误提示"), error.text);
    }
    if (!errors.empty() && robot.Options().unattended) {
        robot.Screen().EndProgram(EXIT_CONFIGURATION);
        return false;
    }
    settings = config::WithoutRefused(settings, errors);
    UiPort& screen = robot.Screen();
    auto service = std::make_unique<onebot::OneBotService>(
        onebot::OneBotParts{robot.Link(), robot.Sessions(), robot.Contacts(), robot.Keys(),
                            robot.Connection(), robot.Sender(), robot.ReplyGuard(),
                            robot.Settings(), robot.AccountDir() + "/onebot/files",
                            robot.Options().version,
                            [&screen](std::string_view line) { screen.LogEvent("onebot", line); },
                            [&robot](std::string_view item, std::chrono::milliseconds wait) {
                                return robot.Media().FileOf(item, wait);
                            }},
        std::move(settings));
    robot.Observers().Add(*service);
    service->Start();
    robot.SetOneBot(std::move(service));
    return true;
}

void TellOneBotOnline(Robot& robot, bool online) {
    if (onebot::OneBotService* service = robot.OneBot()) {
        service->OnOnlineChanged(online);
    }
}

}  // namespace zelmo::app
