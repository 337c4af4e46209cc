#include "protocol/Heartbeat.h"

#include "app/GbkLiteral.h"
#include "app/Robot.h"
#include "app/Startup.h"
#include "messages/IncomingQueue.h"
#include "platform/Encoding.h"
#include "platform/Regex.h"
#include "protocol/Templates.h"
#include "protocol/TextHelpers.h"
#include "protocol/WebRequest.h"

namespace zelmo::protocol {

namespace {

constexpr std::string_view SYNC_CHECK_HEAD =
    "/cgi-bin/mmwebwx-bin/synccheck?skey=%40{skey}&callback=&r=";
constexpr std::string_view SYNC_CHECK_MIDDLE = "&sid={sid}&uin={uin}&deviceid={deviceid}&synckey=";
constexpr std::string_view SYNC_CHECK_TAIL = "&_=";
constexpr int SYNC_CHECK_TIMEOUT_S = 30;

constexpr std::string_view SYNC_PATH =
    "/cgi-bin/mmwebwx-bin/webwxsync?sid={sid}&skey=%40{skey}&r={time}&skey=%40{skey}"
    "&pass_ticket={pass_ticket}";
constexpr int SYNC_TIMEOUT_S = 3;

// The service's layout puts every list behind a line break; the markers carry it.
constexpr std::string_view ADD_COUNT = "\"AddMsgCount\": ";
constexpr std::string_view ADD_LIST = "\n\"AddMsgList\": ";
constexpr std::string_view MOD_COUNT = "\"ModContactCount\": ";
constexpr std::string_view MOD_LIST = "\n\"ModContactList\": ";
constexpr std::string_view DEL_COUNT = "\"DelContactCount\": ";
constexpr std::string_view USER_NAME = "\"UserName\": \"";
// Each match runs from a message's "MsgId" (or the previous one's "NewMsgId") to the end of
// its RecommendInfo's Ticket value: exactly one message's fields.
constexpr std::string_view MESSAGE_PATTERN = R"(MsgId.*?Ticket": ".*?")";

constexpr int FAILED_POLL_PAUSE_MS = 900;
constexpr int CYCLE_PAUSE_MS = 100;
constexpr int LOOP_PAUSE_MS = 500;

// One cycle of the loop; false when HeartbeatStop was set while the poll was out.
bool RunCycle(app::Robot& robot) {
    std::atomic<int>& connection = robot.Connection();
    const SyncCheckAnswer check = SyncCheck(robot);
    // Whoever stopped the loop (a close, a logout) has already spoken to the service.
    if (robot.HeartbeatStop().load()) {
        return false;
    }
    if (!check.ok) {
        connection.store(STATE_LISTEN_FAILED);
        robot.Screen().Delay(FAILED_POLL_PAUSE_MS);
        return true;
    }
    if (check.retcode == "0") {
        connection.store(STATE_ONLINE);
        if (check.selector != "0") {
            std::string answer;
            if (WebSync(robot, answer)) {
                ProcessSyncAnswer(robot, answer);
            } else {
                connection.store(STATE_REQUEST_FAILED);
            }
        }
    } else if (check.retcode == "1100") {
        connection.store(STATE_OFFLINE);
        LogoutOnLoss(robot);
    } else if (check.retcode == "1101") {
        connection.store(STATE_OFFLINE);
    }
    robot.Screen().Delay(CYCLE_PAUSE_MS);
    return true;
}

}  // namespace

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

SyncCheckAnswer SyncCheck(app::Robot& robot) {
    const ProtocolState& state = robot.State();
    platform::Clock& clock = robot.Clock();
    // Two time stamps, taken one after the other.
    std::string path = FillTemplate(SYNC_CHECK_HEAD, state, clock);
    path += TimeStamp(clock);
    path += FillTemplate(SYNC_CHECK_MIDDLE, state, clock);
    path += state.sync_key.text;
    path += SYNC_CHECK_TAIL;
    path += TimeStamp(clock);
    platform::RequestOptions options;
    options.cookie_header = state.session.cookies;
    options.timeout_s = SYNC_CHECK_TIMEOUT_S;
    const std::string answer =
        robot.Web().Request(PushUrl(robot.Profile(), state.session.fun) + path, options);
    SyncCheckAnswer result;
    if (answer.empty()) {
        return result;
    }
    result.ok = true;
    result.retcode = ExtractBetween(answer, "retcode:\"", "\"");
    result.selector = ExtractBetween(answer, "selector:\"", "\"");
    return result;
}

bool WebSync(app::Robot& robot, std::string& answer) {
    answer = platform::Utf8ToGbk(
        PostReadToWebHost(robot.Link(), robot.State(), SYNC_PATH, SYNC_BODY, {}, SYNC_TIMEOUT_S));
    if (ExtractBetween(answer, "Ret\": ", ",") != "0") {
        return false;
    }
    UpdateSyncKey(answer, robot.State().sync_key);
    return true;
}

void ProcessSyncAnswer(messages::IncomingQueue& queue, std::string_view answer) {
    static const platform::Regex message_pattern(MESSAGE_PATTERN);
    if (ExtractBetween(answer, ADD_COUNT, ",") != "0") {
        const std::string list = ExtractBetween(answer, ADD_LIST, MOD_COUNT);
        for (const std::string_view item : message_pattern.FindAll(list)) {
            messages::PostJob(queue, messages::JOB_INCOMING_MESSAGE, std::string(item));
        }
    }
    if (ExtractBetween(answer, MOD_COUNT, ",") != "0") {
        const std::string list = ExtractBetween(answer, MOD_LIST, DEL_COUNT);
        // Only the first changed contact, whatever the count says.
        std::string user_name = ExtractBetween(list, USER_NAME, "\",");
        if (!user_name.empty()) {
            messages::PostJob(queue, messages::JOB_CONTACT_CHANGED, std::move(user_name));
        }
    }
}

void ProcessSyncAnswer(app::Robot& robot, std::string_view answer) {
    ProcessSyncAnswer(robot.Queue(), answer);
}

void LogoutOnLoss(app::Robot& robot) {
    app::SendLogout(robot);
    robot.HeartbeatStop().store(true);
    robot.Connection().store(STATE_OFFLINE);
}

void HeartbeatLoop(app::Robot& robot) {
    const std::atomic<bool>& stop = robot.HeartbeatStop();
    while (!stop.load()) {
        if (!RunCycle(robot)) {
            return;
        }
        const std::string caption = CaptionFor(robot.Connection().load());
        if (!caption.empty()) {
            robot.Screen().SetMainCaption(caption);
        }
        if (stop.load()) {
            return;
        }
        robot.Screen().Delay(LOOP_PAUSE_MS);
    }
}

}  // namespace zelmo::protocol
