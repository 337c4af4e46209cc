#include "media/Download.h"

#include "media/MediaNames.h"
#include "media/MediaRequests.h"
#include "platform/FileStream.h"
#include "platform/Files.h"
#include "platform/GbkLiteral.h"
#include "platform/WebClient.h"

namespace zelmo::media {

namespace {

constexpr std::string_view WEBWX = "/cgi-bin/mmwebwx-bin/";
// A whole file at a slow line; the time-out bounds the entire exchange.
constexpr int DOWNLOAD_TIMEOUT_S = 300;
constexpr std::size_t MAGIC_BYTES = 16;

// A header's value in the raw header text, the name matched without letter case.
std::string HeaderValue(std::string_view headers, std::string_view name) {
    std::size_t pos = 0;
    while (pos < headers.size()) {
        std::size_t end = headers.find("\r\n", pos);
        if (end == std::string_view::npos) {
            end = headers.size();
        }
        const std::string_view line = headers.substr(pos, end - pos);
        pos = end + 2;
        if (line.size() <= name.size() || line[name.size()] != ':') {
            continue;
        }
        bool same = true;
        for (std::size_t i = 0; i < name.size() && same; ++i) {
            const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c + 32) : c; };
            same = lower(line[i]) == lower(name[i]);
        }
        if (same) {
            std::string_view value = line.substr(name.size() + 1);
            while (!value.empty() && value.front() == ' ') {
                value.remove_prefix(1);
            }
            return std::string(value);
        }
    }
    return {};
}

std::string Megabytes(std::uint64_t bytes) {
    return std::to_string((bytes + MIB - 1) / MIB);
}

DownloadOutcome Outcome(DownloadStatus status, std::string reason) {
    DownloadOutcome outcome;
    outcome.status = status;
    outcome.reason = std::move(reason);
    return outcome;
}

}  // namespace

DownloadRequest MediaDownloadRequest(const protocol::ServiceProfile& profile,
                                     const protocol::ProtocolState& state,
                                     const ReceivedMedia& media) {
    const protocol::Session& session = state.session;
    const std::string skey = "%40" + PercentEncode(session.skey);
    const std::string msg_id = PercentEncode(media.MsgId);
    DownloadRequest request;
    switch (media.kind) {
        case MediaKind::Picture:
            request.url = protocol::WebUrl(profile, session.fun) + std::string(WEBWX) +
                          "webwxgetmsgimg?MsgID=" + msg_id + "&skey=" + skey;
            break;
        case MediaKind::Voice:
            request.url = protocol::WebUrl(profile, session.fun) + std::string(WEBWX) +
                          "webwxgetvoice?msgid=" + msg_id + "&skey=" + skey;
            break;
        case MediaKind::Video:
            request.url = protocol::WebUrl(profile, session.fun) + std::string(WEBWX) +
                          "webwxgetvideo?msgid=" + msg_id + "&skey=" + skey;
            // Without it the service answers nothing.
            request.headers.emplace_back("Range: bytes=0-");
            break;
        case MediaKind::File:
            // pass_ticket is kept as the service wrote it, already URL-encoded.
            request.url = protocol::FileUrl(profile, session.fun) + std::string(WEBWX) +
                          "webwxgetmedia?sender=" + PercentEncode(media.FromUserName) +
                          "&mediaid=" + PercentEncode(media.MediaId) +
                          "&encryfilename=" + PercentEncode(media.EncryFileName) +
                          "&fromuser=" + PercentEncode(session.uin) +
                          "&pass_ticket=" + session.pass_ticket + "&webwx_data_ticket=" +
                          PercentEncode(CookieValue(session.cookies, "webwx_data_ticket"));
            break;
    }
    // The file's bytes as they are: a compressed body would be saved compressed.
    request.headers.emplace_back("Accept-Encoding: identity");
    return request;
}

DownloadOutcome DownloadMedia(const protocol::ServiceLink& link,
                              const protocol::ProtocolState& state, const ReceivedMedia& media,
                              const DownloadPlace& place, const std::atomic<bool>* stop) {
    if (place.account_dir.empty()) {
        return Outcome(DownloadStatus::NoSpace, platform::Gbk("没有账号文件夹，未下载"));
    }
    const std::string folder = MediaFolder(place.account_dir, link.clock.UnixMs());
    if (!platform::MakeDirectories(folder)) {
        return Outcome(DownloadStatus::NoSpace, platform::Gbk("无法创建媒体文件夹，未下载"));
    }
    const std::optional<std::uint64_t> free_bytes = platform::FreeBytes(folder);
    if (free_bytes && *free_bytes < place.min_free_bytes) {
        return Outcome(DownloadStatus::NoSpace, platform::Gbk("磁盘剩余空间不足") +
                                                    Megabytes(place.min_free_bytes) +
                                                    platform::Gbk("MB，跳过下载"));
    }
    platform::PartFile part(folder);
    if (!part.IsOpen()) {
        return Outcome(DownloadStatus::NoSpace, platform::Gbk("无法写入媒体文件：") + part.Error());
    }

    bool too_large = false;
    bool write_failed = false;
    std::string first_bytes;
    const platform::BodySink sink = [&](std::string_view bytes) {
        if (stop != nullptr && stop->load()) {
            return false;
        }
        if (bytes.size() > place.max_bytes - part.Written()) {
            too_large = true;
            return false;
        }
        if (first_bytes.size() < MAGIC_BYTES) {
            first_bytes.append(bytes.substr(0, MAGIC_BYTES - first_bytes.size()));
        }
        if (!part.Write(bytes)) {
            write_failed = true;
            return false;
        }
        return true;
    };
    const DownloadRequest request = MediaDownloadRequest(link.profile, state, media);
    std::vector<std::string_view> headers(request.headers.begin(), request.headers.end());
    platform::AnswerHead head;
    platform::RequestOptions options;
    options.cookie_header = state.session.cookies;
    options.timeout_s = DOWNLOAD_TIMEOUT_S;
    options.extra_headers = headers;
    options.head = &head;
    options.sink = &sink;
    options.cancel = stop;
    // The sink keeps the cap itself and so can tell it from a broken answer.
    options.max_body_bytes = place.max_bytes + MIB;
    link.web.Request(request.url, options);

    if (stop != nullptr && stop->load()) {
        return Outcome(DownloadStatus::Stopped, platform::Gbk("已停止"));
    }
    if (too_large) {
        return Outcome(DownloadStatus::TooLarge, platform::Gbk("文件超过") +
                                                     Megabytes(place.max_bytes) +
                                                     platform::Gbk("MB上限，已截断删除"));
    }
    if (write_failed) {
        return Outcome(DownloadStatus::NoSpace, platform::Gbk("写入媒体文件失败：") + part.Error());
    }
    if (!head.complete) {
        return Outcome(DownloadStatus::Failed, platform::Gbk("下载中断"));
    }
    if (head.status != 200 && head.status != 206) {
        return Outcome(DownloadStatus::Failed,
                       platform::Gbk("下载失败(HTTP ") + std::to_string(head.status) + ")");
    }
    if (part.Written() == 0) {
        return Outcome(DownloadStatus::Failed, platform::Gbk("服务没有给出内容"));
    }
    if (HeaderValue(head.headers, "Content-Encoding").find("gzip") != std::string::npos) {
        return Outcome(DownloadStatus::Failed, platform::Gbk("服务给出了压缩的内容"));
    }
    const std::string extension =
        MediaExtension(HeaderValue(head.headers, "Content-Type"), first_bytes, media.FileName);
    // Only a file's own name says anything; a picture's is the service's invention.
    const std::string path =
        folder + "/" +
        MediaFileName(media.MsgId, extension,
                      media.kind == MediaKind::File ? std::string_view(media.FileName) : "");
    if (!part.Commit(path)) {
        return Outcome(DownloadStatus::NoSpace, platform::Gbk("写入媒体文件失败：") + part.Error());
    }
    DownloadOutcome saved;
    saved.status = DownloadStatus::Saved;
    saved.path = path;
    return saved;
}

}  // namespace zelmo::media
