#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <string_view>

namespace sim {

// Random identifiers in the shapes the service uses.
std::string RandomHex(std::mt19937_64& random, std::size_t length);
std::string RandomDigits(std::mt19937_64& random, std::size_t length);  // no leading 0
// 12 characters of URL-safe base64 ending in "==".
std::string RandomUuid(std::mt19937_64& random);
// 24 characters followed by "@qrticket_0".
std::string RandomTicket(std::mt19937_64& random);
// "@crypt_<8 hex>_<32 hex>".
std::string RandomSkey(std::mt19937_64& random);
std::string RandomSid(std::mt19937_64& random);  // 16 characters
// A base64 text of about 64 characters, URL-encoded as the service writes it.
std::string RandomPassTicket(std::mt19937_64& random);
// Raw base64 text of `length` characters, as cookie values carry it.
std::string RandomBase64(std::mt19937_64& random, std::size_t length);
// Stable UserName for a seed text: "@" + 32 hex, or "@@" + 64 hex for groups.
std::string UserNameFor(std::string_view seed, bool group);

}  // namespace sim
