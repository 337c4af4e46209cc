#include "sim/MediaSamples.h"

#include <cstdint>

namespace sim {
namespace {

// 24 x 16 pixels, made with ImageMagick.
constexpr std::string_view JPEG_BYTES =
    "\xff\xd8\xff\xe0\x00\x10\x4a\x46\x49\x46\x00\x01\x01\x00\x00\x01\x00\x01\x00\x00\xff\xdb\x00"
    "\x43"
    "\x00\x05\x03\x04\x04\x04\x03\x05\x04\x04\x04\x05\x05\x05\x06\x07\x0c\x08\x07\x07\x07\x07\x0f"
    "\x0b"
    "\x0b\x09\x0c\x11\x0f\x12\x12\x11\x0f\x11\x11\x13\x16\x1c\x17\x13\x14\x1a\x15\x11\x11\x18\x21"
    "\x18"
    "\x1a\x1d\x1d\x1f\x1f\x1f\x13\x17\x22\x24\x22\x1e\x24\x1c\x1e\x1f\x1e\xff\xdb\x00\x43\x01\x05"
    "\x05"
    "\x05\x07\x06\x07\x0e\x08\x08\x0e\x1e\x14\x11\x14\x1e\x1e\x1e\x1e\x1e\x1e\x1e\x1e\x1e\x1e\x1e"
    "\x1e"
    "\x1e\x1e\x1e\x1e\x1e\x1e\x1e\x1e\x1e\x1e\x1e\x1e\x1e\x1e\x1e\x1e\x1e\x1e\x1e\x1e\x1e\x1e\x1e"
    "\x1e"
    "\x1e\x1e\x1e\x1e\x1e\x1e\x1e\x1e\x1e\x1e\x1e\x1e\x1e\x1e\xff\xc0\x00\x11\x08\x00\x10\x00\x18"
    "\x03"
    "\x01\x22\x00\x02\x11\x01\x03\x11\x01\xff\xc4\x00\x15\x00\x01\x01\x00\x00\x00\x00\x00\x00\x00"
    "\x00"
    "\x00\x00\x00\x00\x00\x00\x00\x06\xff\xc4\x00\x16\x10\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00"
    "\x00"
    "\x00\x00\x00\x00\x00\x00\x15\x62\xff\xc4\x00\x16\x01\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00"
    "\x00"
    "\x00\x00\x00\x00\x00\x00\x04\x05\xff\xc4\x00\x17\x11\x00\x03\x01\x00\x00\x00\x00\x00\x00\x00"
    "\x00"
    "\x00\x00\x00\x00\x00\x00\x16\x62\x17\xff\xda\x00\x0c\x03\x01\x00\x02\x11\x03\x11\x00\x3f\x00"
    "\x4d"
    "\xc9\x37\x2b\x49\x98\x26\x61\x9b\xa1\x51\x42\x9c\x91\x73\x72\x2d\x26\x60\x34\x2a\x0a\x72\x7f"
    "\xff"
    "\xd9";

// 8 x 8 pixels of one colour.
constexpr std::string_view GIF_BYTES =
    "\x47\x49\x46\x38\x39\x61\x08\x00\x08\x00\xf0\x00\x00\xe9\x4e\x77\x00\x00\x00\x21\xf9\x04\x00"
    "\x00"
    "\x00\x00\x00\x2c\x00\x00\x00\x00\x08\x00\x08\x00\x00\x02\x07\x84\x8f\xa9\xcb\xed\x5d\x00\x00"
    "\x3b";

constexpr std::size_t MP3_FRAMES = 24;
constexpr std::size_t MP3_FRAME_BYTES = 417;  // MPEG-1 layer III, 128 kbit/s, 44.1 kHz
constexpr std::size_t MP4_FILLER_BYTES = 200000;
// The size the service's file messages state.
constexpr std::size_t PDF_BYTES = 24576;

std::string Mp3() {
    std::string bytes("ID3\x03\x00\x00\x00\x00\x00\x00", 10);
    for (std::size_t i = 0; i < MP3_FRAMES; ++i) {
        std::string frame(MP3_FRAME_BYTES, '\0');
        frame[0] = '\xFF';
        frame[1] = '\xFB';
        frame[2] = '\x90';
        frame[3] = '\x64';
        bytes += frame;
    }
    return bytes;
}

void AppendBox(std::string& out, std::string_view type, std::string_view payload) {
    const auto size = static_cast<std::uint32_t>(payload.size() + 8);
    for (int shift = 24; shift >= 0; shift -= 8) {
        out.push_back(static_cast<char>((size >> shift) & 0xFF));
    }
    out.append(type).append(payload);
}

std::string Mp4() {
    std::string bytes;
    AppendBox(bytes, "ftyp", std::string_view("isom\x00\x00\x02\x00isomiso2mp41", 20));
    std::string filler(MP4_FILLER_BYTES, '\0');
    std::uint32_t state = 0x2545F491;
    for (char& c : filler) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        c = static_cast<char>(state & 0xFF);
    }
    AppendBox(bytes, "mdat", filler);
    return bytes;
}

// One empty page, padded by a comment to the size the messages state, with a correct
// cross-reference table.
std::string Pdf() {
    const std::string objects[] = {
        "<< /Type /Catalog /Pages 2 0 R >>",
        "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
        "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 100] >>",
    };
    const auto build = [&](std::size_t padding) {
        std::string text = "%PDF-1.4\n%" + std::string(padding, 'x') + "\n";
        std::string offsets;
        for (std::size_t i = 0; i < 3; ++i) {
            const std::string offset = std::to_string(text.size());
            offsets += std::string(10 - offset.size(), '0') + offset + " 00000 n \n";
            text += std::to_string(i + 1) + " 0 obj " + objects[i] + " endobj\n";
        }
        const std::size_t xref = text.size();
        text += "xref\n0 4\n0000000000 65535 f \n" + offsets;
        text +=
            "trailer << /Root 1 0 R /Size 4 >>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
        return text;
    };
    const std::size_t bare = build(0).size();
    return build(PDF_BYTES > bare ? PDF_BYTES - bare : 0);
}

}  // namespace

const std::string& MediaSample(MessageKind kind) {
    static const std::string jpeg(JPEG_BYTES);
    static const std::string gif(GIF_BYTES);
    static const std::string mp3 = Mp3();
    static const std::string mp4 = Mp4();
    static const std::string pdf = Pdf();
    static const std::string none;
    switch (kind) {
        case MessageKind::Picture:
            return jpeg;
        case MessageKind::Sticker:
            return gif;
        case MessageKind::Voice:
            return mp3;
        case MessageKind::Video:
            return mp4;
        case MessageKind::File:
            return pdf;
        default:
            return none;
    }
}

std::string_view MediaContentType(MessageKind kind) {
    switch (kind) {
        case MessageKind::Picture:
            return "image/jpeg";
        case MessageKind::Sticker:
            return "image/gif";
        case MessageKind::Voice:
            return "audio/mpeg";
        case MessageKind::Video:
            return "video/mp4";
        default:
            // Files come as plain bytes: the client tells the type from them or the name.
            return "application/octet-stream";
    }
}

}  // namespace sim
