#include "app/ModelReplies.h"

#include <memory>
#include <string>

#include "ai/ModelClient.h"
#include "app/Robot.h"
#include "config/AiSettings.h"
#include "messages/Intake.h"
#include "platform/GbkLiteral.h"
#include "platform/GbkText.h"
#include "protocol/ChatMessage.h"

namespace zelmo::app {

namespace {

// The model's answer in the log: "[AI回复 <model>] " in front of the text.
std::string ModelMark(std::string_view model) {
    return platform::Gbk("[AI回复 ") + std::string(model) + "] ";
}

void ShowBoxAside(Robot& robot, std::string box) {
    robot.StartThread([&robot, box = std::move(box)] {
        robot.Screen().ShowMessageBox(platform::Gbk("错误提示"), box);
    });
}

void SendAnswer(Robot& robot, const messages::IntakeParts& parts, const config::Settings& settings,
                const ai::ModelResult& result) {
    if (!messages::AdmitReply(parts, settings, result.chat, result.text, ModelMark(result.model))) {
        return;
    }
    // One the sender will drop as too old never reaches the partner, so it is not said.
    if (!messages::ReplyTooOld(settings, result.asked_ms, robot.Clock().TickMs())) {
        robot.ModelContext().Answered(result.chat, result.text);
    }
    robot.Sender().Post(result.chat, result.text, messages::SendKind::Reply,
                        {messages::SendOrigin::Model, result.model, result.asked_ms});
}

}  // namespace

void SettleModelResult(Robot& robot, const ai::ModelResult& result) {
    if (!result.box.empty()) {
        ShowBoxAside(robot, result.box);
    }
    if (result.outcome == ai::ModelOutcome::Superseded ||
        result.outcome == ai::ModelOutcome::Stopped || robot.Stopping()) {
        return;
    }
    const std::shared_ptr<const config::Settings> settings = robot.Settings().Get();
    // Switched off while the model thought: nothing more goes out.
    if (!settings->启用回复) {
        return;
    }
    const messages::IntakeParts parts = robot.Intake();
    if (result.outcome == ai::ModelOutcome::Answered) {
        SendAnswer(robot, parts, *settings, result);
        return;
    }
    robot.Log().AddRow(platform::Gbk("[AI]未回答"), robot.Contacts().FindNickName(result.chat),
                       robot.State()->own.NickName, result.reason);
    const int chat_type =
        platform::ContainsGbk(result.chat, "@@") ? protocol::CHAT_GROUP : protocol::CHAT_FRIEND;
    messages::PostReply(parts, *settings, result.chat,
                        robot.Knowledge().DefaultReply(chat_type, *settings, robot.Clock()), true);
}

void TellModelSettings(Robot& robot) {
    const config::AiSettings ai = robot.Settings().Get()->ai;
    if (!ai.启用) {
        return;
    }
    robot.Screen().LogEvent(
        "ai", platform::Gbk("AI回复已启用：接口地址 ") + ai.接口地址 + platform::Gbk("，模型 ") +
                  ai.模型 + platform::Gbk("，密钥 ") +
                  (ai.密钥.empty() ? platform::Gbk("（未填写）") : ai::MaskKey(ai.密钥)));
    if (const std::string problem = config::CheckAiSettings(ai); !problem.empty()) {
        robot.Screen().ShowMessageBox(platform::Gbk("错误提示"), problem);
    }
}

}  // namespace zelmo::app
