#include <algorithm>
#include <atomic>
#include <memory>

#include "media/ReplyMedia.h"
#include "media/Upload.h"
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

// A message on its way, one send after the other: each part is handed to the outbox once
// the one before went out, so they arrive in order; the first that fails ends it.
struct Sending {
    struct Send {
        std::string text;  // GBK, for a text
        std::optional<messages::OutgoingFile> file;
    };

    Sending(const ActionContext& context, ActionDone done)
        : outbox(context.outbox),
          memory(context.memory),
          ids(context.ids),
          start_ms(context.start_unix_ms),
          done(std::move(done)) {}

    static void Next(const std::shared_ptr<Sending>& self) {
        Sending& sending = *self;
        if (sending.sent == sending.sends.size()) {
            sending.Finish();
            return;
        }
        Send& send = sending.sends[sending.sent];
        auto went = [self](const SendOutcome& outcome) { self->Went(self, outcome); };
        const bool queued = send.file
                                ? sending.outbox.PostFile(sending.to, std::move(*send.file), went)
                                : sending.outbox.Post(sending.to, send.text, went);
        if (!queued) {
            sending.Fail(Failed(OUTBOX_FULL, "too many texts wait for the sender, or it stopped"));
        }
    }

    void Went(const std::shared_ptr<Sending>& self, const SendOutcome& outcome) {
        if (outcome.retcode != OK) {
            Fail(Failed(outcome.retcode, outcome.message));
            return;
        }
        if (sent == 0) {
            remembered.message_id = outcome.msg_id;
            remembered.chat = ids.IdOf(outcome.to);
            remembered.unix_ms = outcome.sent_unix_ms;
        }
        remembered.parts.push_back({outcome.msg_id, outcome.local_id});
        ++sent;
        Next(self);
    }

    void Fail(ActionResult result) {
        if (sent > 0) {
            result.message += " (" + std::to_string(sent) + " of " + std::to_string(sends.size()) +
                              " parts of the message were sent)";
        }
        done(std::move(result));
    }

    void Finish() {
        if (remembered.message_id.empty()) {
            remembered.message_id = LocalMessageId(start_ms);
        }
        remembered.sender_name = own_name;
        remembered.text = alt;
        remembered.own = true;
        Json data = Json::MakeObject();
        data.Set("message_id", remembered.message_id);
        data.Set("time", static_cast<double>(remembered.unix_ms) / 1000.0);
        memory.Remember(std::move(remembered));
        done(Ok(std::move(data)));
    }

    Outbox& outbox;
    MessageMemory& memory;
    const ContactIds& ids;
    std::int64_t start_ms = 0;
    ActionDone done;
    std::vector<Send> sends;
    std::size_t sent = 0;
    std::string to;
    std::string own_name;
    std::string alt;  // UTF-8, as a quote shows it
    RememberedMessage remembered;
};

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
    const std::optional<std::vector<MessagePart>> parts = ComposeParts(*segments, compose, error);
    if (!parts) {
        done(std::move(error));
        return;
    }
    // Every file is found before anything goes out: a message is sent whole or not at all.
    auto sending = std::make_shared<Sending>(context, done);
    for (const MessagePart& part : *parts) {
        if (part.file_id.empty()) {
            sending->sends.push_back({RobotText(part.text), std::nullopt});
            sending->alt += part.text;
            continue;
        }
        const std::optional<StoredFile> file = FindFile(context, part.file_id, error);
        if (!file) {
            done(std::move(error));
            return;
        }
        const media::ReplyMediaKind kind = part.type == "image"   ? media::ReplyMediaKind::Picture
                                           : part.type == "video" ? media::ReplyMediaKind::Video
                                                                  : media::ReplyMediaKind::File;
        const media::SendAs send_as = media::SendAsFor(kind, file->name);
        if (const std::string why = media::CheckMediaFile(file->path, send_as); !why.empty()) {
            done(Failed(FILE_NOT_SENDABLE, platform::GbkToUtf8(why)));
            return;
        }
        sending->sends.push_back({{}, messages::OutgoingFile{file->path, send_as, file->name}});
        sending->alt += part.type == "image"   ? "[图片]"
                        : part.type == "video" ? "[视频]"
                                               : "[文件]";
    }
    const std::shared_ptr<const config::Settings> settings = context.parts.settings.Get();
    if (!context.parts.guard.Admit(to, context.parts.link.clock.TickMs(),
                                   messages::RepliesPerMinute(settings->每分钟回复上限))) {
        done(Failed(CHAT_LIMIT,
                    "this chat had as many texts in the last minute as the robot "
                    "allows (每分钟回复上限)"));
        return;
    }
    sending->own_name = platform::GbkToUtf8(context.parts.sessions.Snapshot()->own.NickName);
    sending->to = to;
    Sending::Next(sending);
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
        return Failed(NOT_RECALLABLE, "only messages this robot sent can be recalled");
    }
    const bool known =
        !message->parts.empty() && std::all_of(message->parts.begin(), message->parts.end(),
                                               [](const RememberedMessage::SentPart& part) {
                                                   return !part.svr_msg_id.empty() &&
                                                          !part.client_msg_id.empty();
                                               });
    if (!known) {
        return Failed(NOT_RECALLABLE, "the service's ids of this message are not known");
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
    // Each send of the message is recalled on its own; one refused does not keep the rest.
    std::string refused;
    std::size_t recalled = 0;
    for (const RememberedMessage::SentPart& part : message->parts) {
        const std::string ret =
            protocol::PostRevokeMsg(context.parts.link, *context.parts.sessions.Snapshot(), chat,
                                    part.client_msg_id, part.svr_msg_id);
        if (ret == "0") {
            ++recalled;
        } else if (refused.empty()) {
            refused = ret.empty() ? std::string("no answer from the service")
                                  : "the service refused it (Ret " + ret + ")";
        }
    }
    if (refused.empty()) {
        return Ok();
    }
    if (message->parts.size() > 1) {
        refused += "; " + std::to_string(recalled) + " of " +
                   std::to_string(message->parts.size()) + " parts were recalled";
    }
    return Failed(RECALL_REFUSED, refused);
}

}  // namespace zelmo::onebot
