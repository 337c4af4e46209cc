#pragma once

#include <cstddef>
#include <cstdint>

namespace zelmo::media {

// What a received message carries, as far as downloading goes. Each kind has its own
// download queue.
enum class MediaKind : std::uint8_t { Picture, Voice, Video, File };
inline constexpr std::size_t MEDIA_KIND_COUNT = 4;

// How a file goes out: each has its own send request.
enum class SendAs : std::uint8_t { Picture, Video, File, Emoticon };

inline constexpr std::uint64_t MIB = std::uint64_t{1} << 20;
// The most the service takes per kind; larger files are refused before any request.
inline constexpr std::uint64_t MAX_PICTURE_BYTES = 20 * MIB;
inline constexpr std::uint64_t MAX_VIDEO_BYTES = 20 * MIB;
inline constexpr std::uint64_t MAX_FILE_BYTES = 100 * MIB;
// Above this the service is asked first whether it has the file already.
inline constexpr std::uint64_t CHECK_UPLOAD_ABOVE = 25 * MIB;
// The service takes uploads in pieces of at most this many bytes.
inline constexpr std::size_t UPLOAD_CHUNK_BYTES = 524288;

// The settings' defaults: pictures and voice are downloaded, 50 MB at most per file, and
// nothing while the disk has less than 1 GB free.
inline constexpr int DOWNLOAD_PICTURES_AND_VOICE = 1;
inline constexpr std::uint64_t DEFAULT_MAX_DOWNLOAD_BYTES = 50 * MIB;
inline constexpr std::uint64_t MIN_FREE_BYTES = 1024 * MIB;

// The 媒体下载 setting: 0 downloads nothing, 1 pictures and voice, 2 every kind.
bool WantsDownload(MediaKind kind, int download_mode);

// The most bytes a file may have to go out as `send_as`.
std::uint64_t MaxSendBytes(SendAs send_as);

}  // namespace zelmo::media
