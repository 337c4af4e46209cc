#pragma once

#include <string>
#include <vector>

namespace sim {

// PEM files of a CA made at run time and of a server certificate it signed.
struct CertificateFiles {
    std::string ca_cert;
    std::string server_cert;
    std::string server_key;
};

// Makes a fresh CA and a server certificate valid for `host_names` (wildcards such as
// "*.qq.com" allowed) and 127.0.0.1, and writes them into `folder` (created if missing).
// Returns empty paths on failure.
CertificateFiles MakeCertificates(const std::string& folder,
                                  const std::vector<std::string>& host_names);

}  // namespace sim
