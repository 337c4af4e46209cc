#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace zelmo::platform {

// SHA-256 over bytes that may come in pieces (a download, a file read in chunks).
class Sha256 {
public:
    Sha256();
    ~Sha256();
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;

    void Update(std::string_view bytes);
    // The digest as 64 lower-case hex digits; the object is spent afterwards.
    std::string HexDigest();

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

// The SHA-256 of the bytes, 64 lower-case hex digits.
std::string Sha256Hex(std::string_view bytes);

}  // namespace zelmo::platform
