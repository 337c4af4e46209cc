#include "media/ReceivedMedia.h"

#include "platform/JsonReader.h"

namespace zelmo::media {

namespace {

using Token = platform::JsonReader::Token;

// The message's own fields, each its key's first occurrence at the top level.
struct Fields {
    std::string MsgId;
    std::string FromUserName;
    std::string MsgType;
    std::string Content;
    std::string FileName;
    std::string FileSize;
    std::string MediaId;
    std::string AppMsgType;
    std::string EncryFileName;
};

std::string* FieldOf(std::string_view key, Fields& fields) {
    static constexpr struct {
        std::string_view key;
        std::string Fields::*field;
    } KEYS[] = {
        {"MsgId", &Fields::MsgId},
        {"FromUserName", &Fields::FromUserName},
        {"MsgType", &Fields::MsgType},
        {"Content", &Fields::Content},
        {"FileName", &Fields::FileName},
        {"FileSize", &Fields::FileSize},
        {"MediaId", &Fields::MediaId},
        {"AppMsgType", &Fields::AppMsgType},
        {"EncryFileName", &Fields::EncryFileName},
    };
    for (const auto& entry : KEYS) {
        if (entry.key == key) {
            return &(fields.*entry.field);
        }
    }
    return nullptr;
}

Fields ReadFields(std::string_view item) {
    Fields fields;
    platform::JsonReader reader(item);
    if (reader.Next() != Token::ObjectStart) {
        return fields;
    }
    for (Token token = reader.Next(); token == Token::Key; token = reader.Next()) {
        std::string* field = FieldOf(reader.Text(), fields);
        const Token value = reader.Next();
        if (value == Token::ObjectStart || value == Token::ArrayStart) {
            if (reader.SkipRest() == Token::Fault) {
                break;
            }
            continue;
        }
        if (value != Token::String && value != Token::Scalar) {
            break;
        }
        // The first occurrence counts: a later key of the same name is not the message's.
        if (field != nullptr && field->empty()) {
            *field = value == Token::String ? platform::UnescapeJson(reader.Text())
                                            : std::string(reader.Text());
        }
    }
    return fields;
}

// A sticker from the phone's own collection names no picture the service keeps.
bool HasStickerUrl(std::string_view content) {
    constexpr std::string_view MARKER = "cdnurl=\"";
    const std::size_t at = content.find(MARKER);
    return at != std::string_view::npos && at + MARKER.size() < content.size() &&
           content[at + MARKER.size()] != '"';
}

std::optional<MediaKind> KindOf(const Fields& fields) {
    const std::string_view type = fields.MsgType;
    if (type == "3") {
        return MediaKind::Picture;
    }
    if (type == "47") {
        return HasStickerUrl(fields.Content) ? std::optional(MediaKind::Picture) : std::nullopt;
    }
    if (type == "34") {
        return MediaKind::Voice;
    }
    if (type == "43" || type == "62") {
        return MediaKind::Video;
    }
    if (type == "49" && fields.AppMsgType == "8") {
        return MediaKind::Picture;
    }
    if (type == "49" && fields.AppMsgType == "6" && !fields.MediaId.empty()) {
        return MediaKind::File;
    }
    return std::nullopt;
}

}  // namespace

bool MayCarryMedia(int msg_type) {
    switch (msg_type) {
        case 3:
        case 34:
        case 43:
        case 47:
        case 49:
        case 62:
            return true;
        default:
            return false;
    }
}

std::optional<ReceivedMedia> ReadReceivedMedia(std::string_view item) {
    Fields fields = ReadFields(item);
    const std::optional<MediaKind> kind = KindOf(fields);
    if (!kind || fields.MsgId.empty()) {
        return std::nullopt;
    }
    ReceivedMedia media;
    media.kind = *kind;
    media.MsgId = std::move(fields.MsgId);
    media.FromUserName = std::move(fields.FromUserName);
    media.FileName = std::move(fields.FileName);
    media.FileSize = std::move(fields.FileSize);
    media.MediaId = std::move(fields.MediaId);
    media.EncryFileName = std::move(fields.EncryFileName);
    return media;
}

}  // namespace zelmo::media
