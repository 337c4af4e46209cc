#pragma once

#include <httplib.h>

#include <memory>
#include <string>
#include <thread>

#include "support/TestSupport.h"

namespace zelmo::test {

// An HTTPS server on 127.0.0.1 (ephemeral port) whose certificate, made for this run by
// its own CA, is valid for "wx.qq.com" and "*.qq.com". It never compresses by itself:
// Accept-Encoding is dropped before routing, so a handler decides the encoding.
// Register handlers on Http(), then Start(). Stops and joins when destroyed.
class TlsTestServer {
public:
    TlsTestServer();
    ~TlsTestServer();
    TlsTestServer(const TlsTestServer&) = delete;
    TlsTestServer& operator=(const TlsTestServer&) = delete;

    httplib::Server& Http() { return *m_server; }
    // False when the certificates or the listening socket could not be made.
    bool Start();
    int Port() const { return m_port; }
    // "127.0.0.1:PORT", for WebClientConfig::connect_to.
    std::string ConnectTo() const;
    const std::string& CaFile() const { return m_ca_file; }
    const std::string& CertFile() const { return m_cert_file; }
    const std::string& KeyFile() const { return m_key_file; }

private:
    TempDir m_dir;
    std::string m_ca_file;
    std::string m_cert_file;
    std::string m_key_file;
    std::unique_ptr<httplib::SSLServer> m_server;
    std::thread m_thread;
    int m_port = -1;
};

}  // namespace zelmo::test
