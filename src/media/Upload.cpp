#include "media/Upload.h"

#include <algorithm>
#include <ctime>
#include <random>

#include "media/MediaNames.h"
#include "media/MediaRequests.h"
#include "platform/FileStream.h"
#include "platform/GbkLiteral.h"
#include "platform/Md5.h"
#include "platform/WebClient.h"

namespace zelmo::media {

namespace {

constexpr std::string_view UPLOAD_PATH = "/cgi-bin/mmwebwx-bin/webwxuploadmedia?f=json";
constexpr std::string_view CHECK_PATH = "/cgi-bin/mmwebwx-bin/webwxcheckupload";
constexpr int CHUNK_TIMEOUT_S = 120;
// The service's file type for documents in a check-upload.
constexpr int CHECK_FILE_TYPE = 7;

std::string KindLimitText(SendAs send_as) {
    switch (send_as) {
        case SendAs::Picture:
        case SendAs::Emoticon:
            return platform::Gbk("图片超过20MB");
        case SendAs::Video:
            return platform::Gbk("视频超过20MB");
        case SendAs::File:
            return platform::Gbk("文件超过100MB");
    }
    return {};
}

// The web client's words for the file's kind.
std::string_view MediaType(std::string_view extension) {
    if (extension == "bmp" || extension == "png" || extension == "jpeg" || extension == "jpg") {
        return "pic";
    }
    return extension == "mp4" ? "video" : "doc";
}

// The file's time as a browser's Date prints it.
std::string JavaScriptDate(std::int64_t unix_ms) {
    const auto seconds = static_cast<std::time_t>(unix_ms / 1000);
    std::tm local{};
    localtime_r(&seconds, &local);
    char text[96];
    std::strftime(text, sizeof text, "%a %b %d %Y %H:%M:%S GMT%z (%Z)", &local);
    return text;
}

std::string Boundary() {
    static constexpr char ALPHABET[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    std::random_device seed;
    std::string boundary = "----WebKitFormBoundary";
    for (int i = 0; i < 16; ++i) {
        boundary.push_back(ALPHABET[seed() % (sizeof ALPHABET - 1)]);
    }
    return boundary;
}

// A browser writes a quote or a line break in a form's file name as its percent escape.
std::string FormFileName(std::string_view name) {
    std::string out;
    for (const char c : name) {
        if (c == '"') {
            out.append("%22");
        } else if (c == '\r') {
            out.append("%0D");
        } else if (c == '\n') {
            out.append("%0A");
        } else {
            out.push_back(c);
        }
    }
    return out;
}

void AddField(std::string& body, std::string_view boundary, std::string_view name,
              std::string_view value) {
    body.append("--").append(boundary).append("\r\n");
    body.append("Content-Disposition: form-data; name=\"").append(name).append("\"\r\n\r\n");
    body.append(value).append("\r\n");
}

struct Upload {
    const protocol::ServiceLink& link;
    const protocol::ProtocolState& state;
    std::string_view to;
    UploadedMedia media;
    std::string md5;
    std::string aes_key;
    std::int64_t modified_ms = 0;
    int number = 0;
    std::int64_t client_media_id = 0;
};

std::string UploadRequestJson(const Upload& upload) {
    std::string json = R"({"UploadType":2,)" + BaseRequestJson(upload.state);
    json += R"("ClientMediaId":)" + std::to_string(upload.client_media_id);
    json += R"(,"TotalLen":)" + std::to_string(upload.media.size);
    json += R"(,"StartPos":0,"DataLen":)" + std::to_string(upload.media.size);
    json += R"(,"MediaType":4,"FromUserName":")" + JsonString(upload.state.own.UserName);
    json += R"(","ToUserName":")" + JsonString(upload.to);
    json += R"(","FileMd5":")" + upload.md5 + "\"";
    if (!upload.media.signature.empty()) {
        json += R"(,"AESKey":")" + JsonString(upload.aes_key) + R"(","Signature":")" +
                JsonString(upload.media.signature) + "\"";
    }
    return json + "}";
}

// Asks whether the service has the file already. Empty when the upload may go on.
std::string CheckUpload(Upload& upload) {
    const protocol::ProtocolState& state = upload.state;
    std::string body = "{" + BaseRequestJson(state);
    body += R"("FileMd5":")" + upload.md5 + R"(","FileName":")" + JsonString(upload.media.name);
    body += R"(","FileSize":)" + std::to_string(upload.media.size);
    body += R"(,"FileType":)" + std::to_string(CHECK_FILE_TYPE);
    body += R"(,"FromUserName":")" + JsonString(state.own.UserName) + R"(","ToUserName":")" +
            JsonString(upload.to) + "\"}";
    const std::string answer = PostJson(
        upload.link, state,
        protocol::WebUrl(upload.link.profile, state.session.fun) + std::string(CHECK_PATH), body);
    const std::string ret = AnswerRet(answer);
    if (ret != "0") {
        return platform::Gbk("上传前检查失败") +
               (ret.empty() ? platform::Gbk("(无应答)") : "(Ret " + ret + ")");
    }
    upload.media.media_id = AnswerValue(answer, "MediaId");
    upload.aes_key = AnswerValue(answer, "AESKey");
    upload.media.signature = AnswerValue(answer, "Signature");
    return {};
}

// Sends every chunk; empty when the last one brought the MediaId.
std::string SendChunks(Upload& upload, platform::FileReader& file, std::string& body) {
    const std::uint64_t size = upload.media.size;
    const std::uint64_t chunks = (size + UPLOAD_CHUNK_BYTES - 1) / UPLOAD_CHUNK_BYTES;
    const std::string boundary = Boundary();
    const std::string content_type = "Content-Type: multipart/form-data; boundary=" + boundary;
    const std::string_view headers[] = {content_type};
    const std::string url =
        protocol::FileUrl(upload.link.profile, upload.state.session.fun) + std::string(UPLOAD_PATH);
    const std::string request_json = UploadRequestJson(upload);
    const std::string data_ticket = CookieValue(upload.state.session.cookies, "webwx_data_ticket");
    const std::string mime = MimeTypeOf(upload.media.extension);
    for (std::uint64_t chunk = 0; chunk < chunks; ++chunk) {
        const std::string which = platform::Gbk("第") + std::to_string(chunk + 1) + "/" +
                                  std::to_string(chunks) + platform::Gbk("块上传失败");
        std::string fields;
        AddField(fields, boundary, "id", "WU_FILE_" + std::to_string(upload.number));
        AddField(fields, boundary, "name", upload.media.name);
        AddField(fields, boundary, "type", mime);
        AddField(fields, boundary, "lastModifiedDate", JavaScriptDate(upload.modified_ms));
        AddField(fields, boundary, "size", std::to_string(size));
        if (chunks > 1) {
            AddField(fields, boundary, "chunks", std::to_string(chunks));
            AddField(fields, boundary, "chunk", std::to_string(chunk));
        }
        AddField(fields, boundary, "mediatype", MediaType(upload.media.extension));
        AddField(fields, boundary, "uploadmediarequest", request_json);
        AddField(fields, boundary, "webwx_data_ticket", data_ticket);
        AddField(fields, boundary, "pass_ticket", upload.state.session.pass_ticket);
        fields.append("--").append(boundary).append("\r\n");
        fields.append("Content-Disposition: form-data; name=\"filename\"; filename=\"")
            .append(FormFileName(upload.media.name))
            .append("\"\r\nContent-Type: ")
            .append(mime)
            .append("\r\n\r\n");
        const std::string tail = "\r\n--" + boundary + "--\r\n";
        const std::size_t want = static_cast<std::size_t>(
            std::min<std::uint64_t>(UPLOAD_CHUNK_BYTES, size - chunk * UPLOAD_CHUNK_BYTES));
        // The buffer only ever grows: the chunk is read into place, never cleared or copied.
        const std::size_t length = fields.size() + want + tail.size();
        if (body.size() < length) {
            body.resize(length);
        }
        std::copy(fields.begin(), fields.end(), body.begin());
        if (file.Read(body.data() + fields.size(), want) != want) {
            return platform::Gbk("读取文件失败：") +
                   (file.Error().empty() ? platform::Gbk("文件在上传时变短了") : file.Error());
        }
        std::copy(tail.begin(), tail.end(),
                  body.begin() + static_cast<std::ptrdiff_t>(fields.size() + want));

        platform::AnswerHead head;
        platform::RequestOptions options;
        options.method = "post";
        options.body = std::string_view(body.data(), length);
        options.cookie_header = upload.state.session.cookies;
        options.timeout_s = CHUNK_TIMEOUT_S;
        options.extra_headers = headers;
        options.head = &head;
        // A chunk is the same chunk again: the service takes a repeat as it took the first,
        // so it may go out on a kept connection rather than pay a handshake per chunk.
        options.repeatable = true;
        const std::string answer = upload.link.web.Request(url, options);
        if (!head.complete) {
            return which + platform::Gbk("(无应答)");
        }
        if (head.status != 200) {
            return which + "(HTTP " + std::to_string(head.status) + ")";
        }
        const std::string ret = AnswerRet(answer);
        if (ret != "0") {
            std::string why = which;
            why += ret.empty() ? platform::Gbk("(应答无法识别)") : "(Ret " + ret + ")";
            return why;
        }
        if (chunk + 1 == chunks) {
            upload.media.media_id = AnswerValue(answer, "MediaId");
        }
    }
    if (upload.media.media_id.empty()) {
        return platform::Gbk("上传完成但服务没有给出MediaId");
    }
    return {};
}

std::string FileNameOf(std::string_view path) {
    return std::string(path.substr(path.rfind('/') + 1));
}

}  // namespace

std::string CheckMediaFile(std::string_view path, SendAs send_as) {
    const platform::FileReader file(path);
    if (!file.IsOpen()) {
        return platform::Gbk("无法读取文件：") + file.Error();
    }
    if (file.Size() == 0) {
        return platform::Gbk("文件是空的");
    }
    if (file.Size() > MaxSendBytes(send_as)) {
        return KindLimitText(send_as) + platform::Gbk("，未发送");
    }
    return {};
}

UploadResult UploadMedia(const protocol::ServiceLink& link, const protocol::ProtocolState& state,
                         std::string_view path, std::string_view to, SendAs send_as,
                         UploadCounter& counter, FileDigests* digests, std::string_view name) {
    UploadResult result;
    result.error = CheckMediaFile(path, send_as);
    if (!result.error.empty()) {
        return result;
    }
    platform::FileReader file(path);
    Upload upload{link, state, to, {}, {}, {}, file.ModifiedUnixMs(), counter.Next(), 0};
    upload.media.send_as = send_as;
    upload.media.name = name.empty() ? FileNameOf(path) : FileNameOf(name);
    upload.media.extension = ExtensionOf(upload.media.name);
    upload.media.size = file.Size();
    upload.client_media_id = link.clock.UnixMs() * 10 + upload.number % 10;

    // One buffer serves the digest pass and every chunk: the file never sits in memory whole.
    std::string body;
    body.reserve(UPLOAD_CHUNK_BYTES + 4096);
    body.resize(UPLOAD_CHUNK_BYTES);
    if (digests != nullptr) {
        upload.md5 = digests->Find(path, file.Version());
    }
    if (upload.md5.empty()) {
        platform::Md5 md5;
        std::uint64_t read = 0;
        for (std::size_t got = 0; (got = file.Read(body.data(), body.size())) > 0;) {
            md5.Update(std::string_view(body.data(), got));
            read += got;
        }
        upload.md5 = md5.HexDigest();
        if (!file.Error().empty() || read != upload.media.size || upload.md5.empty() ||
            !file.Rewind()) {
            result.error =
                platform::Gbk("读取文件失败：") +
                (file.Error().empty() ? platform::Gbk("文件在读取时被改动") : file.Error());
            return result;
        }
        if (digests != nullptr) {
            digests->Remember(path, file.Version(), upload.md5);
        }
    }
    if (upload.media.size > CHECK_UPLOAD_ABOVE) {
        result.error = CheckUpload(upload);
        if (!result.error.empty()) {
            return result;
        }
        if (!upload.media.media_id.empty()) {
            result.media = std::move(upload.media);
            return result;
        }
    }
    result.error = SendChunks(upload, file, body);
    if (result.error.empty()) {
        result.media = std::move(upload.media);
    }
    return result;
}

}  // namespace zelmo::media
