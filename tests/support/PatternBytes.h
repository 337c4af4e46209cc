#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace zelmo::test {

// Bytes that differ from chunk to chunk (by `seed`), so a chunk out of place changes a file.
inline std::string PatternBytes(std::size_t size, std::uint32_t seed) {
    std::string bytes(size, '\0');
    for (char& c : bytes) {
        seed = seed * 1103515245 + 12345;
        c = static_cast<char>(seed >> 24);
    }
    return bytes;
}

}  // namespace zelmo::test
