#include <gtest/gtest.h>
#include <png.h>
#include <qrencode.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "headless/QrReading.h"
#include "headless/TerminalQr.h"
#include "platform/PngImage.h"
#include "sim/QrPng.h"

namespace zelmo::test {
namespace {

using headless::QrModules;
using headless::QrScheme;

constexpr const char* LOGIN_URL = "https://login.weixin.qq.com/l/Ya1b2C3d4E==";

// The encoder's own module grid for a text, as the service's code would have it.
QrModules EncoderModules(const std::string& text) {
    std::unique_ptr<QRcode, decltype(&QRcode_free)> code(
        QRcode_encodeString8bit(text.c_str(), 0, QR_ECLEVEL_M), QRcode_free);
    QrModules modules;
    if (!code) {
        return modules;
    }
    modules.size = code->width;
    for (int i = 0; i < code->width * code->width; ++i) {
        modules.dark.push_back((code->data[i] & 1) != 0);
    }
    return modules;
}

// The grid drawn with a module of `module_px` pixels (fractions allowed) behind `margin`
// pixels of ground, in the given two gray levels.
platform::GrayImage Draw(const QrModules& modules, double module_px, int margin,
                         std::uint8_t dark = 0, std::uint8_t light = 255) {
    platform::GrayImage image;
    const int side = static_cast<int>(std::lround(modules.size * module_px)) + 2 * margin;
    image.width = side;
    image.height = side;
    image.pixels.assign(static_cast<std::size_t>(side) * side, light);
    for (int y = 0; y < side; ++y) {
        for (int x = 0; x < side; ++x) {
            const int mx = static_cast<int>((x - margin) / module_px);
            const int my = static_cast<int>((y - margin) / module_px);
            if (x >= margin && y >= margin && mx < modules.size && my < modules.size &&
                modules.Dark(mx, my)) {
                image.pixels[static_cast<std::size_t>(y) * side + x] = dark;
            }
        }
    }
    return image;
}

platform::GrayImage DecodeOrEmpty(const std::string& png) {
    std::optional<platform::GrayImage> image = platform::DecodePng(png);
    return image ? *image : platform::GrayImage{};
}

TEST(TerminalQrTest, SampledGridIsExactlyTheServicesCodeAtEveryModuleSize) {
    // Short and long texts: versions from 2 up to 10, integer modules of 1 to 7 pixels.
    const std::vector<std::string> texts = {std::string(LOGIN_URL),
                                            std::string(LOGIN_URL) + std::string(60, 'x'),
                                            std::string(200, 'q')};
    for (const std::string& text : texts) {
        const QrModules expected = EncoderModules(text);
        ASSERT_GT(expected.size, 0);
        for (int scale = 1; scale <= 7; ++scale) {
            const std::optional<platform::GrayImage> picture =
                platform::DecodePng(sim::QrCodePng(text, scale));
            ASSERT_TRUE(picture.has_value());
            const std::optional<QrModules> sampled = headless::SampleQrModules(*picture);
            ASSERT_TRUE(sampled.has_value()) << "scale " << scale << " size " << expected.size;
            EXPECT_EQ(sampled->size, expected.size);
            EXPECT_EQ(sampled->dark, expected.dark) << "scale " << scale;
        }
    }
}

TEST(TerminalQrTest, FractionalModulesGrayLevelsAndOddMarginsAreReadToo) {
    const QrModules expected = EncoderModules(LOGIN_URL);
    for (const double module_px : {2.5, 4.6, 7.3, 11.65}) {
        for (const int margin : {0, 3, 17}) {
            const std::optional<QrModules> sampled =
                headless::SampleQrModules(Draw(expected, module_px, margin, 60, 200));
            ASSERT_TRUE(sampled.has_value()) << module_px << " px, margin " << margin;
            EXPECT_EQ(sampled->dark, expected.dark) << module_px << " px, margin " << margin;
        }
    }
}

TEST(TerminalQrTest, PicturesThatAreNoQrCodeGiveNothing) {
    platform::GrayImage white{40, 40, std::vector<std::uint8_t>(1600, 255)};
    platform::GrayImage black{40, 40, std::vector<std::uint8_t>(1600, 0)};
    platform::GrayImage square = white;
    for (int y = 5; y < 35; ++y) {
        for (int x = 5; x < 35; ++x) {
            square.pixels[static_cast<std::size_t>(y) * 40 + x] = 0;
        }
    }
    platform::GrayImage noise{120, 120, std::vector<std::uint8_t>(14400)};
    std::mt19937 random(7);
    for (std::uint8_t& pixel : noise.pixels) {
        pixel = (random() & 1) != 0 ? 0 : 255;
    }
    const QrModules code = EncoderModules(LOGIN_URL);
    QrModules broken = code;
    broken.dark[static_cast<std::size_t>(3) * code.size + 3] = false;  // a finder's core
    platform::GrayImage inconsistent{10, 10, std::vector<std::uint8_t>(5, 0)};

    EXPECT_FALSE(headless::SampleQrModules(white).has_value());
    EXPECT_FALSE(headless::SampleQrModules(black).has_value());
    EXPECT_FALSE(headless::SampleQrModules(square).has_value());
    EXPECT_FALSE(headless::SampleQrModules(noise).has_value());
    EXPECT_FALSE(headless::SampleQrModules(Draw(broken, 4, 8)).has_value());
    EXPECT_FALSE(headless::SampleQrModules(inconsistent).has_value());
    EXPECT_FALSE(headless::SampleQrModules(platform::GrayImage{}).has_value());
}

TEST(TerminalQrTest, DrawingDecodesToThePngsContentInBothSchemes) {
    const std::string png = sim::QrCodePng(LOGIN_URL, 6);
    const platform::GrayImage picture = DecodeOrEmpty(png);
    ASSERT_EQ(DecodeQrSymbols(picture), std::vector<std::string>{std::string(LOGIN_URL)});
    const std::optional<QrModules> modules = headless::SampleQrModules(picture);
    ASSERT_TRUE(modules.has_value());

    for (const QrScheme scheme : {QrScheme::LightOnDark, QrScheme::DarkOnLight}) {
        const std::string drawing = headless::RenderQr(*modules, scheme);
        const bool ink_is_dark = scheme == QrScheme::DarkOnLight;
        const platform::GrayImage read_back = ReadHalfBlocks(drawing, ink_is_dark);
        ASSERT_GT(read_back.width, 0);
        EXPECT_EQ(DecodeQrSymbols(read_back), std::vector<std::string>{std::string(LOGIN_URL)});
        // The drawing read back holds exactly the sampled grid inside its quiet zone.
        const std::optional<QrModules> again = headless::SampleQrModules(read_back);
        ASSERT_TRUE(again.has_value());
        EXPECT_EQ(again->dark, modules->dark);
    }
}

TEST(TerminalQrTest, DrawingKeepsAQuietZoneOfFourModulesOnEverySide) {
    const QrModules modules = EncoderModules(LOGIN_URL);
    for (const QrScheme scheme : {QrScheme::LightOnDark, QrScheme::DarkOnLight}) {
        const bool ink_is_dark = scheme == QrScheme::DarkOnLight;
        const platform::GrayImage read_back =
            ReadHalfBlocks(headless::RenderQr(modules, scheme), ink_is_dark, 1);
        const int full = modules.size + 2 * headless::QR_QUIET_ZONE;
        ASSERT_EQ(read_back.width, full);
        // Two module rows per line: an odd count ends on a light half row.
        ASSERT_EQ(read_back.height, full + 1);
        int wrong = 0;
        for (int y = 0; y < read_back.height; ++y) {
            for (int x = 0; x < read_back.width; ++x) {
                const int mx = x - headless::QR_QUIET_ZONE;
                const int my = y - headless::QR_QUIET_ZONE;
                const bool inside = mx >= 0 && my >= 0 && mx < modules.size && my < modules.size;
                const bool dark = read_back.At(x, y) == 0;
                wrong += dark != (inside && modules.Dark(mx, my)) ? 1 : 0;
            }
        }
        EXPECT_EQ(wrong, 0);
    }
}

TEST(TerminalQrTest, SchemeNames) {
    EXPECT_EQ(headless::ParseQrScheme("light-on-dark"), QrScheme::LightOnDark);
    EXPECT_EQ(headless::ParseQrScheme("dark-on-light"), QrScheme::DarkOnLight);
    EXPECT_FALSE(headless::ParseQrScheme("dark").has_value());
    EXPECT_FALSE(headless::ParseQrScheme("").has_value());
}

}  // namespace
}  // namespace zelmo::test
