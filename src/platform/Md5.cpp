#include "platform/Md5.h"

#include <openssl/evp.h>

namespace zelmo::platform {

struct Md5::Impl {
    EVP_MD_CTX* context = EVP_MD_CTX_new();
    bool ok = context != nullptr && EVP_DigestInit_ex(context, EVP_md5(), nullptr) == 1;
    ~Impl() { EVP_MD_CTX_free(context); }
};

Md5::Md5() : m_impl(std::make_unique<Impl>()) {}

Md5::~Md5() = default;

void Md5::Update(std::string_view bytes) {
    if (m_impl->ok && !bytes.empty()) {
        m_impl->ok = EVP_DigestUpdate(m_impl->context, bytes.data(), bytes.size()) == 1;
    }
}

std::string Md5::HexDigest() {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (!m_impl->ok || EVP_DigestFinal_ex(m_impl->context, digest, &length) != 1) {
        m_impl->ok = false;
        return {};
    }
    m_impl->ok = false;
    static constexpr char HEX[] = "0123456789abcdef";
    std::string text;
    for (unsigned int i = 0; i < length; ++i) {
        text.push_back(HEX[digest[i] >> 4]);
        text.push_back(HEX[digest[i] & 0x0F]);
    }
    return text;
}

}  // namespace zelmo::platform
