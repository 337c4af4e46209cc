#include "mass/MassSender.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <utility>

#include "config/AccountPaths.h"
#include "config/Settings.h"
#include "messages/MediaReplies.h"
#include "messages/MessageLog.h"
#include "platform/GbkLiteral.h"
#include "platform/GbkText.h"
#include "protocol/TextHelpers.h"

namespace zelmo::mass {

namespace {

constexpr std::size_t MAX_SHOWN_CODE = 11;
constexpr int MS_PER_SECOND = 1000;

void Refuse(MassPort& screen, std::string_view text_utf8) {
    screen.ShowMessageBox(platform::Gbk("错误提示"), platform::Gbk(text_utf8));
}

void Pause(const MassParts& parts, int ms) {
    if (ms > 0) {
        parts.pause(ms);
    }
}

void Log(const MassParts& parts, std::string_view text) {
    MassLog(parts.state, parts.settings, parts.screen, text);
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

void KeepPacing(config::SettingsStore& store, const MassPacing& pacing) {
    config::MassSettings settings = *store.GetMass();
    settings.消息延时 = pacing.消息延时;
    settings.重复几遍 = pacing.重复几遍;
    settings.重复延时 = pacing.重复延时;
    store.SetMass(std::move(settings));
}

// The end line first, then idle: a start accepted at once logs after it.
void FinishRun(const MassParts& parts) {
    Log(parts, platform::Gbk("\r\n关闭群发程序，结束群发！\r\n\r\n"));
    parts.state.EndRun();
    parts.screen.SetMassCaption(MassCaption(MassPhase::Idle));
    parts.screen.SetMassRunning(false);
}

}  // namespace

std::string MassPauseLine(int wait_ms) {
    const int seconds = (wait_ms + MS_PER_SECOND - 1) / MS_PER_SECOND;
    return platform::Gbk("\r\n发送过于频繁，群发暂停") + std::to_string(seconds) +
           platform::Gbk("秒");
}

std::string MassCaption(MassPhase phase) {
    return platform::Gbk(phase == MassPhase::Running ? "停止群发" : "开始群发");
}

int MassNumber(std::string_view text) {
    return static_cast<int>(std::clamp<long long>(protocol::IntegerValue(text), INT_MIN, INT_MAX));
}

std::string MassStatusWord(std::string_view ret) {
    if (ret == "0") {
        return platform::Gbk("成功");
    }
    if (ret == "-1") {
        return platform::Gbk("失败");
    }
    if (ret == "1025" || ret == "1205") {
        return platform::Gbk("频繁");
    }
    if (ret.empty()) {
        return platform::Gbk("无应答");
    }
    if (ShortNumber(ret)) {
        return platform::Gbk("未知") + "(" + std::string(ret) + ")";
    }
    return platform::Gbk("未知");
}

void MassLog(MassState& state, const config::SettingsStore& settings, MassPort& screen,
             std::string_view text) {
    std::lock_guard lock(state.MassLogLock());
    if (settings.GetMass()->监控日志) {
        screen.AppendMassLog(text);
    }
}

void StartStopMass(const MassParts& parts, const MassRequest& request) {
    MassState& state = parts.state;
    MassPort& screen = parts.screen;
    const MassPhase phase = state.Phase();
    if (phase == MassPhase::Running) {
        // The stop request: the worker notices it before its next send.
        if (state.RequestStop()) {
            screen.SetMassCaption(MassCaption(MassPhase::Stopping));
        }
        return;
    }
    if (phase == MassPhase::Stopping) {
        Refuse(screen, "请操作不要太快！");
        return;
    }
    KeepPacing(parts.settings, request.pacing);
    SaveMassTexts(state, parts.account_dir);
    if (request.members.empty()) {
        Refuse(screen, "请勾选要群发的成员！");
        return;
    }
    Log(parts, platform::Gbk("启动群发程序，开始群发！"));
    Log(parts, platform::Gbk("\r\n已选中") + std::to_string(request.members.size()) +
                   platform::Gbk("个微信成员"));
    std::vector<AdText> texts = state.TickedTexts();
    if (texts.empty()) {
        Refuse(screen, "请勾选要群发的广告词！");
        return;
    }
    Log(parts,
        platform::Gbk("\r\n已选中") + std::to_string(texts.size()) + platform::Gbk("条广告词"));
    if (!state.BeginRun(request.members, std::move(texts))) {
        Refuse(screen, "请操作不要太快！");
        return;
    }
    screen.SetMassRunning(true);
    Log(parts, platform::Gbk("\r\n已设置群发") + request.pacing.重复几遍 + platform::Gbk("遍"));
    screen.SetMassCaption(MassCaption(MassPhase::Running));
    if (!parts.start_thread([parts] { MassWorker(parts); })) {
        FinishRun(parts);
    }
}

void MassWorker(const MassParts& parts) {
    MassState& state = parts.state;
    const std::shared_ptr<const config::MassSettings> pacing = parts.settings.GetMass();
    const int passes = MassNumber(pacing->重复几遍);
    const int message_delay = MassNumber(pacing->消息延时);
    const int pass_delay = MassNumber(pacing->重复延时);
    const std::vector<MassMember> members = state.SelectedMembers();
    const std::vector<AdText> texts = state.SelectedTexts();
    const std::string sent_to = platform::Gbk(" 发送于 ");
    auto stopped = [&] { return state.StopRequested() || parts.stop.IsSet(); };
    // The sender may tell of a back-off after this run's thread has moved on: the notice
    // holds only parts that live as long as the robot.
    const messages::BackoffNotice paused = [&state, &settings = parts.settings,
                                            &screen = parts.screen](int wait_ms) {
        MassLog(state, settings, screen, MassPauseLine(wait_ms));
    };
    for (int pass = 1; pass <= passes; ++pass) {
        for (const MassMember& member : members) {
            for (const AdText& text : texts) {
                if (stopped()) {
                    FinishRun(parts);
                    return;
                }
                messages::PostSentRow(parts.queue, *parts.settings.Get(),
                                      parts.sessions.Snapshot()->own.UserName, member.UserName,
                                      text.text);
                // Queued behind the replies already waiting, then the sender's turn is
                // theirs again: a run never shuts replies out. A text that names a file in
                // the replies folder sends that file.
                const std::string ret =
                    messages::SendTextOrFile(parts.sender, parts.account_dir, member.UserName,
                                             text.text, {messages::SendOrigin::Mass, {}}, paused)
                        .ret;
                Log(parts, "\r\n" + MassStatusWord(ret) + sent_to + member.NickName);
                Pause(parts, message_delay);
            }
        }
        if (stopped()) {
            break;
        }
        Pause(parts, pass_delay);
    }
    FinishRun(parts);
}

bool AddMassText(MassState& state, MassPort& screen, std::string_view typed, int selected_row) {
    std::string text = platform::ReplaceAllGbk(typed, "\r\n", "[enter]");
    // A lone CR or LF is a line break too; left in, it would split the block on load.
    text = platform::ReplaceAllGbk(text, "\n", "[enter]");
    text = platform::ReplaceAllGbk(text, "\r", "[enter]");
    if (text.empty()) {
        Refuse(screen, "请输入内容！");
        return false;
    }
    AdText row{platform::Gbk("文本"), std::move(text)};
    if (selected_row >= 0 && state.ReplaceText(static_cast<std::size_t>(selected_row), row)) {
        return true;
    }
    state.InsertText(0, std::move(row));
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

bool AskDeleteMassText(MassState& state, MassPort& screen, int selected_row) {
    if (selected_row < 0 || static_cast<std::size_t>(selected_row) >= state.TextCount()) {
        return false;
    }
    if (!screen.AskYesNo(platform::Gbk("提示"), platform::Gbk("是否删除该广告词？"))) {
        return false;
    }
    return state.DeleteText(static_cast<std::size_t>(selected_row));
}

bool KeepMassWindow(MassState& state, config::SettingsStore& settings, std::string_view account_dir,
                    const MassPacing& pacing) {
    KeepPacing(settings, pacing);
    const bool texts_saved = SaveMassTexts(state, account_dir);
    if (account_dir.empty()) {
        return false;
    }
    const bool settings_saved = config::SaveMassSettings(
        config::ConfigPath(account_dir, config::SETTINGS_FILE), *settings.GetMass());
    return texts_saved && settings_saved;
}

}  // namespace zelmo::mass
