#include <atomic>

#include "messages/ReplyGuard.h"
#include "onebot/ActionHandler.h"
#include "onebot/ContactViews.h"
#include "onebot/Segments.h"
#include "platform/Encoding.h"
#include "protocol/RevokeRequest.h"

namespace zelmo::onebot {

using platform::Json;

namespace {

// An id for a sent text whose MsgID the sender did not tell: unique in the run, and never
// one the service would give (those are digits only).
std::string LocalMessageId(std::int64_t start_unix_ms) {
    static std::atomic<std::uint64_t> count{0};
    return "zelmo-" + std::to_string(start_unix_ms) + "-" + std::to_string(++count);
}

}  // namespace

void SendMessage(const ActionContext& context, const Json& params, const ActionDone& done) {
    ActionResult error;
    const std::optional<std::string> detail_type = RequiredString(params, "detail_type", error);
    if (!detail_type) {
        done(std::move(error));
        return;
    }
    const bool group = *detail_type == "group";
    if (!group && *detail_type != "private") {
        const bool standard = *detail_type == "channel";
        done(Failed(standard ? UNSUPPORTED_PARAM : BAD_PARAM,
                    "detail_type " + *detail_type + " is not private or group"));
        return;
    }
    const std::optional<std::string> id =
        RequiredString(params, group ? "group_id" : "user_id", error);
    if (!id) {
        done(std::move(error));
        return;
    }
    const Json* message = params.Find("message");
    if (message == nullptr) {
        done(Failed(BAD_PARAM, "message is missing"));
        return;
    }
    const std::optional<std::vector<Segment>> segments = ReadSegments(*message, error);
    if (!segments) {
        done(std::move(error));
        return;
    }
    const std::string to = context.ids.UserNameOf(*id);
    std::optional<contacts::ContactRecord> chat = FindContact(context.parts.contacts, to);
    if (!chat || IsGroup(*chat) != group) {
        done(Failed(UNKNOWN_CONTACT,
                    std::string(group ? "no group" : "nobody") + " has the id " + *id));
        return;
    }
    ComposeContext compose{context.parts.contacts, context.ids, context.memory,
                           group ? std::move(chat) : std::nullopt};
    const std::optional<std::string> text = ComposeText(*segments, compose, error);
    if (!text) {
        done(std::move(error));
        return;
    }
    const std::shared_ptr<const config::Settings> settings = context.parts.settings.Get();
    if (!context.parts.guard.Admit(to, context.parts.link.clock.TickMs(),
                                   messages::RepliesPerMinute(settings->每分钟回复上限))) {
        done(Failed(CHAT_LIMIT,
                    "this chat had as many texts in the last minute as the robot "
                    "allows (每分钟回复上限)"));
        return;
    }
    const std::string own_name =
        platform::GbkToUtf8(context.parts.sessions.Snapshot()->own.NickName);
    MessageMemory& memory = context.memory;
    const ContactIds& ids = context.ids;
    const std::int64_t start_ms = context.start_unix_ms;
    auto sent = [done, &memory, &ids, own_name, text = *text,
                 start_ms](const SendOutcome& outcome) {
        if (outcome.retcode != OK) {
            done(Failed(outcome.retcode, outcome.message));
            return;
        }
        RememberedMessage remembered;
        remembered.message_id = outcome.msg_id.empty() ? LocalMessageId(start_ms) : outcome.msg_id;
        remembered.chat = ids.IdOf(outcome.to);
        remembered.sender_name = own_name;
        remembered.text = text;
        remembered.unix_ms = outcome.sent_unix_ms;
        remembered.own = true;
        remembered.svr_msg_id = outcome.msg_id;
        remembered.client_msg_id = outcome.local_id;
        Json data = Json::MakeObject();
        data.Set("message_id", remembered.message_id);
        data.Set("time", static_cast<double>(outcome.sent_unix_ms) / 1000.0);
        memory.Remember(std::move(remembered));
        done(Ok(std::move(data)));
    };
    if (!context.outbox.Post(to, RobotText(*text), std::move(sent))) {
        done(Failed(OUTBOX_FULL, "too many texts wait for the sender"));
    }
}

ActionResult DeleteMessage(const ActionContext& context, const Json& params) {
    ActionResult error;
    const std::optional<std::string> id = RequiredString(params, "message_id", error);
    if (!id) {
        return error;
    }
    const std::optional<RememberedMessage> message = context.memory.Find(*id);
    if (!message) {
        return Failed(UNKNOWN_MESSAGE, "no recent message has the message_id " + *id);
    }
    if (!message->own) {
        return Failed(NOT_RECALLABLE, "only texts this robot sent can be recalled");
    }
    if (message->svr_msg_id.empty() || message->client_msg_id.empty()) {
        return Failed(NOT_RECALLABLE, "the service's ids of this text are not known");
    }
    if (context.parts.link.clock.UnixMs() - message->unix_ms > protocol::REVOKE_LIMIT_MS) {
        return Failed(RECALL_REFUSED, "the service takes recalls for two minutes only");
    }
    if (!context.parts.connection.Online()) {
        return Failed(OFFLINE, "the robot is not logged in");
    }
    // The chat by its name in this login: a re-login since the send renamed it.
    const std::string chat = context.ids.UserNameOf(message->chat);
    if (chat.empty()) {
        return Failed(UNKNOWN_CONTACT, "the chat of this message is not among the contacts now");
    }
    const std::string ret =
        protocol::PostRevokeMsg(context.parts.link, *context.parts.sessions.Snapshot(), chat,
                                message->client_msg_id, message->svr_msg_id);
    if (ret == "0") {
        return Ok();
    }
    return Failed(RECALL_REFUSED, ret.empty() ? std::string("no answer from the service")
                                              : "the service refused it (Ret " + ret + ")");
}

}  // namespace zelmo::onebot
