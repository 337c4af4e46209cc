#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace zelmo::platform {

// An 8-bit grayscale picture, rows top to bottom, `width` bytes each (0 black, 255 white).
struct GrayImage {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> pixels;

    std::uint8_t At(int x, int y) const {
        return pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                      static_cast<std::size_t>(x)];
    }
};

// Pictures larger than this many pixels are refused before anything is allocated.
inline constexpr std::int64_t PNG_MAX_PIXELS = 16LL * 1024 * 1024;

// Decodes PNG bytes of any colour type and depth into gray; transparent parts become white.
// Nothing for bytes that are not a whole, valid PNG or for a picture over PNG_MAX_PIXELS.
std::optional<GrayImage> DecodePng(std::string_view bytes);

}  // namespace zelmo::platform
