#pragma once

#include <functional>
#include <memory>
#include <string>

#include "sim/HttpWire.h"

namespace sim {

// A small HTTP/1.1 server over TLS on 127.0.0.1, one thread per connection, keep-alive.
// It takes any request method as sent (cpp-httplib refuses the lowercase "post") and
// keeps the headers in arrival order.
class TlsServer {
public:
    using Handler = std::function<HttpResponse(HttpRequest&)>;

    TlsServer();
    ~TlsServer();  // stops
    TlsServer(const TlsServer&) = delete;
    TlsServer& operator=(const TlsServer&) = delete;

    // Binds (port 0: ephemeral) and starts accepting. False on failure.
    bool Start(const std::string& cert_file, const std::string& key_file, int port,
               Handler handler);
    int Port() const;
    // Closes the listener and every connection and joins all threads. Handlers that
    // block must be woken by their owner first.
    void Stop();

    struct Impl;

private:
    std::unique_ptr<Impl> m_impl;
};

}  // namespace sim
