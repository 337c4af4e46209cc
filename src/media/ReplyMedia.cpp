#include "media/ReplyMedia.h"

#include <sys/stat.h>

#include "media/MediaNames.h"
#include "platform/Encoding.h"
#include "platform/GbkLiteral.h"
#include "platform/GbkText.h"

namespace zelmo::media {

namespace {

bool IsRegularFile(const std::string& path) {
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode);
}

// Walks the name character by character, so a GBK trail byte that looks like "\" or "/" is
// taken as the part of its character it is.
bool IsPlainName(std::string_view name) {
    if (name.empty() || name.size() > MAX_NAME_BYTES || name.front() == '.' ||
        name.find("..") != std::string_view::npos) {
        return false;
    }
    for (std::size_t pos = 0; pos < name.size();) {
        const std::size_t length = platform::GbkCharLength(name, pos);
        if (length == 1) {
            const auto byte = static_cast<unsigned char>(name[pos]);
            if (byte < 0x20 || byte == 0x7F || byte == '/' || byte == '\\') {
                return false;
            }
        }
        pos += length;
    }
    return true;
}

}  // namespace

std::optional<ReplyMedia> ParseReplyMedia(std::string_view reply) {
    static const struct {
        std::string opening;
        ReplyMediaKind kind;
    } forms[] = {
        {platform::Gbk("[图片="), ReplyMediaKind::Picture},
        {platform::Gbk("[视频="), ReplyMediaKind::Video},
        {platform::Gbk("[文件="), ReplyMediaKind::File},
    };
    if (reply.empty() || reply.back() != ']') {
        return std::nullopt;
    }
    for (const auto& form : forms) {
        if (reply.size() > form.opening.size() && reply.starts_with(form.opening)) {
            const std::string_view name =
                reply.substr(form.opening.size(), reply.size() - form.opening.size() - 1);
            // A trail byte "]" would leave the last character cut in two.
            if (!platform::IsGbkBoundary(reply, reply.size() - 1) || !IsPlainName(name)) {
                return std::nullopt;
            }
            return ReplyMedia{form.kind, std::string(name)};
        }
    }
    return std::nullopt;
}

std::string RepliesFolder(std::string_view account_dir) {
    return std::string(account_dir) + "/replies";
}

std::string ResolveReplyFile(std::string_view account_dir, const ReplyMedia& media) {
    if (!IsPlainName(media.name)) {
        return {};
    }
    const std::string folder = RepliesFolder(account_dir) + "/";
    std::string utf8 = folder + platform::GbkToUtf8(media.name);
    if (IsRegularFile(utf8)) {
        return utf8;
    }
    const std::string gbk = folder + media.name;
    return IsRegularFile(gbk) ? gbk : std::string();
}

SendAs SendAsFor(ReplyMediaKind kind, std::string_view file_name) {
    const std::string extension = ExtensionOf(file_name);
    switch (kind) {
        case ReplyMediaKind::Picture:
            if (extension == "gif") {
                return SendAs::Emoticon;
            }
            if (extension == "jpg" || extension == "jpeg" || extension == "png" ||
                extension == "bmp") {
                return SendAs::Picture;
            }
            return SendAs::File;
        case ReplyMediaKind::Video:
            return extension == "mp4" ? SendAs::Video : SendAs::File;
        case ReplyMediaKind::File:
            return SendAs::File;
    }
    return SendAs::File;
}

}  // namespace zelmo::media
