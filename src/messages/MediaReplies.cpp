#include "messages/MediaReplies.h"

#include <utility>

#include "media/ReplyMedia.h"
#include "platform/Encoding.h"

namespace zelmo::messages {

std::optional<OutgoingFile> ReplyFileOf(std::string_view account_dir, std::string_view text) {
    const std::optional<media::ReplyMedia> reply = media::ParseReplyMedia(text);
    if (!reply || account_dir.empty()) {
        return std::nullopt;
    }
    std::string path = media::ResolveReplyFile(account_dir, *reply);
    if (path.empty()) {
        path = media::RepliesFolder(account_dir) + "/" + platform::GbkToUtf8(reply->name);
    }
    return OutgoingFile{std::move(path), media::SendAsFor(reply->kind, reply->name)};
}

void PostTextOrFile(Sender& sender, std::string_view account_dir, std::string_view to,
                    std::string_view text, SendKind kind, SendTag tag) {
    if (std::optional<OutgoingFile> file = ReplyFileOf(account_dir, text)) {
        sender.PostFile(to, std::move(*file), kind, std::move(tag));
        return;
    }
    sender.Post(to, text, kind, std::move(tag));
}

SendReceipt SendTextOrFile(Sender& sender, std::string_view account_dir, std::string_view to,
                           std::string_view text, SendTag tag, BackoffNotice notice) {
    if (std::optional<OutgoingFile> file = ReplyFileOf(account_dir, text)) {
        return sender.SendFile(to, std::move(*file), std::move(tag), std::move(notice));
    }
    return sender.Send(to, text, std::move(tag), std::move(notice));
}

}  // namespace zelmo::messages
