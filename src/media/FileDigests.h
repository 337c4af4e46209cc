#pragma once

#include <cstddef>
#include <deque>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>

#include "platform/FileStream.h"

namespace zelmo::media {

// The MD5 of files uploaded before, by path and version, so the same reply picture sent
// again is not read twice before its first chunk (the digest goes in every chunk's request).
// Holds the newest MAX_FILES files. Any thread.
class FileDigests {
public:
    static constexpr std::size_t MAX_FILES = 256;

    // The digest of this version of the file at `path`; empty when it is not known.
    std::string Find(std::string_view path, const platform::FileVersion& version) const;
    void Remember(std::string_view path, const platform::FileVersion& version, std::string md5);

private:
    struct Entry {
        platform::FileVersion version;
        std::string md5;
    };

    mutable std::mutex m_mutex;
    std::unordered_map<std::string, Entry> m_files;
    std::deque<std::string> m_order;  // each path once, oldest first
};

}  // namespace zelmo::media
