#include <gtest/gtest.h>
#include <png.h>
#include <zlib.h>

#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "platform/PngImage.h"
#include "sim/QrPng.h"

namespace zelmo::test {
namespace {

// A PNG of the given libpng simplified format from raw pixels.
std::string EncodePng(int width, int height, png_uint_32 format,
                      const std::vector<std::uint8_t>& pixels) {
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(width);
    image.height = static_cast<png_uint_32>(height);
    image.format = format;
    png_alloc_size_t size = 0;
    if (png_image_write_to_memory(&image, nullptr, &size, 0, pixels.data(), 0, nullptr) == 0) {
        return {};
    }
    std::string bytes(size, '\0');
    if (png_image_write_to_memory(&image, bytes.data(), &size, 0, pixels.data(), 0, nullptr) == 0) {
        return {};
    }
    bytes.resize(size);
    return bytes;
}

TEST(PngImageTest, EveryColourTypeBecomesGrayAndTransparencyBecomesWhite) {
    // Two pixels: a dark one and a light (or, with alpha, a transparent) one.
    const std::string rgb = EncodePng(2, 1, PNG_FORMAT_RGB, {10, 10, 10, 250, 250, 250});
    const std::string rgba =
        EncodePng(2, 1, PNG_FORMAT_RGBA, {0, 0, 0, 255, 0, 0, 0, 0});  // black, then clear
    const std::string gray_alpha = EncodePng(2, 1, PNG_FORMAT_GA, {0, 255, 0, 0});
    for (const std::string& png : {rgb, rgba, gray_alpha}) {
        ASSERT_FALSE(png.empty());
        const std::optional<platform::GrayImage> image = platform::DecodePng(png);
        ASSERT_TRUE(image.has_value());
        EXPECT_EQ(image->width, 2);
        EXPECT_EQ(image->height, 1);
        ASSERT_EQ(image->pixels.size(), 2u);
        EXPECT_LT(image->At(0, 0), 32);
        EXPECT_GT(image->At(1, 0), 224);
    }
}

TEST(PngImageTest, TheSimulatorsCodeDecodesToItsExactPixels) {
    const std::optional<platform::GrayImage> image = platform::DecodePng(sim::PlainPng(7, 3, 99));
    ASSERT_TRUE(image.has_value());
    EXPECT_EQ(image->width, 7);
    EXPECT_EQ(image->height, 3);
    EXPECT_EQ(image->pixels, std::vector<std::uint8_t>(21, 99));
}

TEST(PngImageTest, BrokenBytesGiveNothingAndNeverCrash) {
    const std::string png = sim::QrCodePng("https://login.weixin.qq.com/l/abc", 3);
    ASSERT_TRUE(platform::DecodePng(png).has_value());
    EXPECT_FALSE(platform::DecodePng("").has_value());
    EXPECT_FALSE(platform::DecodePng("\x89PNG\r\n\x1a\n").has_value());
    EXPECT_FALSE(platform::DecodePng("GIF89a and some more bytes").has_value());
    // Every cut before the closing 12-byte IEND chunk gives nothing: never a part picture.
    constexpr std::size_t IEND_SIZE = 12;
    for (std::size_t length = 0; length < png.size() - IEND_SIZE; ++length) {
        const std::optional<platform::GrayImage> image =
            platform::DecodePng(std::string_view(png).substr(0, length));
        EXPECT_FALSE(image.has_value()) << "cut at " << length;
    }
    // Flipped bytes in the compressed data: nothing, or a picture of the declared size.
    for (std::size_t at = 40; at < png.size(); at += 7) {
        std::string damaged = png;
        damaged[at] = static_cast<char>(damaged[at] ^ 0x5A);
        const std::optional<platform::GrayImage> image = platform::DecodePng(damaged);
        if (image) {
            EXPECT_EQ(image->pixels.size(), static_cast<std::size_t>(image->width) * image->height);
        }
    }
}

TEST(PngImageTest, AHugeDeclaredSizeIsRefusedBeforeAnyAllocation) {
    std::string png = sim::PlainPng(4, 4, 255);
    // IHDR data starts at byte 16 (signature 8, length 4, type 4); its CRC follows it.
    auto put32 = [&png](std::size_t at, std::uint32_t value) {
        png[at] = static_cast<char>(value >> 24);
        png[at + 1] = static_cast<char>((value >> 16) & 0xFF);
        png[at + 2] = static_cast<char>((value >> 8) & 0xFF);
        png[at + 3] = static_cast<char>(value & 0xFF);
    };
    put32(16, 100000);
    put32(20, 100000);
    const uLong crc = crc32(0, reinterpret_cast<const Bytef*>(png.data() + 12), 17);
    put32(29, static_cast<std::uint32_t>(crc));
    EXPECT_FALSE(platform::DecodePng(png).has_value());
}

}  // namespace
}  // namespace zelmo::test
