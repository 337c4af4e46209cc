#include "media/MediaKind.h"

namespace zelmo::media {

bool WantsDownload(MediaKind kind, int download_mode) {
    if (download_mode >= 2) {
        return true;
    }
    return download_mode == 1 && (kind == MediaKind::Picture || kind == MediaKind::Voice);
}

std::uint64_t MaxSendBytes(SendAs send_as) {
    switch (send_as) {
        case SendAs::Picture:
        case SendAs::Emoticon:
            return MAX_PICTURE_BYTES;
        case SendAs::Video:
            return MAX_VIDEO_BYTES;
        case SendAs::File:
            return MAX_FILE_BYTES;
    }
    return MAX_FILE_BYTES;
}

}  // namespace zelmo::media
