#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace zelmo::test {

// A bare TLS server on 127.0.0.1 that records each request byte for byte (request line,
// headers in the order sent, body) and answers it with the responder's raw bytes, then
// closes the connection. For checks that a parsed header map would hide.
class RawTlsServer {
public:
    using Responder = std::function<std::string(const std::string& raw_request)>;

    RawTlsServer(const std::string& cert_file, const std::string& key_file, Responder responder);
    ~RawTlsServer();
    RawTlsServer(const RawTlsServer&) = delete;
    RawTlsServer& operator=(const RawTlsServer&) = delete;

    // False when the certificate or the listening socket could not be set up.
    bool Start();
    int Port() const { return m_port; }
    std::string ConnectTo() const { return "127.0.0.1:" + std::to_string(m_port); }
    std::vector<std::string> Requests() const;

private:
    void Serve(int client);

    struct Context;
    std::unique_ptr<Context> m_context;
    Responder m_responder;
    int m_listener = -1;
    int m_port = -1;
    std::thread m_thread;
    mutable std::mutex m_mutex;
    std::vector<std::string> m_requests;
};

}  // namespace zelmo::test
