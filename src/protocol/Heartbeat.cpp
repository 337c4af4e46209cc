#include "protocol/Heartbeat.h"

#include "app/GbkLiteral.h"
#include "app/Robot.h"

namespace zelmo::protocol {

std::string CaptionFor(int state) {
    // "5.3" belongs to the caption text, not to the program's version.
    switch (state) {
        case STATE_ONLINE:
            return app::Gbk("Zelmo 5.3  在线");
        case STATE_OFFLINE:
            return app::Gbk("Zelmo 5.3  离线");
        case STATE_LISTEN_FAILED:
            return app::Gbk("Zelmo 5.3  监听失败");
        case STATE_REQUEST_FAILED:
            return app::Gbk("Zelmo 5.3  请求失败");
        default:
            return {};
    }
}
SyncCheckAnswer SyncCheck(app::Robot&) {
    return {};
}
bool WebSync(app::Robot&, std::string&) {
    return false;
}
void ProcessSyncAnswer(app::Robot&, std::string_view) {}
void LogoutOnLoss(app::Robot&) {}
void HeartbeatLoop(app::Robot& robot) {
    while (!robot.HeartbeatStop().load()) {
        robot.Screen().Delay(500);
    }
}

}  // namespace zelmo::protocol
