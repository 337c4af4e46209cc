#pragma once

#include <cstddef>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace zelmo::onebot {

// The received messages whose file a framework was told of, by that file's id: the raw
// item, which its download needs until the file is saved. The oldest go beyond the
// capacity. Any thread.
class ReceivedFiles {
public:
    static constexpr std::size_t DEFAULT_CAPACITY = 1000;

    explicit ReceivedFiles(std::size_t capacity = DEFAULT_CAPACITY) : m_capacity(capacity) {}

    void Remember(std::string file_id, std::string item);
    std::optional<std::string> Find(std::string_view file_id) const;

private:
    std::size_t m_capacity;
    mutable std::mutex m_mutex;
    std::deque<std::string> m_order;  // ids, oldest first
    std::unordered_map<std::string, std::string> m_items;
};

}  // namespace zelmo::onebot
