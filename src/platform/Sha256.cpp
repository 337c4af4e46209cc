#include "platform/Sha256.h"

#include <openssl/evp.h>

namespace zelmo::platform {

struct Sha256::Impl {
    EVP_MD_CTX* context = EVP_MD_CTX_new();
    ~Impl() { EVP_MD_CTX_free(context); }
};

Sha256::Sha256() : m_impl(std::make_unique<Impl>()) {
    EVP_DigestInit_ex(m_impl->context, EVP_sha256(), nullptr);
}

Sha256::~Sha256() = default;

void Sha256::Update(std::string_view bytes) {
    EVP_DigestUpdate(m_impl->context, bytes.data(), bytes.size());
}

std::string Sha256::HexDigest() {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_DigestFinal_ex(m_impl->context, digest, &length);
    constexpr char HEX[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(static_cast<std::size_t>(length) * 2);
    for (unsigned int i = 0; i < length; ++i) {
        hex.push_back(HEX[digest[i] >> 4]);
        hex.push_back(HEX[digest[i] & 0x0F]);
    }
    return hex;
}

std::string Sha256Hex(std::string_view bytes) {
    Sha256 hash;
    hash.Update(bytes);
    return hash.HexDigest();
}

}  // namespace zelmo::platform
