#include "app/ArchiveContext.h"

#include <algorithm>
#include <limits>
#include <string>

#include "app/Robot.h"
#include "platform/Encoding.h"

namespace zelmo::app {

namespace {

constexpr std::string_view TEXT_KIND = "文本";
constexpr std::string_view SENT = "ok";

}  // namespace

std::optional<ai::ChatTurn> ContextTurnOf(const store::ArchiveRow& row) {
    const bool out = row.direction == store::Direction::Out;
    // Received rows have no result; sent ones say "ok" or why they did not go.
    if (row.kind != TEXT_KIND || row.text.empty() || row.recalled ||
        !(row.result.empty() || row.result == SENT)) {
        return std::nullopt;
    }
    ai::ChatTurn turn;
    turn.id = row.msg_id;
    turn.from_robot = out;
    if (!out && row.sender_key != row.chat_key) {
        turn.speaker = platform::Utf8ToGbk(row.sender_name);
    }
    turn.text = platform::Utf8ToGbk(row.text);
    return turn;
}

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
