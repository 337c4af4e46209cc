#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "media/FileDigests.h"
#include "media/MediaKind.h"
#include "protocol/ServiceLink.h"
#include "protocol/Session.h"

namespace zelmo::media {

// Numbers the uploads of a run: the form's "WU_FILE_<n>" and the ClientMediaId. Any thread.
class UploadCounter {
public:
    int Next() { return m_next.fetch_add(1); }

private:
    std::atomic<int> m_next{0};
};

// A file the service now holds, ready to be sent (as often as wanted) by its MediaId.
struct UploadedMedia {
    SendAs send_as = SendAs::File;
    std::string media_id;
    std::string signature;  // from a check-upload; a file send repeats it
    std::string name;       // the file's name (UTF-8, no folders)
    std::string extension;  // lowercase, no dot
    std::uint64_t size = 0;
};

struct UploadResult {
    std::optional<UploadedMedia> media;  // set when uploaded
    std::string error;                   // otherwise why (GBK), for the log
};

// Whether `path` may go out as `send_as`: readable, not empty, not above the kind's limit.
// Empty when it may; otherwise why not (GBK). Makes no request.
std::string CheckMediaFile(std::string_view path, SendAs send_as);

// Uploads a file for a send to `to`: CheckMediaFile first, then for a file over 25 MB
// webwxcheckupload (which may find the service has it already), then webwxuploadmedia on the
// file host in chunks of UPLOAD_CHUNK_BYTES read from the file one at a time. A chunk the
// service refuses ends the upload (the error names the chunk and the answer). The file's MD5
// comes from `digests` when it knows this version of the file, and is kept there otherwise
// (may be null). The service sees the file as `name` (UTF-8, its extension telling the
// kind), or by the path's own name when that is empty: a file kept under an id still goes
// out under its real name. Blocks; any thread.
UploadResult UploadMedia(const protocol::ServiceLink& link, const protocol::ProtocolState& state,
                         std::string_view path, std::string_view to, SendAs send_as,
                         UploadCounter& counter, FileDigests* digests = nullptr,
                         std::string_view name = {});

}  // namespace zelmo::media
