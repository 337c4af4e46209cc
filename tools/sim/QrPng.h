#pragma once

#include <string>
#include <string_view>

namespace sim {

// A PNG (grayscale, 8 bits) of the QR code of `text`: each module `scale` pixels wide,
// black on white, with a quiet zone of four modules. Empty on failure.
std::string QrCodePng(std::string_view text, int scale = 6);

// A PNG of width x height pixels of one gray level.
std::string PlainPng(int width, int height, unsigned char gray);

}  // namespace sim
