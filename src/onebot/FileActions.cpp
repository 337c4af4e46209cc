#include <algorithm>
#include <array>
#include <cctype>

#include "config/Settings.h"
#include "config/SettingsInput.h"
#include "media/MediaKind.h"
#include "media/ReceivedMedia.h"
#include "onebot/ActionHandler.h"
#include "platform/Base64.h"
#include "platform/Encoding.h"
#include "platform/FileStream.h"
#include "platform/Files.h"
#include "platform/Sha256.h"

namespace zelmo::onebot {

using platform::Json;

namespace {

// What upload_file takes and get_file hands out in one piece.
constexpr std::size_t MAX_FILE_BYTES = 32u << 20;
constexpr int DOWNLOAD_TIMEOUT_S = 60;
constexpr std::size_t MAX_HEADERS = 32;
// How long an action waits for a received file's download; a worker is held meanwhile.
constexpr std::chrono::seconds RECEIVED_FILE_WAIT{20};
constexpr std::size_t HASH_CHUNK_BYTES = 1u << 16;

// The digest of a file read in pieces; empty when it could not be read whole.
std::string FileSha256(const std::string& path) {
    platform::FileReader file(path);
    if (!file.IsOpen()) {
        return {};
    }
    platform::Sha256 digest;
    std::string buffer(HASH_CHUNK_BYTES, '\0');
    std::uint64_t read = 0;
    for (std::size_t got = 0; (got = file.Read(buffer.data(), buffer.size())) > 0;) {
        digest.Update(std::string_view(buffer.data(), got));
        read += got;
    }
    if (!file.Error().empty() || read != file.Size()) {
        return {};
    }
    return digest.HexDigest();
}

std::string BaseName(std::string_view path) {
    return std::string(path.substr(path.rfind('/') + 1));
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() &&
           std::equal(prefix.begin(), prefix.end(), text.begin(), [](char a, char b) {
               return std::tolower(static_cast<unsigned char>(a)) == b;
           });
}

std::string Lowered(std::string_view text) {
    std::string lowered(text);
    for (char& c : lowered) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return lowered;
}

// The bytes behind an http(s) URL; nothing with `error` set when they could not be had.
std::optional<std::string> Download(const ActionContext& context, const Json& params,
                                    std::string& url, ActionResult& error) {
    const std::optional<std::string> given = RequiredString(params, "url", error);
    if (!given) {
        return std::nullopt;
    }
    url = *given;
    if (!StartsWithNoCase(url, "http://") && !StartsWithNoCase(url, "https://")) {
        error = Failed(BAD_PARAM, "url must be an http:// or https:// URL");
        return std::nullopt;
    }
    std::vector<std::string> lines;
    if (const Json* headers = params.Find("headers"); headers != nullptr && !headers->IsNull()) {
        if (!headers->IsObject() || headers->Members().size() > MAX_HEADERS) {
            error = Failed(BAD_PARAM, "headers must be an object of strings");
            return std::nullopt;
        }
        for (const auto& [name, value] : headers->Members()) {
            const bool clean = !name.empty() && value.IsString() &&
                               name.find_first_of(":\r\n") == std::string::npos &&
                               value.AsString().find_first_of("\r\n") == std::string::npos;
            if (!clean) {
                error = Failed(BAD_PARAM, "headers must be an object of one-line strings");
                return std::nullopt;
            }
            lines.push_back(name + ": " + value.AsString());
        }
    }
    std::vector<std::string_view> views(lines.begin(), lines.end());
    platform::AnswerHead head;
    platform::RequestOptions options;
    options.method = "GET";
    options.timeout_s = DOWNLOAD_TIMEOUT_S;
    options.extra_headers = views;
    options.head = &head;
    options.max_body_bytes = MAX_FILE_BYTES;
    options.allow_loopback_http = true;
    options.direct = true;
    std::string bytes = context.web.Request(url, options);
    if (!head.complete || head.status != 200) {
        error = Failed(DOWNLOAD_FAILED,
                       head.complete ? "the URL answered " + std::to_string(head.status)
                                     : std::string("the URL gave no answer (https, or http to "
                                                   "this machine only; at most 32 MB)"));
        return std::nullopt;
    }
    return bytes;
}

// The bytes of a file inside the configured folder; nothing with `error` set otherwise.
std::optional<std::string> ReadAllowed(const ActionContext& context, const Json& params,
                                       ActionResult& error) {
    const std::optional<std::string> path = RequiredString(params, "path", error);
    if (!path) {
        return std::nullopt;
    }
    const std::string folder = platform::GbkToUtf8(context.settings.文件目录);
    if (folder.empty()) {
        error = Failed(PATH_NOT_ALLOWED, "no folder is open to upload_file by path (文件目录)");
        return std::nullopt;
    }
    const std::string wanted = path->front() == '/' ? *path : folder + "/" + *path;
    std::string resolved;
    if (!IsInsideFolder(folder, wanted, resolved)) {
        error = Failed(PATH_NOT_ALLOWED, "path is no file inside the folder 文件目录 names");
        return std::nullopt;
    }
    platform::FileRead file = platform::ReadWholeFile(resolved, MAX_FILE_BYTES);
    if (file.state != platform::FileRead::State::Read) {
        error = Failed(FILE_NOT_READABLE, "the file could not be read (at most 32 MB)");
        return std::nullopt;
    }
    return std::move(file.bytes);
}

}  // namespace

ActionResult UploadFile(const ActionContext& context, const Json& params) {
    ActionResult error;
    const std::optional<std::string> type = RequiredString(params, "type", error);
    if (!type) {
        return error;
    }
    const std::optional<std::string> name = RequiredString(params, "name", error);
    if (!name) {
        return error;
    }
    std::optional<std::string> bytes;
    std::string url;
    if (*type == "url") {
        bytes = Download(context, params, url, error);
    } else if (*type == "path") {
        bytes = ReadAllowed(context, params, error);
    } else if (*type == "data") {
        const Json* data = params.Find("data");
        if (data == nullptr || !data->IsString()) {
            return Failed(BAD_PARAM, "data must be a base64 string");
        }
        bytes = platform::Base64Decode(data->AsString());
        if (!bytes) {
            return Failed(BAD_PARAM, "data is not base64");
        }
    } else {
        return Failed(BAD_PARAM, "type must be url, path or data");
    }
    if (!bytes) {
        return error;
    }
    std::optional<StoredFile> file = context.files.Keep(*name, *bytes, url);
    if (!file) {
        return Failed(FILE_NOT_STORED, "the robot could not keep the file");
    }
    if (const Json* sha256 = params.Find("sha256");
        sha256 != nullptr && sha256->IsString() && !sha256->AsString().empty()) {
        if (Lowered(sha256->AsString()) != file->sha256) {
            platform::DeleteFile(file->path);
            platform::DeleteFile(file->path + ".json");
            return Failed(FILE_DIGEST_MISMATCH, "the bytes do not have the sha256 given");
        }
    }
    return Ok(Json::MakeObject().Set("file_id", file->file_id));
}

ActionResult GetFile(const ActionContext& context, const Json& params) {
    ActionResult error;
    const std::optional<std::string> id = RequiredString(params, "file_id", error);
    if (!id) {
        return error;
    }
    const std::optional<std::string> type = RequiredString(params, "type", error);
    if (!type) {
        return error;
    }
    if (*type != "url" && *type != "path" && *type != "data") {
        return Failed(BAD_PARAM, "type must be url, path or data");
    }
    std::optional<StoredFile> file = FindFile(context, *id, error);
    if (!file) {
        return error;
    }
    if (file->sha256.empty()) {
        file->sha256 = FileSha256(file->path);
    }
    Json data = Json::MakeObject();
    data.Set("name", file->name);
    if (*type == "path") {
        data.Set("path", platform::AbsolutePath(file->path));
    } else if (*type == "data") {
        platform::FileRead read = platform::ReadWholeFile(file->path, MAX_FILE_BYTES);
        if (read.state != platform::FileRead::State::Read) {
            return Failed(FILE_NOT_READABLE, "the kept file could not be read");
        }
        data.Set("data", platform::Base64Encode(read.bytes));
    } else {
        if (file->url.empty()) {
            return Failed(UNSUPPORTED_PARAM,
                          "this file came without a URL: ask for its path "
                          "or data");
        }
        data.Set("url", file->url);
        data.Set("headers", Json::MakeObject());
    }
    data.Set("sha256", file->sha256);
    return Ok(std::move(data));
}

std::optional<StoredFile> FindFile(const ActionContext& context, std::string_view file_id,
                                   ActionResult& error) {
    if (std::optional<StoredFile> kept = context.files.Find(file_id)) {
        return kept;
    }
    const std::optional<std::string> item = context.received.Find(file_id);
    if (!item) {
        error = Failed(UNKNOWN_FILE, "no file has the file_id " + std::string(file_id));
        return std::nullopt;
    }
    const std::optional<media::ReceivedMedia> media = media::ReadReceivedMedia(*item);
    const int mode = config::MediaDownloadMode(context.parts.settings.Get()->媒体下载);
    if (!media || !media::WantsDownload(media->kind, mode) || !context.parts.received_file) {
        error = Failed(FILE_NOT_KEPT,
                       media ? "the robot does not keep received files of this kind (媒体下载)"
                             : "the service offers no download of this file");
        return std::nullopt;
    }
    const std::string path = context.parts.received_file(*item, RECEIVED_FILE_WAIT);
    if (path.empty()) {
        error =
            Failed(RECEIVED_FILE_MISSING, "the file's download failed or did not end within " +
                                              std::to_string(RECEIVED_FILE_WAIT.count()) + " s");
        return std::nullopt;
    }
    StoredFile file;
    file.file_id = std::string(file_id);
    file.name = media->FileName.empty() ? BaseName(path) : media->FileName;
    file.path = path;
    return file;
}

}  // namespace zelmo::onebot
