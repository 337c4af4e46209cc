#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "config/SettingsStore.h"
#include "jobs/JobQueue.h"
#include "jobs/ThreadStarter.h"
#include "mass/MassPort.h"
#include "mass/MassState.h"
#include "messages/Sending.h"
#include "platform/ManualResetEvent.h"
#include "platform/Pause.h"
#include "protocol/SessionStore.h"

namespace zelmo::mass {

// The three pacing edit boxes as typed (GBK).
struct MassPacing {
    std::string 消息延时;
    std::string 重复几遍;
    std::string 重复延时;
};

// What the window hands over on a click of 按钮_开始群发.
struct MassRequest {
    MassPacing pacing;
    std::vector<MassMember> members;  // the ticked candidates, top to bottom
};

// What a mass run works with: its model and pacing settings, the account folder for the
// files, the window, the sender every text leaves through, the run's threads, waits and
// stop, and the queue with the own account that the message log's rows of each send
// go through.
struct MassParts {
    MassState& state;
    config::SettingsStore& settings;
    const std::string& account_dir;
    MassPort& screen;
    messages::Sender& sender;
    jobs::ThreadStarter start_thread;
    platform::Pause pause;
    const platform::ManualResetEvent& stop;
    jobs::JobQueue& queue;
    const protocol::SessionStore& sessions;  // the own account's name in the sent rows
};

// The click handler of 按钮_开始群发. Idle: refuses empty selections with a message box,
// otherwise logs the start lines, starts MassWorker on a robot thread and shows the run
// as running. Running: asks the worker to stop (the caption goes back to "开始群发").
// Stopping: refuses with "请操作不要太快！". The window's thread.
void StartStopMass(const MassParts& parts, const MassRequest& request);

// One run over the selections fixed at start: pass by pass, member by member, text by
// text, SendText then the message pause; the pass pause after each pass. While the
// sender backs off from a refusal, the run waits with it and logs the pause. A stop
// request (or a stopping robot) is noticed before the next send. Ends with the end line
// and the run state back at idle. Its own thread.
void MassWorker(const MassParts& parts);

// Appends a log text under MassLogLock when 监控日志 is on. Any thread.
void MassLog(MassState& state, const config::SettingsStore& settings, MassPort& screen,
             std::string_view text);

// The log's word for a send's "Ret": "成功" 0, "失败" -1, "频繁" 1025 and 1205, "无应答" for
// no answer (empty), "未知" with a short numeric code in brackets for anything else. GBK.
std::string MassStatusWord(std::string_view ret);

// The log line of a pause while the service refuses sends as too frequent: the wait in
// whole seconds, rounded up. GBK.
std::string MassPauseLine(int wait_ms);

// The start button's caption in a phase: "停止群发" while running, else "开始群发". GBK.
std::string MassCaption(MassPhase phase);

// A pacing text as an integer: optional blanks and sign, then leading digits, clamped to
// the int range; 0 for a text that does not start with a number.
int MassNumber(std::string_view text);

// 按钮_文本添加: the typed text (CR LF line breaks) with "[enter]" for each line break
// replaces the selected row (selected_row < 0: none), or is inserted at the top. An
// empty text is refused with "请输入内容！". False when refused.
bool AddMassText(MassState& state, MassPort& screen, std::string_view typed, int selected_row);

// The row's text for 编辑框_文本, "[enter]" back to CR LF; empty when there is no row.
std::string MassTextForEditing(const MassState& state, int row);

// Asks "是否删除该广告词？" and deletes the row on Yes. False without a row or on No.
bool AskDeleteMassText(MassState& state, MassPort& screen, int selected_row);

// The window is closed: the pacing boxes go into MassSettings, then the text file and the
// settings file are written. False when a file could not be written.
bool KeepMassWindow(MassState& state, config::SettingsStore& settings, std::string_view account_dir,
                    const MassPacing& pacing);

}  // namespace zelmo::mass
