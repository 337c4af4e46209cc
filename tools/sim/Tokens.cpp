#include "sim/Tokens.h"

namespace sim {
namespace {

constexpr std::string_view HEX = "0123456789abcdef";
constexpr std::string_view ALNUM = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
constexpr std::string_view BASE64 =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

std::string RandomFrom(std::mt19937_64& random, std::string_view alphabet, std::size_t length) {
    std::uniform_int_distribution<std::size_t> pick(0, alphabet.size() - 1);
    std::string out;
    out.reserve(length);
    for (std::size_t i = 0; i < length; ++i) {
        out += alphabet[pick(random)];
    }
    return out;
}

// FNV-1a, spread over several rounds for longer outputs.
std::string StableHex(std::string_view seed, std::size_t length) {
    std::string out;
    std::uint64_t round = 0;
    while (out.size() < length) {
        std::uint64_t hash = 1469598103934665603ULL ^ (round * 0x9E3779B97F4A7C15ULL);
        for (const char c : seed) {
            hash ^= static_cast<unsigned char>(c);
            hash *= 1099511628211ULL;
        }
        for (int i = 0; i < 16 && out.size() < length; ++i) {
            out += HEX[(hash >> (i * 4)) & 15];
        }
        ++round;
    }
    return out;
}

}  // namespace

std::string RandomHex(std::mt19937_64& random, std::size_t length) {
    return RandomFrom(random, HEX, length);
}

std::string RandomDigits(std::mt19937_64& random, std::size_t length) {
    if (length == 0) {
        return {};
    }
    return RandomFrom(random, "123456789", 1) + RandomFrom(random, "0123456789", length - 1);
}

std::string RandomUuid(std::mt19937_64& random) {
    return RandomFrom(random, std::string(ALNUM) + "-_", 10) + "==";
}

std::string RandomTicket(std::mt19937_64& random) {
    return RandomFrom(random, ALNUM, 24) + "@qrticket_0";
}

std::string RandomSkey(std::mt19937_64& random) {
    return "@crypt_" + RandomHex(random, 8) + "_" + RandomHex(random, 32);
}

std::string RandomSid(std::mt19937_64& random) {
    return RandomFrom(random, ALNUM, 16);
}

std::string RandomPassTicket(std::mt19937_64& random) {
    std::string raw = RandomFrom(random, BASE64, 62) + "==";
    std::string out;
    for (const char c : raw) {
        if (c == '+') {
            out += "%2B";
        } else if (c == '/') {
            out += "%2F";
        } else if (c == '=') {
            out += "%3D";
        } else {
            out += c;
        }
    }
    return out;
}

std::string RandomBase64(std::mt19937_64& random, std::size_t length) {
    return RandomFrom(random, BASE64, length);
}

std::string UserNameFor(std::string_view seed, bool group) {
    return group ? "@@" + StableHex(seed, 64) : "@" + StableHex(seed, 32);
}

}  // namespace sim
