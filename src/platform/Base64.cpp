#include "platform/Base64.h"

#include <openssl/evp.h>

#include <algorithm>

namespace zelmo::platform {

namespace {

bool IsBase64Letter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' ||
           c == '/';
}

}  // namespace

std::string Base64Encode(std::string_view bytes) {
    std::string text(4 * ((bytes.size() + 2) / 3), '\0');
    // EVP_EncodeBlock takes an int length: large inputs go in slices of whole triples.
    constexpr std::size_t SLICE = 3u << 20;
    std::size_t written = 0;
    for (std::size_t at = 0; at < bytes.size(); at += SLICE) {
        const std::size_t length = std::min(SLICE, bytes.size() - at);
        written += static_cast<std::size_t>(EVP_EncodeBlock(
            reinterpret_cast<unsigned char*>(text.data() + written),
            reinterpret_cast<const unsigned char*>(bytes.data() + at), static_cast<int>(length)));
    }
    text.resize(written);
    return text;
}

std::optional<std::string> Base64Decode(std::string_view text) {
    if (text.size() % 4 != 0) {
        return std::nullopt;
    }
    std::size_t padding = 0;
    while (padding < 2 && padding < text.size() && text[text.size() - 1 - padding] == '=') {
        ++padding;
    }
    for (std::size_t i = 0; i < text.size() - padding; ++i) {
        if (!IsBase64Letter(text[i])) {
            return std::nullopt;
        }
    }
    std::string bytes(text.size() / 4 * 3, '\0');
    // Decoded in slices of whole quads (EVP_DecodeBlock takes an int length).
    constexpr std::size_t SLICE = 4u << 20;
    std::size_t written = 0;
    for (std::size_t at = 0; at < text.size(); at += SLICE) {
        const std::size_t length = std::min(SLICE, text.size() - at);
        const int decoded = EVP_DecodeBlock(
            reinterpret_cast<unsigned char*>(bytes.data() + written),
            reinterpret_cast<const unsigned char*>(text.data() + at), static_cast<int>(length));
        if (decoded < 0) {
            return std::nullopt;
        }
        written += static_cast<std::size_t>(decoded);
    }
    // EVP_DecodeBlock counts the padding as zero bytes.
    bytes.resize(written - padding);
    return bytes;
}

}  // namespace zelmo::platform
