#include "mass/MassSender.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <utility>

#include "app/AccountPaths.h"
#include "app/GbkLiteral.h"
#include "app/Robot.h"
#include "config/Settings.h"
#include "messages/Sending.h"
#include "platform/GbkText.h"
#include "protocol/TextHelpers.h"

namespace zelmo::mass {

namespace {

constexpr std::size_t MAX_SHOWN_CODE = 11;

void Refuse(app::Robot& robot, std::string_view text_utf8) {
    robot.Screen().ShowMessageBox(app::Gbk("错误提示"), app::Gbk(text_utf8));
}

void Pause(app::Robot& robot, int ms) {
    if (ms > 0) {
        robot.Screen().Delay(ms);
    }
}

bool ShortNumber(std::string_view text) {
    if (text.empty() || text.size() > MAX_SHOWN_CODE) {
        return false;
    }
    for (std::size_t i = 0; i < text.size(); ++i) {
        const bool sign = i == 0 && text[i] == '-' && text.size() > 1;
        if (!sign && std::isdigit(static_cast<unsigned char>(text[i])) == 0) {
            return false;
        }
    }
    return true;
}

void KeepPacing(app::Robot& robot, const MassPacing& pacing) {
    config::MassSettings settings = *robot.Settings().GetMass();
    settings.消息延时 = pacing.消息延时;
    settings.重复几遍 = pacing.重复几遍;
    settings.重复延时 = pacing.重复延时;
    robot.Settings().SetMass(std::move(settings));
}

// The end line first, then idle: a start accepted at once logs after it.
void FinishRun(app::Robot& robot) {
    MassLog(robot, app::Gbk("\r\n关闭群发程序，结束群发！\r\n\r\n"));
    robot.Mass().EndRun();
    robot.Screen().SetMassCaption(MassCaption(MassPhase::Idle));
    robot.Screen().SetMassRunning(false);
}

}  // namespace

std::string MassCaption(MassPhase phase) {
    return app::Gbk(phase == MassPhase::Running ? "停止群发" : "开始群发");
}

int MassNumber(std::string_view text) {
    return static_cast<int>(std::clamp<long long>(protocol::IntegerValue(text), INT_MIN, INT_MAX));
}

std::string MassStatusWord(std::string_view ret) {
    if (ret == "0") {
        return app::Gbk("成功");
    }
    if (ret == "-1") {
        return app::Gbk("失败");
    }
    if (ret == "1025") {
        return app::Gbk("频繁");
    }
    if (ret.empty()) {
        return app::Gbk("无应答");
    }
    if (ShortNumber(ret)) {
        return app::Gbk("未知") + "(" + std::string(ret) + ")";
    }
    return app::Gbk("未知");
}

void MassLog(app::Robot& robot, std::string_view text) {
    std::lock_guard lock(robot.Mass().MassLogLock());
    if (robot.Settings().GetMass()->监控日志) {
        robot.Screen().AppendMassLog(text);
    }
}

void StartStopMass(app::Robot& robot, const MassRequest& request) {
    MassState& state = robot.Mass();
    app::UiPort& screen = robot.Screen();
    const MassPhase phase = state.Phase();
    if (phase == MassPhase::Running) {
        // The stop request: the worker notices it before its next send.
        if (state.RequestStop()) {
            screen.SetMassCaption(MassCaption(MassPhase::Stopping));
        }
        return;
    }
    if (phase == MassPhase::Stopping) {
        Refuse(robot, "请操作不要太快！");
        return;
    }
    KeepPacing(robot, request.pacing);
    SaveMassTexts(robot);
    if (request.members.empty()) {
        Refuse(robot, "请勾选要群发的成员！");
        return;
    }
    MassLog(robot, app::Gbk("启动群发程序，开始群发！"));
    MassLog(robot, app::Gbk("\r\n已选中") + std::to_string(request.members.size()) +
                       app::Gbk("个微信成员"));
    std::vector<AdText> texts = state.TickedTexts();
    if (texts.empty()) {
        Refuse(robot, "请勾选要群发的广告词！");
        return;
    }
    MassLog(robot, app::Gbk("\r\n已选中") + std::to_string(texts.size()) + app::Gbk("条广告词"));
    if (!state.BeginRun(request.members, std::move(texts))) {
        Refuse(robot, "请操作不要太快！");
        return;
    }
    screen.SetMassRunning(true);
    MassLog(robot, app::Gbk("\r\n已设置群发") + request.pacing.重复几遍 + app::Gbk("遍"));
    screen.SetMassCaption(MassCaption(MassPhase::Running));
    if (!robot.StartThread([&robot] { MassWorker(robot); })) {
        FinishRun(robot);
    }
}

void MassWorker(app::Robot& robot) {
    MassState& state = robot.Mass();
    const std::shared_ptr<const config::MassSettings> pacing = robot.Settings().GetMass();
    const int passes = MassNumber(pacing->重复几遍);
    const int message_delay = MassNumber(pacing->消息延时);
    const int pass_delay = MassNumber(pacing->重复延时);
    const std::vector<MassMember> members = state.SelectedMembers();
    const std::vector<AdText> texts = state.SelectedTexts();
    const std::string sent_to = app::Gbk(" 发送于 ");
    auto stopped = [&] { return state.StopRequested() || robot.Stopping(); };
    for (int pass = 1; pass <= passes; ++pass) {
        for (const MassMember& member : members) {
            for (const AdText& text : texts) {
                if (stopped()) {
                    FinishRun(robot);
                    return;
                }
                // SendText holds SendLock for this one send only: replies waiting for it
                // go next.
                const std::string ret = messages::SendText(robot, member.UserName, text.text);
                MassLog(robot, "\r\n" + MassStatusWord(ret) + sent_to + member.NickName);
                Pause(robot, message_delay);
            }
        }
        if (stopped()) {
            break;
        }
        Pause(robot, pass_delay);
    }
    FinishRun(robot);
}

bool AddMassText(app::Robot& robot, std::string_view typed, int selected_row) {
    std::string text = platform::ReplaceAllGbk(typed, "\r\n", "[enter]");
    // A lone CR or LF is a line break too; left in, it would split the block on load.
    text = platform::ReplaceAllGbk(text, "\n", "[enter]");
    text = platform::ReplaceAllGbk(text, "\r", "[enter]");
    if (text.empty()) {
        Refuse(robot, "请输入内容！");
        return false;
    }
    AdText row{app::Gbk("文本"), std::move(text)};
    if (selected_row >= 0 &&
        robot.Mass().ReplaceText(static_cast<std::size_t>(selected_row), row)) {
        return true;
    }
    robot.Mass().InsertText(0, std::move(row));
    return true;
}

std::string MassTextForEditing(const MassState& state, int row) {
    if (row < 0) {
        return {};
    }
    const std::optional<AdText> text = state.TextAt(static_cast<std::size_t>(row));
    if (!text) {
        return {};
    }
    return platform::ReplaceAllGbk(text->text, "[enter]", "\r\n", true);
}

bool AskDeleteMassText(app::Robot& robot, int selected_row) {
    if (selected_row < 0 || static_cast<std::size_t>(selected_row) >= robot.Mass().TextCount()) {
        return false;
    }
    if (!robot.Screen().AskYesNo(app::Gbk("提示"), app::Gbk("是否删除该广告词？"))) {
        return false;
    }
    return robot.Mass().DeleteText(static_cast<std::size_t>(selected_row));
}

bool KeepMassWindow(app::Robot& robot, const MassPacing& pacing) {
    KeepPacing(robot, pacing);
    const bool texts_saved = SaveMassTexts(robot);
    if (robot.AccountDir().empty()) {
        return false;
    }
    const bool settings_saved = config::SaveMassSettings(
        app::ConfigPath(robot.AccountDir(), app::SETTINGS_FILE), *robot.Settings().GetMass());
    return texts_saved && settings_saved;
}

}  // namespace zelmo::mass
