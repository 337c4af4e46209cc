#include "sim/QrPng.h"

#include <qrencode.h>
#include <zlib.h>

#include <cstdint>
#include <memory>
#include <vector>

namespace sim {
namespace {

constexpr int QUIET_ZONE = 4;

void AppendBigEndian(std::string& out, std::uint32_t value) {
    out += static_cast<char>((value >> 24) & 0xFF);
    out += static_cast<char>((value >> 16) & 0xFF);
    out += static_cast<char>((value >> 8) & 0xFF);
    out += static_cast<char>(value & 0xFF);
}

void AppendChunk(std::string& png, const char* type, const std::string& data) {
    AppendBigEndian(png, static_cast<std::uint32_t>(data.size()));
    const std::string typed = std::string(type, 4) + data;
    png += typed;
    const uLong crc =
        crc32(0L, reinterpret_cast<const Bytef*>(typed.data()), static_cast<uInt>(typed.size()));
    AppendBigEndian(png, static_cast<std::uint32_t>(crc));
}

// Rows of gray pixels, each row width bytes.
std::string EncodeGrayPng(int width, int height, const std::vector<unsigned char>& pixels) {
    std::string raw;
    raw.reserve(static_cast<std::size_t>(height) * (static_cast<std::size_t>(width) + 1));
    for (int y = 0; y < height; ++y) {
        raw += '\0';  // filter type None
        raw.append(reinterpret_cast<const char*>(pixels.data()) +
                       static_cast<std::size_t>(y) * static_cast<std::size_t>(width),
                   static_cast<std::size_t>(width));
    }
    uLongf packed_size = compressBound(static_cast<uLong>(raw.size()));
    std::string packed(packed_size, '\0');
    if (compress2(reinterpret_cast<Bytef*>(packed.data()), &packed_size,
                  reinterpret_cast<const Bytef*>(raw.data()), static_cast<uLong>(raw.size()),
                  Z_BEST_COMPRESSION) != Z_OK) {
        return {};
    }
    packed.resize(packed_size);

    std::string header;
    AppendBigEndian(header, static_cast<std::uint32_t>(width));
    AppendBigEndian(header, static_cast<std::uint32_t>(height));
    header += '\x08';  // bit depth
    header += '\x00';  // grayscale
    header += '\x00';  // deflate
    header += '\x00';  // adaptive filtering
    header += '\x00';  // no interlace

    std::string png("\x89PNG\r\n\x1a\n", 8);
    AppendChunk(png, "IHDR", header);
    AppendChunk(png, "IDAT", packed);
    AppendChunk(png, "IEND", {});
    return png;
}

struct QrFree {
    void operator()(QRcode* code) const { QRcode_free(code); }
};

}  // namespace

std::string QrCodePng(std::string_view text, int scale) {
    const std::string input(text);
    std::unique_ptr<QRcode, QrFree> code(QRcode_encodeString8bit(input.c_str(), 0, QR_ECLEVEL_M));
    if (!code || scale < 1) {
        return {};
    }
    const int modules = code->width + 2 * QUIET_ZONE;
    const int side = modules * scale;
    std::vector<unsigned char> pixels(static_cast<std::size_t>(side) * side, 0xFF);
    for (int y = 0; y < code->width; ++y) {
        for (int x = 0; x < code->width; ++x) {
            // Bit 0 of each libqrencode module byte says black.
            if ((code->data[y * code->width + x] & 1) == 0) {
                continue;
            }
            for (int dy = 0; dy < scale; ++dy) {
                const int row = (y + QUIET_ZONE) * scale + dy;
                for (int dx = 0; dx < scale; ++dx) {
                    const int column = (x + QUIET_ZONE) * scale + dx;
                    pixels[static_cast<std::size_t>(row) * static_cast<std::size_t>(side) +
                           static_cast<std::size_t>(column)] = 0;
                }
            }
        }
    }
    return EncodeGrayPng(side, side, pixels);
}

std::string PlainPng(int width, int height, unsigned char gray) {
    if (width < 1 || height < 1) {
        return {};
    }
    return EncodeGrayPng(
        width, height, std::vector<unsigned char>(static_cast<std::size_t>(width) * height, gray));
}

}  // namespace sim
