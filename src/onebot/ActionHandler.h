#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "config/OneBotSettings.h"
#include "onebot/Action.h"
#include "onebot/ContactIds.h"
#include "onebot/EventBuffer.h"
#include "onebot/FileStore.h"
#include "onebot/MessageMemory.h"
#include "onebot/OneBotParts.h"
#include "onebot/Outbox.h"
#include "onebot/ReceivedFiles.h"
#include "platform/WebClient.h"

namespace zelmo::onebot {

// What the actions work with besides the robot's parts.
struct ActionContext {
    const OneBotParts& parts;
    const config::OneBotSettings& settings;
    const ContactIds& ids;
    Outbox& outbox;
    MessageMemory& memory;
    FileStore& files;
    const ReceivedFiles& received;   // the files events told of, before they are saved
    EventBuffer* events;             // null when HTTP events are off
    const platform::WebClient& web;  // downloads for upload_file
    // Runs a task after ms milliseconds (a long poll's end).
    std::function<void(int ms, std::function<void()> task)> after;
    // Whether every transport the settings name works.
    std::function<bool()> transports_good;
    std::int64_t start_unix_ms = 0;
};

// Every action name the robot supports, get_latest_events excepted.
const std::vector<std::string>& SupportedActions();

// The one place every request of every transport is answered.
class ActionHandler {
public:
    explicit ActionHandler(ActionContext context) : m_context(std::move(context)) {}

    // Runs a request text; `done` gets the response text once, maybe later on another
    // thread (a send waits for the sender, a long poll for events). Nothing escapes.
    void Handle(std::string_view text, Transport transport,
                std::function<void(std::string response)> done);
    // Runs a request already read.
    void Run(const ActionRequest& request, Transport transport, ActionDone done);

    const ActionContext& Context() const { return m_context; }

private:
    ActionContext m_context;
};

// The actions, each over the context and the request's params.
ActionResult GetStatus(const ActionContext& context);
ActionResult GetSelfInfo(const ActionContext& context);
ActionResult GetUserInfo(const ActionContext& context, const platform::Json& params);
ActionResult GetFriendList(const ActionContext& context);
ActionResult GetGroupInfo(const ActionContext& context, const platform::Json& params);
ActionResult GetGroupList(const ActionContext& context);
ActionResult GetGroupMemberInfo(const ActionContext& context, const platform::Json& params);
ActionResult GetGroupMemberList(const ActionContext& context, const platform::Json& params);
ActionResult SetRemark(const ActionContext& context, const platform::Json& params);
ActionResult GetContactKey(const ActionContext& context, const platform::Json& params);
void SendMessage(const ActionContext& context, const platform::Json& params,
                 const ActionDone& done);
ActionResult DeleteMessage(const ActionContext& context, const platform::Json& params);
ActionResult UploadFile(const ActionContext& context, const platform::Json& params);
ActionResult GetFile(const ActionContext& context, const platform::Json& params);
// The file of an id: one upload_file kept, or a received one (saved, or waited for while its
// download runs). Nothing, with `error` set, when there is none.
std::optional<StoredFile> FindFile(const ActionContext& context, std::string_view file_id,
                                   ActionResult& error);
void GetLatestEvents(const ActionContext& context, const platform::Json& params,
                     const ActionDone& done);

// The robot's own id for frameworks; empty while it is not logged in.
std::string SelfId(const ActionContext& context);

}  // namespace zelmo::onebot
