#include <openssl/evp.h>

#include <algorithm>

#include "sim/MediaSamples.h"
#include "sim/RouteChecks.h"
#include "sim/SimulatorImpl.h"
#include "sim/Tokens.h"

namespace sim {
namespace {

using Impl = Simulator::Impl;

constexpr std::size_t CHUNK_BYTES = 524288;
constexpr std::uint64_t MAX_UPLOAD_BYTES = std::uint64_t{100} << 20;
// The uploads' bytes kept for inspection; older ones are dropped, so a long run (a benchmark)
// neither grows without end nor pays for fresh memory on every upload.
constexpr std::uint64_t MAX_KEPT_UPLOAD_BYTES = std::uint64_t{64} << 20;
// The form's fields in the web client's order; the chunk fields only for several chunks.
constexpr std::string_view FIELDS_ONE[] = {"id",
                                           "name",
                                           "type",
                                           "lastModifiedDate",
                                           "size",
                                           "mediatype",
                                           "uploadmediarequest",
                                           "webwx_data_ticket",
                                           "pass_ticket",
                                           "filename"};
constexpr std::string_view FIELDS_MANY[] = {
    "id",          "name",    "type",      "lastModifiedDate",   "size",
    "chunks",      "chunk",   "mediatype", "uploadmediarequest", "webwx_data_ticket",
    "pass_ticket", "filename"};

// A part of the form; its value points into the request's body.
struct FormPart {
    std::string name;
    std::string file_name;
    bool is_file = false;
    std::string_view value;
};

// The value of `key="..."` in a Content-Disposition line.
std::string DispositionValue(std::string_view line, std::string_view key) {
    const std::string marker = "; " + std::string(key) + "=\"";
    const std::size_t at = line.find(marker);
    if (at == std::string_view::npos) {
        return {};
    }
    const std::size_t start = at + marker.size();
    const std::size_t end = line.find('"', start);
    return end == std::string_view::npos ? std::string()
                                         : std::string(line.substr(start, end - start));
}

// multipart/form-data as browsers write it; false when it is not well formed.
bool ParseForm(const HttpRequest& request, std::vector<FormPart>& parts) {
    const std::string type = HeaderValue(request.headers, "Content-Type");
    const std::string marker = "multipart/form-data; boundary=";
    if (type.rfind(marker, 0) != 0) {
        return false;
    }
    const std::string delimiter = "--" + type.substr(marker.size());
    const std::string_view body = request.body;
    if (body.rfind(delimiter, 0) != 0) {
        return false;
    }
    std::size_t pos = delimiter.size();
    for (;;) {
        if (body.substr(pos, 2) == "--") {
            return body.substr(pos) == "--\r\n" || body.substr(pos) == "--";
        }
        if (body.substr(pos, 2) != "\r\n") {
            return false;
        }
        pos += 2;
        const std::size_t head_end = body.find("\r\n\r\n", pos);
        if (head_end == std::string_view::npos) {
            return false;
        }
        const std::string_view head = body.substr(pos, head_end - pos);
        const std::size_t content = head_end + 4;
        const std::size_t end = body.find("\r\n" + delimiter, content);
        if (end == std::string_view::npos) {
            return false;
        }
        FormPart part;
        part.name = DispositionValue(head, "name");
        part.is_file = head.find("; filename=\"") != std::string_view::npos;
        part.file_name = DispositionValue(head, "filename");
        part.value = body.substr(content, end - content);
        parts.push_back(std::move(part));
        pos = end + 2 + delimiter.size();
    }
}

const FormPart* Field(const std::vector<FormPart>& parts, std::string_view name) {
    for (const FormPart& part : parts) {
        if (part.name == name) {
            return &part;
        }
    }
    return nullptr;
}

std::string Md5Hex(std::string_view bytes) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_Digest(bytes.data(), bytes.size(), digest, &length, EVP_md5(), nullptr);
    static constexpr char HEX[] = "0123456789abcdef";
    std::string text;
    for (unsigned int i = 0; i < length; ++i) {
        text.push_back(HEX[digest[i] >> 4]);
        text.push_back(HEX[digest[i] & 0x0F]);
    }
    return text;
}

bool IsMd5Text(const std::string& text) {
    return text.size() == 32 && std::all_of(text.begin(), text.end(), [](char c) {
               return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
           });
}

bool ParseSize(const std::string& text, std::uint64_t& value) {
    if (text.empty() || text.size() > 19 ||
        !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return false;
    }
    value = std::stoull(text);
    return true;
}

// The BaseRequest every media request carries, checked against the session.
bool BaseRequestMatches(const Impl& impl, const Json& body) {
    const auto base = body.find("BaseRequest");
    if (base == body.end() || !base->is_object()) {
        return false;
    }
    const auto text = [&](const char* key) {
        const auto it = base->find(key);
        return it == base->end() ? std::string("\x01missing") : JsonScalarText(*it);
    };
    return text("Uin") == impl.session.uin && text("Sid") == impl.session.sid &&
           text("Skey") == impl.session.skey && text("DeviceID").size() == 16;
}

bool KnownReceiverLocked(const Impl& impl, const std::string& to) {
    return to == "filehelper" || to == impl.session.user_name ||
           impl.FindContactLocked(to) != nullptr;
}

std::string_view MediaTypeFor(std::string_view file_name) {
    const std::size_t dot = file_name.rfind('.');
    std::string extension;
    if (dot != std::string_view::npos) {
        for (const char c : file_name.substr(dot + 1)) {
            extension.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
        }
    }
    if (extension == "bmp" || extension == "png" || extension == "jpeg" || extension == "jpg") {
        return "pic";
    }
    return extension == "mp4" ? "video" : "doc";
}

}  // namespace

const Impl::Upload* Impl::UploadOfMediaLocked(std::string_view media_id) const {
    for (const Upload& upload : uploads) {
        if (upload.done && upload.record.media_id == media_id) {
            return &upload;
        }
    }
    return nullptr;
}

void Impl::DigestUploadLocked(Upload& upload) {
    if (upload.done && upload.record.bytes_md5.empty() && !upload.bytes.empty()) {
        upload.record.bytes_md5 = Md5Hex(upload.bytes);
    }
}

void Impl::MakeRoomForUploadLocked(std::uint64_t more) {
    std::uint64_t kept = more;
    for (auto it = uploads.rbegin(); it != uploads.rend(); ++it) {
        kept += it->bytes.size();
        // The newest stay; older ones keep their record, the MediaId and the stated MD5.
        if (kept > MAX_KEPT_UPLOAD_BYTES && it->done) {
            kept -= it->bytes.size();
            std::string().swap(it->bytes);
        }
    }
}

// webwxgetmsgimg, webwxgetvoice, webwxgetvideo: the media of a delivered message.
HttpResponse Impl::MediaDownload(const HttpRequest& request, const std::string& host,
                                 const std::string& name) {
    std::lock_guard lock(mutex);
    Json body;
    Check check{Envelope::None};
    check.pass_ticket = false;
    const int ret = CheckSession(*this, request, host, check, body);
    HttpResponse missing = Text("", "text/html");
    missing.status = 404;
    if (ret != 0) {
        return missing;
    }
    const bool picture = name == "webwxgetmsgimg";
    const std::string msg_id = QueryValue(request.query, picture ? "MsgID" : "msgid");
    const auto found = media_messages.find(msg_id);
    const auto fits = [&](MessageKind kind) {
        if (picture) {
            return kind == MessageKind::Picture || kind == MessageKind::Sticker;
        }
        return kind == (name == "webwxgetvoice" ? MessageKind::Voice : MessageKind::Video);
    };
    if (found == media_messages.end() || !fits(found->second.kind)) {
        ViolationLocked(name + ": no such media message " + msg_id);
        return missing;
    }
    const std::string& bytes = MediaSample(found->second.kind);
    HttpResponse response = Text("", std::string(MediaContentType(found->second.kind)));
    if (name != "webwxgetvideo") {
        response.body = bytes;
        return response;
    }
    // Video comes only in ranges; without one the answer is empty.
    response.headers.emplace_back("Accept-Ranges", "bytes");
    const std::string range = HeaderValue(request.headers, "Range");
    if (range.rfind("bytes=", 0) != 0) {
        return response;
    }
    const std::string bounds = range.substr(6);
    const std::size_t dash = bounds.find('-');
    std::uint64_t first = 0;
    std::uint64_t last = bytes.size() - 1;
    if (dash == std::string::npos || !ParseSize(bounds.substr(0, dash), first) ||
        (dash + 1 < bounds.size() && !ParseSize(bounds.substr(dash + 1), last)) || first > last ||
        first >= bytes.size()) {
        response.status = 416;
        response.headers.emplace_back("Content-Range", "bytes */" + std::to_string(bytes.size()));
        return response;
    }
    last = std::min<std::uint64_t>(last, bytes.size() - 1);
    response.status = 206;
    response.headers.emplace_back("Content-Range", "bytes " + std::to_string(first) + "-" +
                                                       std::to_string(last) + "/" +
                                                       std::to_string(bytes.size()));
    response.body = bytes.substr(first, last - first + 1);
    return response;
}

// webwxgetmedia on the file host: a received file, named by its sender, MediaId and name.
HttpResponse Impl::FileDownload(const HttpRequest& request, const std::string& host) {
    std::lock_guard lock(mutex);
    Json body;
    Check check{Envelope::None};
    check.skey_in_query = false;
    check.host = &file_variant;
    HttpResponse missing = Text("", "text/html");
    missing.status = 404;
    if (CheckSession(*this, request, host, check, body) != 0) {
        return missing;
    }
    const std::string& query = request.query;
    if (UrlDecode(QueryValue(query, "webwx_data_ticket")) != session.data_ticket ||
        UrlDecode(QueryValue(query, "fromuser")) != session.uin) {
        ViolationLocked("webwxgetmedia: webwx_data_ticket or fromuser does not match");
        return missing;
    }
    const std::string media_id = UrlDecode(QueryValue(query, "mediaid"));
    const std::string sender = UrlDecode(QueryValue(query, "sender"));
    const std::string name = HasQueryKey(query, "encryfilename")
                                 ? UrlDecode(QueryValue(query, "encryfilename"))
                                 : UrlDecode(QueryValue(query, "filename"));
    for (const auto& [msg_id, message] : media_messages) {
        if (message.kind == MessageKind::File && message.media_id == media_id &&
            message.from == sender && message.file_name == name) {
            HttpResponse response =
                Text(MediaSample(MessageKind::File), std::string(MediaContentType(message.kind)));
            response.headers.emplace_back("Content-Disposition",
                                          "attachment; filename=\"" + UrlEncode(name) + "\"");
            return response;
        }
    }
    ViolationLocked("webwxgetmedia: no file " + media_id + " from " + sender + " named " + name);
    return missing;
}

HttpResponse Impl::CheckUpload(const HttpRequest& request, const std::string& host) {
    std::lock_guard lock(mutex);
    Json body;
    Check check{Envelope::Full};
    check.skey_in_query = false;
    check.pass_ticket = false;
    int ret = CheckSession(*this, request, host, check, body);
    std::string media_id;
    Promise promise;
    if (ret == 0) {
        const std::string md5 = body.value("FileMd5", std::string());
        const Json size = body.value("FileSize", Json());
        if (!IsMd5Text(md5) || !size.is_number_unsigned() || body.value("FileType", -1) != 7 ||
            body.value("FromUserName", std::string()) != session.user_name ||
            !body.contains("FileName") || !body["FileName"].is_string() ||
            !KnownReceiverLocked(*this, body.value("ToUserName", std::string()))) {
            ViolationLocked("webwxcheckupload: FileMd5, FileSize, FileType or user names wrong");
            ret = -1;
        } else {
            // The service keeps what it was given: a file it has needs no upload.
            for (const Upload& upload : uploads) {
                // Whether the stated MD5 was true the uploads' listing tells.
                if (upload.done && upload.record.size == size.get<std::uint64_t>() &&
                    upload.record.file_md5 == md5) {
                    media_id = upload.record.media_id;
                }
            }
            if (media_id.empty()) {
                promise = {RandomHex(random, 32), RandomHex(random, 64)};
                check_promises[md5] = promise;
            }
        }
    }
    return Text(CheckUploadAnswer(ret, media_id, promise.aes_key, promise.signature));
}

HttpResponse Impl::UploadMedia(const HttpRequest& request, const std::string& host) {
    std::lock_guard lock(mutex);
    Json unused;
    Check check{Envelope::None};
    check.skey_in_query = false;
    check.pass_ticket = false;
    check.host = &file_variant;
    int ret = CheckSession(*this, request, host, check, unused);
    const auto refuse = [&](const std::string& why) {
        ViolationLocked("webwxuploadmedia: " + why);
        return Text(UploadMediaAnswer(-1, "", 0));
    };
    if (ret != 0) {
        return Text(UploadMediaAnswer(ret, "", 0));
    }
    if (QueryValue(request.query, "f") != "json") {
        ViolationLocked("webwxuploadmedia: f=json missing");
    }
    std::vector<FormPart> parts;
    if (!ParseForm(request, parts)) {
        return refuse("the body is not multipart/form-data");
    }
    const bool several = Field(parts, "chunks") != nullptr;
    std::vector<std::string_view> names;
    names.reserve(parts.size());
    for (const FormPart& part : parts) {
        names.push_back(part.name);
    }
    const bool in_order =
        several
            ? std::equal(names.begin(), names.end(), std::begin(FIELDS_MANY), std::end(FIELDS_MANY))
            : std::equal(names.begin(), names.end(), std::begin(FIELDS_ONE), std::end(FIELDS_ONE));
    if (!in_order) {
        return refuse("the form's fields are missing or out of order");
    }
    const auto value = [&](std::string_view name) {
        return std::string(Field(parts, name)->value);
    };
    const FormPart& file = *Field(parts, "filename");
    if (value("webwx_data_ticket") != session.data_ticket ||
        value("pass_ticket") != session.pass_ticket) {
        return refuse("webwx_data_ticket or pass_ticket does not match");
    }
    if (!file.is_file || file.file_name != value("name")) {
        return refuse("the file part is not a file named as the form says");
    }
    const Json upload_request = Json::parse(value("uploadmediarequest"), nullptr, false);
    std::uint64_t size = 0;
    if (!ParseSize(value("size"), size) || size == 0) {
        return refuse("size is not a number");
    }
    if (upload_request.is_discarded() || !upload_request.is_object() ||
        upload_request.value("UploadType", -1) != 2 || upload_request.value("MediaType", -1) != 4 ||
        upload_request.value("StartPos", Json()) != 0 ||
        upload_request.value("TotalLen", Json()) != size ||
        upload_request.value("DataLen", Json()) != size ||
        !upload_request.value("ClientMediaId", Json()).is_number_unsigned() ||
        !BaseRequestMatches(*this, upload_request) ||
        upload_request.value("FromUserName", std::string()) != session.user_name ||
        !KnownReceiverLocked(*this, upload_request.value("ToUserName", std::string())) ||
        !IsMd5Text(upload_request.value("FileMd5", std::string()))) {
        return refuse("uploadmediarequest is malformed or does not match the form");
    }
    if (value("mediatype") != MediaTypeFor(value("name"))) {
        return refuse("mediatype " + value("mediatype") + " does not fit " + value("name"));
    }
    if (size > MAX_UPLOAD_BYTES) {
        HttpResponse over = Text("", "text/html");
        over.status = 402;
        return over;
    }
    const std::size_t chunks = static_cast<std::size_t>((size + CHUNK_BYTES - 1) / CHUNK_BYTES);
    std::uint64_t chunk = 0;
    std::uint64_t named_chunks = 1;
    if (several && (!ParseSize(value("chunks"), named_chunks) ||
                    !ParseSize(value("chunk"), chunk) || chunk >= named_chunks)) {
        return refuse("chunks or chunk is not a number in range");
    }
    if (named_chunks != chunks || (chunks > 1) != several) {
        return refuse("the chunk count does not fit the size");
    }
    const std::size_t expected =
        chunk + 1 < chunks ? CHUNK_BYTES : static_cast<std::size_t>(size - chunk * CHUNK_BYTES);
    if (file.value.size() != expected) {
        return refuse("chunk " + std::to_string(chunk) + " has " +
                      std::to_string(file.value.size()) + " bytes instead of " +
                      std::to_string(expected));
    }
    const std::string client_id = JsonScalarText(upload_request["ClientMediaId"]);
    auto current = std::find_if(uploads.begin(), uploads.end(), [&](const Upload& upload) {
        return upload.record.client_media_id == client_id && !upload.record.failed;
    });
    if (current == uploads.end()) {
        if (chunk != 0) {
            return refuse("chunk " + std::to_string(chunk) + " of an upload that never began");
        }
        Upload fresh;
        fresh.record.client_media_id = client_id;
        fresh.record.name = value("name");
        fresh.record.type = value("type");
        fresh.record.media_type = value("mediatype");
        fresh.record.to = upload_request.value("ToUserName", std::string());
        fresh.record.size = size;
        fresh.record.chunks = chunks;
        fresh.record.file_md5 = upload_request.value("FileMd5", std::string());
        MakeRoomForUploadLocked(size);
        fresh.bytes.reserve(size);
        fresh.form_id = value("id");
        fresh.request_json = value("uploadmediarequest");
        const auto promise = check_promises.find(fresh.record.file_md5);
        if (promise != check_promises.end()) {
            if (upload_request.value("AESKey", std::string()) != promise->second.aes_key ||
                upload_request.value("Signature", std::string()) != promise->second.signature) {
                ViolationLocked(
                    "webwxuploadmedia: the check-upload's AESKey and Signature are "
                    "missing");
            } else {
                fresh.record.checked = true;
            }
        }
        uploads.push_back(std::move(fresh));
        current = uploads.end() - 1;
    }
    Upload& upload = *current;
    if (value("id") != upload.form_id || value("uploadmediarequest") != upload.request_json ||
        value("name") != upload.record.name || size != upload.record.size) {
        upload.record.failed = true;
        std::string().swap(upload.bytes);
        return refuse("a chunk's id, name, size or uploadmediarequest changed within the upload");
    }
    const bool repeat =
        upload.next_chunk > 0 && chunk + 1 == upload.next_chunk &&
        file.value.size() == upload.last_chunk_bytes &&
        std::string_view(upload.bytes).substr(upload.bytes.size() - upload.last_chunk_bytes) ==
            file.value;
    if (!repeat && chunk != upload.next_chunk) {
        upload.record.failed = true;
        std::string().swap(upload.bytes);
        return refuse("chunk " + std::to_string(chunk) + " came instead of chunk " +
                      std::to_string(upload.next_chunk));
    }
    if (!repeat && fail_chunk >= 0 && chunk == static_cast<std::uint64_t>(fail_chunk)) {
        fail_chunk = -1;
        upload.record.failed = true;
        std::string().swap(upload.bytes);
        return Text(UploadMediaAnswer(fail_chunk_ret, "", 0));
    }
    if (!repeat) {
        upload.bytes += file.value;
        upload.last_chunk_bytes = file.value.size();
        ++upload.next_chunk;
        ++upload.record.chunks_received;
        if (upload.next_chunk == chunks) {
            upload.done = true;
            upload.record.media_id =
                "@crypt_" + RandomHex(random, 32) + "_" + RandomHex(random, 64);
        }
    }
    const bool last = chunk + 1 == chunks;
    return Text(UploadMediaAnswer(0, last ? upload.record.media_id : "",
                                  std::min<std::uint64_t>(size, (chunk + 1) * CHUNK_BYTES)));
}

HttpResponse Impl::SendMedia(const HttpRequest& request, const std::string& host,
                             const std::string& name) {
    std::lock_guard lock(mutex);
    Json body;
    Check check{Envelope::Full};
    check.skey_in_query = false;
    int ret = CheckSession(*this, request, host, check, body);
    MediaSendRecord record;
    record.endpoint = name;
    record.at_ms = NowMs();
    std::string local_id;
    const auto msg = body.find("Msg");
    if (ret == 0 && (msg == body.end() || !msg->is_object())) {
        ViolationLocked(name + ": Msg missing");
        ret = -1;
    }
    if (ret == 0) {
        record.type = msg->value("Type", 0);
        record.from = msg->value("FromUserName", std::string());
        record.to = msg->value("ToUserName", std::string());
        record.media_id = msg->value("MediaId", std::string());
        record.content = msg->value("Content", std::string());
        record.signature = msg->value("Signature", std::string());
        record.client_msg_id =
            msg->contains("ClientMsgId") ? JsonScalarText((*msg)["ClientMsgId"]) : "";
        record.local_id = msg->contains("LocalID") ? JsonScalarText((*msg)["LocalID"]) : "";
        local_id = record.local_id;
        const bool file = name == "webwxsendappmsg";
        const int type = name == "webwxsendmsgimg"     ? 3
                         : name == "webwxsendvideomsg" ? 43
                         : file                        ? 6
                                                       : 47;
        const std::string fun = name == "webwxsendemoticon" ? "sys" : "async";
        if (file) {
            // The attachment's id stands inside the XML.
            const std::size_t at = record.content.find("<attachid>");
            const std::size_t end = record.content.find("</attachid>");
            if (at != std::string::npos && end != std::string::npos && end > at) {
                record.media_id = record.content.substr(at + 10, end - at - 10);
            }
        }
        const Upload* upload = UploadOfMediaLocked(record.media_id);
        if (upload != nullptr) {
            record.file_name = upload->record.name;
            record.size = upload->record.size;
        }
        if (QueryValue(request.query, "fun") != fun || QueryValue(request.query, "f") != "json") {
            ViolationLocked(name + ": fun=" + fun + "&f=json missing");
        }
        if (record.type != type || record.from != session.user_name ||
            record.client_msg_id.empty() || record.client_msg_id != record.local_id ||
            body.value("Scene", -1) != 0) {
            ViolationLocked(name + ": Type, FromUserName, ids or Scene wrong");
            ret = -1;
        } else if (upload == nullptr) {
            ViolationLocked(name + ": MediaId " + record.media_id + " was never uploaded");
            ret = 1;
        } else if (name == "webwxsendemoticon" && msg->value("EmojiFlag", -1) != 2) {
            ViolationLocked(name + ": EmojiFlag is not 2");
            ret = -1;
        } else if ((type == 3 || type == 43) &&
                   (!msg->contains("Content") || !record.content.empty())) {
            ViolationLocked(name + ": Content is not empty");
            ret = -1;
        } else if (file &&
                   (record.content.rfind("<appmsg appid='wxeb7ec651dd0aefa9' sdkver=''><title>",
                                         0) != 0 ||
                    record.content.find("<type>6</type>") == std::string::npos ||
                    record.content.find("<totallen>" + std::to_string(upload->record.size) +
                                        "</totallen>") == std::string::npos ||
                    (upload->record.checked &&
                     record.signature != check_promises[upload->record.file_md5].signature))) {
            ViolationLocked(name + ": the appmsg XML or the Signature is wrong");
            ret = -1;
        } else if (refuse_left != 0) {
            refuse_left -= refuse_left > 0 ? 1 : 0;
            record.ret = refuse_ret;
            media_sends.push_back(record);
            request_seen.notify_all();
            return Text(SendMsgAnswer(refuse_ret, "", ""));
        } else if (!KnownReceiverLocked(*this, record.to)) {
            ret = 1204;
        }
        record.ret = ret;
        if (ret == 0) {
            record.msg_id = RandomDigits(random, 19);
            CheckMessageIdsLocked(
                *this,
                SentMessage{record.from, record.to, record.content, record.type,
                            record.client_msg_id, record.local_id, 0, record.at_ms},
                name);
        }
        if (ret != -1) {
            media_sends.push_back(record);
            request_seen.notify_all();
            if (options.traffic) {
                options.traffic("<- " + DisplayNameLocked(record.to) + ": (" + name.substr(5) +
                                ") " + record.file_name +
                                (ret == 0 ? "" : " (Ret " + std::to_string(ret) + ")"));
            }
        }
    }
    return Text(SendMsgAnswer(ret, record.msg_id.empty() ? RandomDigits(random, 19) : record.msg_id,
                              local_id));
}

}  // namespace sim
