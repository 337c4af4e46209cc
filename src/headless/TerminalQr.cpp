#include "headless/TerminalQr.h"

#include <algorithm>
#include <cstdlib>

namespace zelmo::headless {

namespace {

constexpr int MIN_VERSION = 1;
constexpr int MAX_VERSION = 40;
constexpr int FINDER = 7;
// Below this spread between the darkest and the lightest pixel there is no code to read.
constexpr int MIN_CONTRAST = 64;

int SizeOfVersion(int version) {
    return 17 + 4 * version;
}

struct Box {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
};

// The dark modules seen by a sampler at a fixed pitch.
QrModules SampleGrid(const platform::GrayImage& image, int threshold, const Box& box, int size) {
    QrModules modules;
    modules.size = size;
    modules.dark.resize(static_cast<std::size_t>(size) * static_cast<std::size_t>(size));
    const double pitch_x = static_cast<double>(box.width) / size;
    const double pitch_y = static_cast<double>(box.height) / size;
    for (int y = 0; y < size; ++y) {
        const int py = std::min(box.top + static_cast<int>((y + 0.5) * pitch_y), image.height - 1);
        for (int x = 0; x < size; ++x) {
            const int px =
                std::min(box.left + static_cast<int>((x + 0.5) * pitch_x), image.width - 1);
            modules.dark[static_cast<std::size_t>(y) * static_cast<std::size_t>(size) +
                         static_cast<std::size_t>(x)] = image.At(px, py) < threshold;
        }
    }
    return modules;
}

bool FinderAt(const QrModules& modules, int origin_x, int origin_y) {
    for (int dy = 0; dy < FINDER; ++dy) {
        for (int dx = 0; dx < FINDER; ++dx) {
            const bool ring = dx == 0 || dx == FINDER - 1 || dy == 0 || dy == FINDER - 1;
            const bool core = dx >= 2 && dx <= 4 && dy >= 2 && dy <= 4;
            if (modules.Dark(origin_x + dx, origin_y + dy) != (ring || core)) {
                return false;
            }
        }
    }
    return true;
}

// The three finder patterns, their light separators and both timing patterns: what every
// QR code of this size has, and a grid sampled at a wrong pitch almost never shows.
bool LooksLikeQrCode(const QrModules& modules) {
    const int size = modules.size;
    if (!FinderAt(modules, 0, 0) || !FinderAt(modules, size - FINDER, 0) ||
        !FinderAt(modules, 0, size - FINDER)) {
        return false;
    }
    for (int i = 0; i <= FINDER; ++i) {
        if (modules.Dark(i, FINDER) || modules.Dark(FINDER, i) ||
            modules.Dark(size - 1 - i, FINDER) || modules.Dark(size - 1 - FINDER, i) ||
            modules.Dark(i, size - 1 - FINDER) || modules.Dark(FINDER, size - 1 - i)) {
            return false;
        }
    }
    for (int i = FINDER + 1; i < size - FINDER - 1; ++i) {
        const bool expected = i % 2 == 0;
        if (modules.Dark(i, FINDER - 1) != expected || modules.Dark(FINDER - 1, i) != expected) {
            return false;
        }
    }
    return true;
}

}  // namespace

std::optional<QrScheme> ParseQrScheme(std::string_view name) {
    if (name == "light-on-dark") {
        return QrScheme::LightOnDark;
    }
    if (name == "dark-on-light") {
        return QrScheme::DarkOnLight;
    }
    return std::nullopt;
}

std::optional<QrModules> SampleQrModules(const platform::GrayImage& image) {
    if (image.width <= 0 || image.height <= 0 ||
        image.pixels.size() !=
            static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.height)) {
        return std::nullopt;
    }
    const auto [lowest, highest] = std::minmax_element(image.pixels.begin(), image.pixels.end());
    if (*highest - *lowest < MIN_CONTRAST) {
        return std::nullopt;
    }
    const int threshold = (*lowest + *highest + 1) / 2;

    int left = image.width;
    int right = -1;
    int top = image.height;
    int bottom = -1;
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x) {
            if (image.At(x, y) < threshold) {
                left = std::min(left, x);
                right = std::max(right, x);
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
        }
    }
    if (right < 0) {
        return std::nullopt;
    }
    const Box box{left, top, right - left + 1, bottom - top + 1};

    // The top edge of the top-left finder is seven modules of dark: a first guess of the
    // size, so the likeliest version is tried first.
    int run = 0;
    while (run < box.width && image.At(box.left + run, box.top) < threshold) {
        ++run;
    }
    const double guessed_size = run > 0 ? static_cast<double>(box.width) * FINDER / run : 0.0;

    std::vector<int> versions;
    for (int version = MIN_VERSION; version <= MAX_VERSION; ++version) {
        if (SizeOfVersion(version) <= std::min(box.width, box.height)) {
            versions.push_back(version);
        }
    }
    std::stable_sort(versions.begin(), versions.end(), [guessed_size](int a, int b) {
        return std::abs(SizeOfVersion(a) - guessed_size) <
               std::abs(SizeOfVersion(b) - guessed_size);
    });
    for (const int version : versions) {
        const int size = SizeOfVersion(version);
        // A code is square: the box's sides differ by less than a module.
        if (std::abs(box.width - box.height) * size > std::max(box.width, box.height)) {
            continue;
        }
        QrModules modules = SampleGrid(image, threshold, box, size);
        if (LooksLikeQrCode(modules)) {
            return modules;
        }
    }
    return std::nullopt;
}

std::string RenderQr(const QrModules& modules, QrScheme scheme) {
    const int full = modules.size + 2 * QR_QUIET_ZONE;
    // Outside the grid is the quiet zone, light.
    const auto ink = [&](int x, int y) {
        const int mx = x - QR_QUIET_ZONE;
        const int my = y - QR_QUIET_ZONE;
        const bool dark =
            mx >= 0 && my >= 0 && mx < modules.size && my < modules.size && modules.Dark(mx, my);
        return scheme == QrScheme::DarkOnLight ? dark : !dark;
    };
    std::string text;
    text.reserve(static_cast<std::size_t>((full + 1) / 2) *
                 (static_cast<std::size_t>(full) * 3 + 1));
    for (int y = 0; y < full; y += 2) {
        for (int x = 0; x < full; ++x) {
            const bool upper = ink(x, y);
            const bool lower = ink(x, y + 1);
            if (upper && lower) {
                text += "\u2588";
            } else if (upper) {
                text += "\u2580";
            } else if (lower) {
                text += "\u2584";
            } else {
                text += ' ';
            }
        }
        text += '\n';
    }
    return text;
}

}  // namespace zelmo::headless
