#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "media/MediaKind.h"

namespace zelmo::media {

// A knowledge-base reply that sends a file from the account's replies/ folder.
enum class ReplyMediaKind : std::uint8_t { Picture, Video, File };

struct ReplyMedia {
    ReplyMediaKind kind = ReplyMediaKind::Picture;
    std::string name;  // a plain file name (GBK)
};

// A reply (GBK) that is exactly "[图片=NAME]", "[视频=NAME]" or "[文件=NAME]" with NAME a plain
// file name: not empty, at most 100 bytes, no folder ("/" or "\"), no "..", no leading dot, no
// control characters. Nothing for any other text, which is sent as the text it is.
std::optional<ReplyMedia> ParseReplyMedia(std::string_view reply);

// "<account_dir>/replies": the only folder such replies send from.
std::string RepliesFolder(std::string_view account_dir);

// The regular file the reply names in the replies folder (file-system bytes): its UTF-8 name,
// else its name as GBK bytes (a file copied from a GBK system). Empty when neither is there.
std::string ResolveReplyFile(std::string_view account_dir, const ReplyMedia& media);

// How a file the reply names goes out: a picture reply with a gif as a sticker, with another
// picture as a picture; a video reply with an mp4 as a video; everything else as a file.
SendAs SendAsFor(ReplyMediaKind kind, std::string_view file_name);

// The form a file takes by its type: a picture (jpg, jpeg, png, bmp, gif), a video (mp4) or
// a file.
ReplyMediaKind ReplyKindForFile(std::string_view file_name);
// The form a send takes in texts: a sticker is a picture.
ReplyMediaKind ReplyKindOf(SendAs send_as);

// "[图片=NAME]", "[视频=NAME]" or "[文件=NAME]" (GBK; the name as given).
std::string ReplyMediaText(ReplyMediaKind kind, std::string_view name);

// A file's name (UTF-8) as a plain reply name (GBK) that names the same file once it is
// stored as its UTF-8 form: made safe for one folder, characters GBK lacks as "?", at most
// 100 bytes. "file" when nothing is left.
std::string ReplyFileName(std::string_view utf8_name);

// What a copy into the replies folder gave: the reply name (GBK) the file is found under, or
// why it failed (GBK).
struct CopiedReplyFile {
    std::string name;
    std::string error;
};

// Copies the file at `source` into the account's replies folder (made when missing) under
// ReplyFileName of its name, or that name with "(2)", "(3)"... before the extension when the
// name is taken by another file. A file that is in the folder already (or the same bytes under
// that name) is not copied. Streams the bytes; a failed copy leaves nothing behind. Blocks.
CopiedReplyFile CopyIntoReplies(std::string_view account_dir, std::string_view source);

}  // namespace zelmo::media
