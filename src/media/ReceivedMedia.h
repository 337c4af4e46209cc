#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "media/MediaKind.h"

namespace zelmo::media {

// What a received message needs for its download, from the raw sync item. Texts are the
// service's UTF-8 (file names reach the file system, which keeps UTF-8); tokens as sent.
struct ReceivedMedia {
    MediaKind kind = MediaKind::Picture;
    std::string MsgId;
    std::string FromUserName;
    std::string FileName;  // decoded; the file's name for files, often empty otherwise
    std::string FileSize;  // decimal, as sent
    std::string MediaId;
    std::string EncryFileName;  // decoded
};

// Whether a message of this MsgType can carry media at all (a cheap test before reading the
// item).
bool MayCarryMedia(int msg_type);

// The media of one AddMsgList item (its bytes as sent, UTF-8, as a message job carries
// them): pictures (3), stickers that have a picture (47 with a cdnurl), app pictures (49
// with AppMsgType 8), voice (34), video (43 and 62) and files (49 with AppMsgType 6 and a
// MediaId). Nothing for any other message, and for one without a MsgId. Any bytes.
std::optional<ReceivedMedia> ReadReceivedMedia(std::string_view item);

}  // namespace zelmo::media
