#pragma once

// What a phone camera does with a QR code, for the tests of the terminal drawing: read
// the drawn blocks back into a picture and decode pictures with a real QR decoder.

#include <zbar.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/PngImage.h"

namespace zelmo::test {

// Every QR symbol zbar finds in the picture, as text.
inline std::vector<std::string> DecodeQrSymbols(const platform::GrayImage& image) {
    std::vector<std::string> found;
    if (image.width <= 0 || image.height <= 0) {
        return found;
    }
    zbar::zbar_image_scanner_t* scanner = zbar::zbar_image_scanner_create();
    zbar::zbar_image_scanner_set_config(scanner, zbar::ZBAR_NONE, zbar::ZBAR_CFG_ENABLE, 0);
    zbar::zbar_image_scanner_set_config(scanner, zbar::ZBAR_QRCODE, zbar::ZBAR_CFG_ENABLE, 1);
    zbar::zbar_image_t* picture = zbar::zbar_image_create();
    zbar::zbar_image_set_format(picture, zbar_fourcc('Y', '8', '0', '0'));
    zbar::zbar_image_set_size(picture, static_cast<unsigned>(image.width),
                              static_cast<unsigned>(image.height));
    zbar::zbar_image_set_data(picture, image.pixels.data(), image.pixels.size(), nullptr);
    if (zbar::zbar_scan_image(scanner, picture) > 0) {
        for (const zbar::zbar_symbol_t* symbol = zbar::zbar_image_first_symbol(picture);
             symbol != nullptr; symbol = zbar::zbar_symbol_next(symbol)) {
            found.emplace_back(zbar::zbar_symbol_get_data(symbol),
                               zbar::zbar_symbol_get_data_length(symbol));
        }
    }
    zbar::zbar_image_destroy(picture);
    zbar::zbar_image_scanner_destroy(scanner);
    return found;
}

// Reads half-block lines ("█", "▀", "▄", " ") back into a picture of `scale` pixels per
// module. `ink_is_dark` says whether the drawn part of a cell is dark (a light terminal)
// or light (a dark terminal). An unknown character yields an empty picture.
inline platform::GrayImage ReadHalfBlocks(std::string_view drawing, bool ink_is_dark,
                                          int scale = 4) {
    std::vector<std::vector<bool>> rows;  // true: ink
    std::vector<bool> upper;
    std::vector<bool> lower;
    std::size_t i = 0;
    while (i < drawing.size()) {
        if (drawing[i] == '\n') {
            rows.push_back(upper);
            rows.push_back(lower);
            upper.clear();
            lower.clear();
            ++i;
            continue;
        }
        if (drawing[i] == ' ') {
            upper.push_back(false);
            lower.push_back(false);
            ++i;
            continue;
        }
        const std::string_view cell = drawing.substr(i, 3);
        if (cell == "\u2588") {
            upper.push_back(true);
            lower.push_back(true);
        } else if (cell == "\u2580") {
            upper.push_back(true);
            lower.push_back(false);
        } else if (cell == "\u2584") {
            upper.push_back(false);
            lower.push_back(true);
        } else {
            return {};
        }
        i += 3;
    }
    if (rows.empty()) {
        return {};
    }
    const int columns = static_cast<int>(rows.front().size());
    platform::GrayImage image;
    image.width = columns * scale;
    image.height = static_cast<int>(rows.size()) * scale;
    image.pixels.assign(static_cast<std::size_t>(image.width) * image.height, 255);
    for (int y = 0; y < image.height; ++y) {
        const std::vector<bool>& row = rows[static_cast<std::size_t>(y / scale)];
        for (int x = 0; x < image.width; ++x) {
            const auto column = static_cast<std::size_t>(x / scale);
            const bool ink = column < row.size() && row[column];
            const bool dark = ink == ink_is_dark;
            image.pixels[static_cast<std::size_t>(y) * image.width + x] = dark ? 0 : 255;
        }
    }
    return image;
}

}  // namespace zelmo::test
