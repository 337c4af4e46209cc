#include "app/ArchiveContext.h"

#include <algorithm>
#include <limits>
#include <string>

#include "app/ArchiveRows.h"
#include "app/Robot.h"

namespace zelmo::app {

std::vector<ai::ChatTurn> ArchiveContext::Turns(std::string_view user_name, std::size_t count,
                                                std::int64_t until_unix_ms) {
    const std::string key = m_robot.Keys().KeyOf(user_name);
    if (key.empty() || count == 0) {
        return {};
    }
    std::lock_guard lock(m_mutex);
    if (!m_reader) {
        const std::string path = m_robot.Archive().Path();
        if (path.empty()) {
            return {};
        }
        std::string error;
        m_reader = store::ArchiveReader::Open(path, &error);
        if (!m_reader) {
            return {};
        }
    }
    const int limit =
        static_cast<int>(std::min<std::size_t>(count, std::numeric_limits<int>::max()));
    std::vector<ai::ChatTurn> turns;
    for (const store::ArchiveRow& row : m_reader->LastRows(limit, key, until_unix_ms).rows) {
        if (std::optional<ai::ChatTurn> turn = ContextTurnOf(row)) {
            turns.push_back(std::move(*turn));
        }
    }
    return turns;
}

}  // namespace zelmo::app
