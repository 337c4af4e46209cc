#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace zelmo::platform {

// MD5 over bytes fed piece by piece (the upload's FileMd5, not for security).
class Md5 {
public:
    Md5();
    ~Md5();
    Md5(const Md5&) = delete;
    Md5& operator=(const Md5&) = delete;

    void Update(std::string_view bytes);
    // The digest of everything fed so far, 32 lowercase hex digits; empty when the
    // library failed. Ends the digest: feed nothing more.
    std::string HexDigest();

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

}  // namespace zelmo::platform
