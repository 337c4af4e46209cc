#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "media/MediaKind.h"
#include "media/ReceivedMedia.h"
#include "protocol/ServiceLink.h"
#include "protocol/Session.h"

namespace zelmo::media {

// Where a download goes and what it may take.
struct DownloadPlace {
    std::string account_dir;  // the files land in <account_dir>/media/<YYYY-MM>/
    std::uint64_t max_bytes = DEFAULT_MAX_DOWNLOAD_BYTES;  // 媒体上限MB; a larger body is cut off
    std::uint64_t min_free_bytes = MIN_FREE_BYTES;         // below this the download is skipped
};

// The request that fetches one received message's media.
struct DownloadRequest {
    std::string url;
    std::vector<std::string> headers;  // extra header lines
};
DownloadRequest MediaDownloadRequest(const protocol::ServiceProfile& profile,
                                     const protocol::ProtocolState& state,
                                     const ReceivedMedia& media);

enum class DownloadStatus : std::uint8_t {
    Saved,
    Failed,    // the service gave no whole answer: worth another try
    TooLarge,  // the body passed the cap and was cut off; nothing kept
    NoSpace,   // too little free space to begin, or the disk refused the bytes
    Stopped,   // the run stops
};

struct DownloadOutcome {
    DownloadStatus status = DownloadStatus::Failed;
    std::string path;    // Saved: the file (file-system bytes, UTF-8)
    std::string reason;  // otherwise: why, for the log (GBK)
    int tries = 0;       // filled by the queue
};

// Fetches one message's media into its month folder: streamed into a temporary file there
// and renamed once whole, the cap enforced while reading. `stop` (may be null) aborts it at
// once. Blocks; any thread.
DownloadOutcome DownloadMedia(const protocol::ServiceLink& link,
                              const protocol::ProtocolState& state, const ReceivedMedia& media,
                              const DownloadPlace& place, const std::atomic<bool>* stop = nullptr);

}  // namespace zelmo::media
