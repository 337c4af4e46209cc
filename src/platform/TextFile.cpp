#include "platform/TextFile.h"

#include <cstdio>

#include "platform/Files.h"
#include "platform/TextDecoding.h"

namespace zelmo::platform {

namespace {

constexpr std::string_view UTF8_BACKUP_SUFFIX = ".utf8-backup";
constexpr int MAX_NUMBERED = 9;

// Where the original goes: the first name that is free or already holds these very bytes
// (a second start on the same UTF-8 file keeps one backup). Empty with `reason` set when
// none could be used.
std::string KeepOriginal(std::string_view path, std::string_view bytes, std::string& reason) {
    const std::string base = std::string(path) + std::string(UTF8_BACKUP_SUFFIX);
    for (int number = 1; number <= MAX_NUMBERED; ++number) {
        std::string candidate = number == 1 ? base : base + "-" + std::to_string(number);
        const FileRead existing = ReadWholeFile(candidate, bytes.size());
        if (existing.state == FileRead::State::Read && existing.bytes == bytes) {
            return candidate;
        }
        if (existing.state != FileRead::State::Missing) {
            continue;
        }
        // As private as the file it keeps.
        if (WriteFileAtomicLike(candidate, bytes, path)) {
            return candidate;
        }
        reason = "its UTF-8 original could not be kept as " + candidate;
        return {};
    }
    reason = "its UTF-8 original could not be kept: " + base + " to -" +
             std::to_string(MAX_NUMBERED) + " hold other files";
    return {};
}

TextFile Read(std::string_view path, std::size_t max_bytes, bool for_update) {
    TextFile file;
    file.report.path = std::string(path);
    FileRead read = ReadWholeFile(path, max_bytes);
    if (read.state == FileRead::State::Missing) {
        return file;
    }
    if (read.state == FileRead::State::Failed) {
        file.report.state = TextFileState::Unreadable;
        file.report.reason = std::move(read.error);
        return file;
    }
    std::string reason;
    const TextEncoding encoding = DetectTextEncoding(read.bytes, reason);
    if (encoding == TextEncoding::Undecodable) {
        file.report.state = TextFileState::Unreadable;
        file.report.reason = std::move(reason);
        return file;
    }
    if (encoding == TextEncoding::Utf8) {
        file.report.state = TextFileState::Converted;
        if (for_update) {
            file.report.backup_path = KeepOriginal(path, read.bytes, file.report.reason);
        }
    } else {
        file.report.state = TextFileState::Ok;
    }
    file.text = DecodeAccountText(std::move(read.bytes)).text;
    return file;
}

}  // namespace

TextFile ReadTextFile(std::string_view path, std::size_t max_bytes) {
    return Read(path, max_bytes, false);
}

TextFile ReadTextFileForUpdate(std::string_view path, std::size_t max_bytes) {
    return Read(path, max_bytes, true);
}

bool MayReplace(const TextFileReport& report) {
    return report.state != TextFileState::Unreadable &&
           !(report.state == TextFileState::Converted && report.backup_path.empty());
}

std::string FreeSidePath(std::string_view path, std::string_view tag, std::time_t now) {
    std::tm local{};
    if (::localtime_r(&now, &local) == nullptr) {
        return {};
    }
    char stamp[64];
    std::snprintf(stamp, sizeof stamp, "-%04d%02d%02d-%02d%02d%02d", local.tm_year + 1900,
                  local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
    const std::string base = std::string(path) + "." + std::string(tag) + stamp;
    for (int number = 1; number <= 100; ++number) {
        std::string candidate = number == 1 ? base : base + "-" + std::to_string(number);
        if (!FileExists(candidate)) {
            return candidate;
        }
    }
    return {};
}

}  // namespace zelmo::platform
