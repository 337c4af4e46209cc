#include "support/RawTlsServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <openssl/ssl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>

namespace zelmo::test {
namespace {

constexpr std::size_t MAX_REQUEST_BYTES = 16 << 20;

struct SslFree {
    void operator()(SSL* ssl) const { SSL_free(ssl); }
};

// Content-Length of a raw header block, 0 when absent.
std::size_t ContentLength(const std::string& head) {
    std::string lower = head;
    for (char& c : lower) {
        c = (c >= 'A' && c <= 'Z') ? char(c + 32) : c;
    }
    const std::size_t at = lower.find("\r\ncontent-length:");
    if (at == std::string::npos) {
        return 0;
    }
    return std::strtoul(head.c_str() + at + 17, nullptr, 10);
}

}  // namespace

struct RawTlsServer::Context {
    SSL_CTX* ctx = SSL_CTX_new(TLS_server_method());
    ~Context() { SSL_CTX_free(ctx); }
};

RawTlsServer::RawTlsServer(const std::string& cert_file, const std::string& key_file,
                           Responder responder)
    : m_context(std::make_unique<Context>()), m_responder(std::move(responder)) {
    if (m_context->ctx == nullptr ||
        SSL_CTX_use_certificate_chain_file(m_context->ctx, cert_file.c_str()) != 1 ||
        SSL_CTX_use_PrivateKey_file(m_context->ctx, key_file.c_str(), SSL_FILETYPE_PEM) != 1) {
        m_context.reset();
    }
}

RawTlsServer::~RawTlsServer() {
    if (m_listener >= 0) {
        // Unblocks accept() in the serving thread.
        shutdown(m_listener, SHUT_RDWR);
    }
    if (m_thread.joinable()) {
        m_thread.join();
    }
    if (m_listener >= 0) {
        close(m_listener);
    }
}

bool RawTlsServer::Start() {
    if (!m_context) {
        return false;
    }
    m_listener = socket(AF_INET, SOCK_STREAM, 0);
    if (m_listener < 0) {
        return false;
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof(address);
    if (bind(m_listener, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        listen(m_listener, 16) != 0 ||
        getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        return false;
    }
    m_port = ntohs(address.sin_port);
    m_thread = std::thread([this] {
        for (;;) {
            const int client = accept(m_listener, nullptr, nullptr);
            if (client < 0) {
                return;
            }
            Serve(client);
            close(client);
        }
    });
    return true;
}

void RawTlsServer::Serve(int client) {
    const std::unique_ptr<SSL, SslFree> ssl(SSL_new(m_context->ctx));
    if (!ssl || SSL_set_fd(ssl.get(), client) != 1 || SSL_accept(ssl.get()) != 1) {
        return;
    }
    std::string raw;
    char buffer[4096];
    std::size_t wanted = 0;
    while (raw.size() < MAX_REQUEST_BYTES) {
        const std::size_t head_end = raw.find("\r\n\r\n");
        if (head_end != std::string::npos) {
            wanted = head_end + 4 + ContentLength(raw.substr(0, head_end + 2));
            if (raw.size() >= wanted) {
                break;
            }
        }
        const int got = SSL_read(ssl.get(), buffer, sizeof(buffer));
        if (got <= 0) {
            return;
        }
        raw.append(buffer, static_cast<std::size_t>(got));
    }
    {
        const std::lock_guard lock(m_mutex);
        m_requests.push_back(raw);
    }
    const std::string answer = m_responder(raw);
    SSL_write(ssl.get(), answer.data(), static_cast<int>(answer.size()));
    SSL_shutdown(ssl.get());
}

std::vector<std::string> RawTlsServer::Requests() const {
    const std::lock_guard lock(m_mutex);
    return m_requests;
}

}  // namespace zelmo::test
