#include "platform/PngImage.h"

#include <png.h>

namespace zelmo::platform {

namespace {

// Frees the reader's state on every path out.
class PngReader {
public:
    PngReader() : m_image{} { m_image.version = PNG_IMAGE_VERSION; }
    ~PngReader() { png_image_free(&m_image); }
    PngReader(const PngReader&) = delete;
    PngReader& operator=(const PngReader&) = delete;
    png_image& Image() { return m_image; }

private:
    png_image m_image;
};

}  // namespace

std::optional<GrayImage> DecodePng(std::string_view bytes) {
    constexpr std::size_t SIGNATURE_SIZE = 8;
    if (bytes.size() < SIGNATURE_SIZE ||
        png_sig_cmp(reinterpret_cast<png_const_bytep>(bytes.data()), 0, SIGNATURE_SIZE) != 0) {
        return std::nullopt;
    }
    PngReader reader;
    png_image& image = reader.Image();
    if (png_image_begin_read_from_memory(&image, bytes.data(), bytes.size()) == 0) {
        return std::nullopt;
    }
    const auto pixel_count =
        static_cast<std::int64_t>(image.width) * static_cast<std::int64_t>(image.height);
    if (image.width == 0 || image.height == 0 || pixel_count > PNG_MAX_PIXELS) {
        return std::nullopt;
    }
    image.format = PNG_FORMAT_GRAY;
    GrayImage result;
    result.width = static_cast<int>(image.width);
    result.height = static_cast<int>(image.height);
    result.pixels.resize(PNG_IMAGE_SIZE(image));
    // A QR code drawn on a transparent ground is dark on light.
    const png_color white{255, 255, 255};
    if (png_image_finish_read(&image, &white, result.pixels.data(), 0, nullptr) == 0) {
        return std::nullopt;
    }
    return result;
}

}  // namespace zelmo::platform
