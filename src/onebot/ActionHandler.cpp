#include "onebot/ActionHandler.h"

#include <memory>
#include <mutex>

#include "onebot/Events.h"

namespace zelmo::onebot {

using platform::Json;

namespace {

// Requests of every action but upload_file stay below this; upload_file may carry data up
// to the transports' own limit.
constexpr std::size_t MAX_REQUEST_BYTES = 1u << 20;
constexpr std::string_view UPLOAD_FILE = "upload_file";

}  // namespace

const std::vector<std::string>& SupportedActions() {
    static const std::vector<std::string> actions = {
        "get_supported_actions", "get_status",     "get_version",
        "get_self_info",         "get_user_info",  "get_friend_list",
        "get_group_info",        "get_group_list", "get_group_member_info",
        "get_group_member_list", "send_message",   "delete_message",
        "upload_file",           "get_file",       "wx.set_remark",
        "wx.get_contact_key"};
    return actions;
}

std::string SelfId(const ActionContext& context) {
    return context.ids.IdOf(context.parts.sessions.Snapshot()->own.UserName);
}

void ActionHandler::Handle(std::string_view text, Transport transport,
                           std::function<void(std::string response)> done) {
    std::optional<Json> echo;
    std::optional<ActionRequest> request;
    try {
        request = ReadActionRequest(text, echo);
    } catch (...) {
        request.reset();
    }
    if (!request) {
        done(ResponseText(Failed(BAD_REQUEST,
                                 "not a JSON object with a string action (and "
                                 "object params)"),
                          echo));
        return;
    }
    if (text.size() > MAX_REQUEST_BYTES && request->action != UPLOAD_FILE) {
        done(ResponseText(Failed(BAD_REQUEST,
                                 "a request other than upload_file is limited to "
                                 "1 MB"),
                          echo));
        return;
    }
    Run(*request, transport, [done = std::move(done), echo](const ActionResult& result) {
        done(ResponseText(result, echo));
    });
}

void ActionHandler::Run(const ActionRequest& request, Transport transport, ActionDone done) {
    // An action that throws answers 20002, and only once.
    auto once = std::make_shared<std::once_flag>();
    ActionDone answer = [once, done = std::move(done)](ActionResult result) {
        std::call_once(*once, [&] { done(std::move(result)); });
    };
    try {
        const ActionContext& context = m_context;
        if (request.self) {
            const Json* platform_name = request.self->Find("platform");
            const Json* user_id = request.self->Find("user_id");
            if (platform_name == nullptr || platform_name->AsString() != PLATFORM_NAME ||
                user_id == nullptr || user_id->AsString() != SelfId(context)) {
                answer(Failed(UNKNOWN_SELF, "this connection serves one WeChat account"));
                return;
            }
        }
        const std::string& action = request.action;
        const Json& params = request.params;
        if (action == "get_latest_events") {
            if (transport != Transport::Http || context.events == nullptr) {
                answer(Failed(UNSUPPORTED_ACTION,
                              "get_latest_events serves HTTP with its events on (HTTP事件)"));
                return;
            }
            GetLatestEvents(context, params, answer);
            return;
        }
        if (action == "send_message") {
            SendMessage(context, params, answer);
            return;
        }
        if (action == "get_supported_actions") {
            Json names = Json::MakeArray();
            for (const std::string& name : SupportedActions()) {
                names.Push(name);
            }
            answer(Ok(std::move(names)));
        } else if (action == "get_status") {
            answer(GetStatus(context));
        } else if (action == "get_version") {
            answer(Ok(VersionData(context.parts.version)));
        } else if (action == "get_self_info") {
            answer(GetSelfInfo(context));
        } else if (action == "get_user_info") {
            answer(GetUserInfo(context, params));
        } else if (action == "get_friend_list") {
            answer(GetFriendList(context));
        } else if (action == "get_group_info") {
            answer(GetGroupInfo(context, params));
        } else if (action == "get_group_list") {
            answer(GetGroupList(context));
        } else if (action == "get_group_member_info") {
            answer(GetGroupMemberInfo(context, params));
        } else if (action == "get_group_member_list") {
            answer(GetGroupMemberList(context, params));
        } else if (action == "delete_message") {
            answer(DeleteMessage(context, params));
        } else if (action == UPLOAD_FILE) {
            answer(UploadFile(context, params));
        } else if (action == "get_file") {
            answer(GetFile(context, params));
        } else if (action == "wx.set_remark") {
            answer(SetRemark(context, params));
        } else if (action == "wx.get_contact_key") {
            answer(GetContactKey(context, params));
        } else {
            answer(Failed(UNSUPPORTED_ACTION, "no action " + action));
        }
    } catch (...) {
        answer(Failed(INTERNAL_HANDLER_ERROR, "the action failed inside the robot"));
    }
}

}  // namespace zelmo::onebot
