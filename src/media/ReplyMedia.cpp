#include "media/ReplyMedia.h"

#include <sys/stat.h>

#include <cstdint>

#include "media/MediaNames.h"
#include "platform/Encoding.h"
#include "platform/FileStream.h"
#include "platform/Files.h"
#include "platform/GbkLiteral.h"
#include "platform/GbkText.h"

namespace zelmo::media {

namespace {

constexpr int MAX_NAME_TRIES = 100;
constexpr std::size_t MAX_EXTENSION_BYTES = 16;
constexpr std::size_t COPY_BUFFER_BYTES = 1 << 20;

bool IsRegularFile(const std::string& path) {
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode);
}

bool SameFile(const std::string& one, const std::string& other) {
    struct stat first {};
    struct stat second {};
    return ::stat(one.c_str(), &first) == 0 && ::stat(other.c_str(), &second) == 0 &&
           first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

// Whether two files hold the same bytes: the same pick made again is not copied twice.
bool SameBytes(std::string_view one, const std::string& other) {
    platform::FileReader first(one);
    platform::FileReader second(other);
    if (!first.IsOpen() || !second.IsOpen() || first.Size() != second.Size()) {
        return false;
    }
    std::string a(COPY_BUFFER_BYTES, '\0');
    std::string b(COPY_BUFFER_BYTES, '\0');
    for (;;) {
        const std::size_t got = first.Read(a.data(), a.size());
        if (second.Read(b.data(), b.size()) != got ||
            std::string_view(a.data(), got) != std::string_view(b.data(), got)) {
            return false;
        }
        if (got == 0) {
            return first.Error().empty() && second.Error().empty();
        }
    }
}

// The GBK name cut to `max_bytes` at a character boundary.
std::string CutGbk(std::string_view name, std::size_t max_bytes) {
    std::size_t end = 0;
    while (end < name.size()) {
        const std::size_t next = end + platform::GbkCharLength(name, end);
        if (next > max_bytes) {
            break;
        }
        end = next;
    }
    return std::string(name.substr(0, end));
}

// "stem(n).ext" for the n-th try, still a plain name of at most MAX_NAME_BYTES.
std::string NumberedName(std::string_view name, int number) {
    if (number < 2) {
        return std::string(name);
    }
    const std::size_t dot = name.rfind('.');
    const std::string_view extension =
        dot == std::string_view::npos || dot == 0 ? std::string_view() : name.substr(dot);
    const std::string suffix = "(" + std::to_string(number) + ")" + std::string(extension);
    const std::string_view stem = name.substr(0, name.size() - extension.size());
    return CutGbk(stem, MAX_NAME_BYTES - suffix.size()) + suffix;
}

// Streams `source` into `target` through a temporary file in its folder. Empty on success.
std::string CopyFile(std::string_view source, const std::string& folder,
                     const std::string& target) {
    platform::FileReader in(source);
    if (!in.IsOpen()) {
        return platform::Gbk("无法读取文件：") + in.Error();
    }
    platform::PartFile out(folder);
    if (!out.IsOpen()) {
        return platform::Gbk("无法写入回复文件夹：") + out.Error();
    }
    std::string buffer(COPY_BUFFER_BYTES, '\0');
    for (std::size_t got = 0; (got = in.Read(buffer.data(), buffer.size())) > 0;) {
        if (!out.Write(std::string_view(buffer.data(), got))) {
            return platform::Gbk("无法写入回复文件夹：") + out.Error();
        }
    }
    if (!in.Error().empty()) {
        return platform::Gbk("无法读取文件：") + in.Error();
    }
    if (!out.Commit(target)) {
        return platform::Gbk("无法写入回复文件夹：") + out.Error();
    }
    return {};
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

ReplyMediaKind ReplyKindForFile(std::string_view file_name) {
    const std::string extension = ExtensionOf(file_name);
    if (extension == "jpg" || extension == "jpeg" || extension == "png" || extension == "bmp" ||
        extension == "gif") {
        return ReplyMediaKind::Picture;
    }
    return extension == "mp4" ? ReplyMediaKind::Video : ReplyMediaKind::File;
}

ReplyMediaKind ReplyKindOf(SendAs send_as) {
    switch (send_as) {
        case SendAs::Picture:
        case SendAs::Emoticon:
            return ReplyMediaKind::Picture;
        case SendAs::Video:
            return ReplyMediaKind::Video;
        case SendAs::File:
            return ReplyMediaKind::File;
    }
    return ReplyMediaKind::File;
}

std::string ReplyMediaText(ReplyMediaKind kind, std::string_view name) {
    const char* opening = kind == ReplyMediaKind::Picture ? "[图片="
                          : kind == ReplyMediaKind::Video ? "[视频="
                                                          : "[文件=";
    return platform::Gbk(opening) + std::string(name) + "]";
}

std::string ReplyFileName(std::string_view utf8_name) {
    // Safe as UTF-8 first (no folders, no leading dots, no control characters), then GBK,
    // which is never longer for what survives: a character GBK lacks becomes one "?". A cut
    // keeps the extension, which says how the file goes out.
    const std::string safe = platform::Utf8ToGbk(SafeFileName(utf8_name, SIZE_MAX));
    const std::size_t dot = safe.rfind('.');
    const std::string_view extension =
        dot == std::string::npos || dot == 0 || safe.size() - dot > MAX_EXTENSION_BYTES
            ? std::string_view()
            : std::string_view(safe).substr(dot);
    const std::string name =
        CutGbk(std::string_view(safe).substr(0, safe.size() - extension.size()),
               MAX_NAME_BYTES - extension.size()) +
        std::string(extension);
    return IsPlainName(name) ? name : std::string("file");
}

CopiedReplyFile CopyIntoReplies(std::string_view account_dir, std::string_view source) {
    const std::string folder = RepliesFolder(account_dir);
    const std::string made = platform::MakePrivateDirectories(folder);
    if (!made.empty()) {
        return {{}, platform::Gbk("无法建立回复文件夹：") + made};
    }
    const std::string_view file_name = source.substr(source.rfind('/') + 1);
    const std::string plain = ReplyFileName(file_name);
    for (int number = 1; number <= MAX_NAME_TRIES; ++number) {
        std::string name = NumberedName(plain, number);
        const std::string target = folder + "/" + platform::GbkToUtf8(name);
        if (SameFile(std::string(source), target) || SameBytes(source, target)) {
            return {std::move(name), {}};
        }
        if (platform::FileExists(target)) {
            continue;
        }
        std::string error = CopyFile(source, folder, target);
        if (!error.empty()) {
            return {{}, std::move(error)};
        }
        return {std::move(name), {}};
    }
    return {{}, platform::Gbk("回复文件夹中同名文件过多")};
}

}  // namespace zelmo::media
