#include "media/FileDigests.h"

#include <utility>

namespace zelmo::media {

std::string FileDigests::Find(std::string_view path, const platform::FileVersion& version) const {
    const std::lock_guard lock(m_mutex);
    const auto found = m_files.find(std::string(path));
    if (found == m_files.end() || !(found->second.version == version)) {
        return {};
    }
    return found->second.md5;
}

void FileDigests::Remember(std::string_view path, const platform::FileVersion& version,
                           std::string md5) {
    const std::lock_guard lock(m_mutex);
    auto [entry, added] =
        m_files.insert_or_assign(std::string(path), Entry{version, std::move(md5)});
    if (!added) {
        return;
    }
    m_order.push_back(entry->first);
    if (m_order.size() > MAX_FILES) {
        m_files.erase(m_order.front());
        m_order.pop_front();
    }
}

}  // namespace zelmo::media
