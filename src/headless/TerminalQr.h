#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/PngImage.h"

namespace zelmo::headless {

// A QR code's module grid, without its quiet zone: `size` x `size`, row by row.
struct QrModules {
    int size = 0;
    std::vector<bool> dark;

    bool Dark(int x, int y) const {
        return dark[static_cast<std::size_t>(y) * static_cast<std::size_t>(size) +
                    static_cast<std::size_t>(x)];
    }
};

// Which of the terminal's two colours is its text: the drawn blocks are the light modules
// on a dark terminal and the dark modules on a light one, so the code is dark on light.
enum class QrScheme { LightOnDark, DarkOnLight };

// "light-on-dark" or "dark-on-light"; nothing for any other text.
std::optional<QrScheme> ParseQrScheme(std::string_view name);

// Modules of quiet zone drawn around the code on every side.
inline constexpr int QR_QUIET_ZONE = 4;

// Reads the module grid of a picture of one QR code (dark on light, any whole or
// fractional module size, any margin): the dark bounding box is the code, the top-left
// finder pattern gives the module size. Nothing when the picture is not a QR code whose
// three finder patterns sit where they belong.
std::optional<QrModules> SampleQrModules(const platform::GrayImage& image);

// The code with its quiet zone in half-block characters (two module rows per line), each
// line ending in "\n"; every line has size + 2 * QR_QUIET_ZONE characters.
std::string RenderQr(const QrModules& modules, QrScheme scheme);

}  // namespace zelmo::headless
