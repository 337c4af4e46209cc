#include "sim/Certificates.h"

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <cstdio>
#include <filesystem>
#include <memory>

namespace sim {
namespace {

template <auto Free>
struct Deleter {
    template <typename T>
    void operator()(T* p) const {
        Free(p);
    }
};
using KeyPtr = std::unique_ptr<EVP_PKEY, Deleter<EVP_PKEY_free>>;
using CertPtr = std::unique_ptr<X509, Deleter<X509_free>>;
using FilePtr = std::unique_ptr<FILE, Deleter<std::fclose>>;

KeyPtr MakeKey() {
    // P-256 keys are made in microseconds; RSA would slow every test start.
    return KeyPtr(EVP_EC_gen("P-256"));
}

bool AddExtension(X509* cert, X509* issuer, int nid, const std::string& value) {
    X509V3_CTX ctx;
    X509V3_set_ctx_nodb(&ctx);
    X509V3_set_ctx(&ctx, issuer, cert, nullptr, nullptr, 0);
    X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value.c_str());
    if (ext == nullptr) {
        return false;
    }
    const bool ok = X509_add_ext(cert, ext, -1) == 1;
    X509_EXTENSION_free(ext);
    return ok;
}

bool WritePem(const std::string& path, X509* cert, EVP_PKEY* key) {
    FilePtr file(std::fopen(path.c_str(), "wb"));
    if (!file) {
        return false;
    }
    if (cert != nullptr) {
        return PEM_write_X509(file.get(), cert) == 1;
    }
    return PEM_write_PrivateKey(file.get(), key, nullptr, nullptr, 0, nullptr, nullptr) == 1;
}

}  // namespace

CertificateFiles MakeCertificates(const std::string& folder,
                                  const std::vector<std::string>& host_names) {
    std::error_code error;
    std::filesystem::create_directories(folder, error);

    KeyPtr ca_key = MakeKey();
    KeyPtr server_key = MakeKey();
    if (!ca_key || !server_key) {
        return {};
    }

    CertPtr ca(X509_new());
    X509_set_version(ca.get(), 2);
    ASN1_INTEGER_set(X509_get_serialNumber(ca.get()), 1);
    X509_gmtime_adj(X509_getm_notBefore(ca.get()), -3600);
    X509_gmtime_adj(X509_getm_notAfter(ca.get()), 60L * 60 * 24 * 365);
    X509_set_pubkey(ca.get(), ca_key.get());
    X509_NAME* ca_name = X509_get_subject_name(ca.get());
    X509_NAME_add_entry_by_txt(ca_name, "CN", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>("Zelmo Simulator CA"), -1, -1,
                               0);
    X509_set_issuer_name(ca.get(), ca_name);
    if (!AddExtension(ca.get(), ca.get(), NID_basic_constraints, "critical,CA:TRUE") ||
        !AddExtension(ca.get(), ca.get(), NID_key_usage, "critical,keyCertSign,cRLSign") ||
        !AddExtension(ca.get(), ca.get(), NID_subject_key_identifier, "hash") ||
        X509_sign(ca.get(), ca_key.get(), EVP_sha256()) == 0) {
        return {};
    }

    CertPtr server(X509_new());
    X509_set_version(server.get(), 2);
    ASN1_INTEGER_set(X509_get_serialNumber(server.get()), 2);
    X509_gmtime_adj(X509_getm_notBefore(server.get()), -3600);
    X509_gmtime_adj(X509_getm_notAfter(server.get()), 60L * 60 * 24 * 365);
    X509_set_pubkey(server.get(), server_key.get());
    const std::string common_name = host_names.empty() ? "localhost" : host_names.front();
    X509_NAME_add_entry_by_txt(X509_get_subject_name(server.get()), "CN", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>(common_name.c_str()), -1, -1,
                               0);
    X509_set_issuer_name(server.get(), ca_name);
    std::string alt_names = "IP:127.0.0.1,DNS:localhost";
    for (const std::string& host : host_names) {
        alt_names += ",DNS:" + host;
    }
    if (!AddExtension(server.get(), ca.get(), NID_basic_constraints, "critical,CA:FALSE") ||
        !AddExtension(server.get(), ca.get(), NID_subject_alt_name, alt_names) ||
        !AddExtension(server.get(), ca.get(), NID_ext_key_usage, "serverAuth") ||
        !AddExtension(server.get(), ca.get(), NID_authority_key_identifier, "keyid:always") ||
        X509_sign(server.get(), ca_key.get(), EVP_sha256()) == 0) {
        return {};
    }

    const std::filesystem::path dir(folder);
    CertificateFiles files{(dir / "ca.pem").string(), (dir / "server.pem").string(),
                           (dir / "server-key.pem").string()};
    if (!WritePem(files.ca_cert, ca.get(), nullptr) ||
        !WritePem(files.server_cert, server.get(), nullptr) ||
        !WritePem(files.server_key, nullptr, server_key.get())) {
        return {};
    }
    return files;
}

}  // namespace sim
