#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string_view>
#include <vector>

#include "ai/ChatTurn.h"
#include "store/ArchiveReader.h"

namespace zelmo::app {

class Robot;

// What the model hears of a chat's past from the archive: its texts in both directions up to
// a moment, so that a restart does not leave the model without context. Any thread.
class ArchiveContext {
public:
    explicit ArchiveContext(Robot& robot) : m_robot(robot) {}

    // The last texts of the chat `user_name` (at most `count`, oldest first) archived up to
    // `until_unix_ms`; none while the archive is off or cannot be read.
    std::vector<ai::ChatTurn> Turns(std::string_view user_name, std::size_t count,
                                    std::int64_t until_unix_ms);

private:
    Robot& m_robot;
    std::mutex m_mutex;
    // Opened at the first ask (the archive opens after the robot is made) and kept.
    std::optional<store::ArchiveReader> m_reader;
};

}  // namespace zelmo::app
