#pragma once

namespace zelmo::platform {

// The byte classes of GBK (code page 936): a lead byte starts a two-byte character, whose
// second byte is a trail byte. A trail byte may look like an ASCII letter or "\", so every
// search in a GBK text walks characters, not bytes.
constexpr bool IsGbkLead(unsigned char byte) {
    return byte >= 0x81 && byte <= 0xFE;
}
constexpr bool IsGbkTrail(unsigned char byte) {
    return byte >= 0x40 && byte <= 0xFE && byte != 0x7F;
}
// ASCII capitals to small letters; every other byte stays.
constexpr unsigned char FoldAscii(unsigned char byte) {
    return byte >= 'A' && byte <= 'Z' ? static_cast<unsigned char>(byte + ('a' - 'A')) : byte;
}

}  // namespace zelmo::platform
