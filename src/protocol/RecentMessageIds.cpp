#include "protocol/RecentMessageIds.h"

#include <functional>
#include <limits>

namespace zelmo::protocol {

namespace {

// The id's number when it is all digits and fits, else its hash with the top bit set, so
// no hash stands for a number the service uses (its ids stay below 2^63).
std::uint64_t KeyOf(std::string_view id) {
    constexpr std::uint64_t MAX = std::numeric_limits<std::uint64_t>::max();
    constexpr std::uint64_t HASHED = std::uint64_t{1} << 63;
    std::uint64_t value = 0;
    for (const char c : id) {
        const auto digit = static_cast<std::uint64_t>(c - '0');
        if (c < '0' || c > '9' || value > (MAX - digit) / 10) {
            return std::hash<std::string_view>{}(id) | HASHED;
        }
        value = value * 10 + digit;
    }
    return value;
}

}  // namespace

RecentMessageIds::RecentMessageIds(std::size_t capacity)
    : m_capacity(capacity == 0 ? 1 : capacity) {
    m_known.reserve(m_capacity);
}

bool RecentMessageIds::Add(std::string_view id) {
    if (id.empty()) {
        return true;
    }
    const std::uint64_t key = KeyOf(id);
    if (m_known.contains(key)) {
        return false;
    }
    if (m_order.size() >= m_capacity) {
        m_known.erase(m_order.front());
        m_order.pop_front();
    }
    m_order.push_back(key);
    m_known.insert(key);
    return true;
}

}  // namespace zelmo::protocol
