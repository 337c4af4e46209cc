#include "sim/TlsServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <list>
#include <mutex>
#include <set>
#include <thread>

namespace sim {
namespace {

constexpr std::size_t MAX_HEAD_BYTES = 64u << 10;
constexpr std::size_t MAX_BODY_BYTES = 64u << 20;
constexpr std::size_t MAX_CONNECTIONS = 512;
constexpr int IDLE_TIMEOUT_S = 120;

// Buffered reading over one TLS connection.
class TlsReader {
public:
    explicit TlsReader(SSL* ssl) : m_ssl(ssl) {}

    bool Fill() {
        char chunk[16384];
        const int n = SSL_read(m_ssl, chunk, sizeof chunk);
        if (n <= 0) {
            return false;
        }
        m_buffer.append(chunk, static_cast<std::size_t>(n));
        return true;
    }

    // Text up to `marker` (excluded), consumed with the marker.
    bool ReadUntil(std::string_view marker, std::size_t limit, std::string& out) {
        for (;;) {
            const std::size_t pos = m_buffer.find(marker);
            if (pos != std::string::npos) {
                out = m_buffer.substr(0, pos);
                m_buffer.erase(0, pos + marker.size());
                return true;
            }
            if (m_buffer.size() > limit || !Fill()) {
                return false;
            }
        }
    }

    // What the buffer holds first, the rest read straight into `out`: a large body is
    // neither grown piece by piece nor copied again.
    bool ReadExact(std::size_t count, std::string& out) {
        const std::size_t buffered = std::min(count, m_buffer.size());
        out.append(m_buffer, 0, buffered);
        m_buffer.erase(0, buffered);
        std::size_t at = out.size();
        out.resize(at + count - buffered);
        while (at < out.size()) {
            const std::size_t want = std::min<std::size_t>(out.size() - at, 1u << 30);
            const int n = SSL_read(m_ssl, out.data() + at, static_cast<int>(want));
            if (n <= 0) {
                return false;
            }
            at += static_cast<std::size_t>(n);
        }
        return true;
    }

private:
    SSL* m_ssl;
    std::string m_buffer;
};

bool WriteAll(SSL* ssl, std::string_view data) {
    while (!data.empty()) {
        const int n = SSL_write(ssl, data.data(), static_cast<int>(data.size()));
        if (n <= 0) {
            return false;
        }
        data.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

bool ReadChunkedBody(TlsReader& reader, std::string& body) {
    for (;;) {
        std::string size_line;
        if (!reader.ReadUntil("\r\n", 1024, size_line)) {
            return false;
        }
        std::size_t size = 0;
        try {
            size = std::stoul(size_line, nullptr, 16);
        } catch (...) {
            return false;
        }
        if (size == 0) {
            std::string trailer;
            // Trailers end with an empty line.
            do {
                if (!reader.ReadUntil("\r\n", 8192, trailer)) {
                    return false;
                }
            } while (!trailer.empty());
            return true;
        }
        if (body.size() + size > MAX_BODY_BYTES || !reader.ReadExact(size, body)) {
            return false;
        }
        std::string crlf;
        if (!reader.ReadExact(2, crlf)) {
            return false;
        }
    }
}

void ResetSocket(int fd) {
    linger hard{1, 0};
    setsockopt(fd, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
}

}  // namespace

struct TlsServer::Impl {
    SSL_CTX* ctx = nullptr;
    int listen_fd = -1;
    int wake_pipe[2] = {-1, -1};
    int port = 0;
    Handler handler;
    std::thread accept_thread;
    std::mutex mutex;
    std::set<int> open_fds;
    struct Worker {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> done;
    };
    std::list<Worker> workers;
    std::atomic<bool> stopping{false};

    ~Impl() {
        if (ctx != nullptr) {
            SSL_CTX_free(ctx);
        }
        for (int fd : {listen_fd, wake_pipe[0], wake_pipe[1]}) {
            if (fd >= 0) {
                close(fd);
            }
        }
    }

    void ReapFinished() {
        std::lock_guard lock(mutex);
        for (auto it = workers.begin(); it != workers.end();) {
            if (it->done->load()) {
                it->thread.join();
                it = workers.erase(it);
            } else {
                ++it;
            }
        }
    }

    void AcceptLoop() {
        while (!stopping.load()) {
            pollfd fds[2] = {{listen_fd, POLLIN, 0}, {wake_pipe[0], POLLIN, 0}};
            if (poll(fds, 2, 1000) < 0) {
                continue;
            }
            ReapFinished();
            if ((fds[1].revents & POLLIN) != 0 || stopping.load()) {
                break;
            }
            if ((fds[0].revents & POLLIN) == 0) {
                continue;
            }
            const int fd = accept4(listen_fd, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0) {
                continue;
            }
            std::lock_guard lock(mutex);
            if (open_fds.size() >= MAX_CONNECTIONS) {
                close(fd);
                continue;
            }
            open_fds.insert(fd);
            auto done = std::make_shared<std::atomic<bool>>(false);
            workers.push_back({std::thread([this, fd, done] {
                                   Serve(fd);
                                   done->store(true);
                               }),
                               done});
        }
    }

    void Serve(int fd) {
        const int one = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        timeval idle{IDLE_TIMEOUT_S, 0};
        setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &idle, sizeof idle);
        SSL* ssl = SSL_new(ctx);
        bool reset = false;
        if (ssl != nullptr && SSL_set_fd(ssl, fd) == 1 && SSL_accept(ssl) == 1) {
            const char* name = SSL_get_servername(ssl, TLSEXT_NAMETYPE_host_name);
            reset = ServeRequests(ssl, name == nullptr ? "" : name);
        }
        if (ssl != nullptr) {
            if (!reset) {
                SSL_shutdown(ssl);
            }
            SSL_free(ssl);
        }
        ERR_clear_error();
        {
            std::lock_guard lock(mutex);
            open_fds.erase(fd);
        }
        if (reset) {
            ResetSocket(fd);
        }
        close(fd);
    }

    // Returns true when the connection must end with a reset.
    bool ServeRequests(SSL* ssl, const std::string& sni) {
        TlsReader reader(ssl);
        while (!stopping.load()) {
            std::string head;
            if (!reader.ReadUntil("\r\n\r\n", MAX_HEAD_BYTES, head)) {
                return false;
            }
            HttpRequest request;
            request.sni = sni;
            if (!ParseRequestHead(head, request)) {
                HttpResponse bad;
                bad.status = 400;
                bad.close = true;
                WriteAll(ssl, SerializeResponse(bad));
                return false;
            }
            if (!ReadBody(ssl, reader, request)) {
                return false;
            }
            HttpResponse response = handler(request);
            if (response.reset) {
                return true;
            }
            const std::string connection = HeaderValue(request.headers, "Connection");
            if (connection == "close" || connection == "Close") {
                response.close = true;
            }
            const std::string wire = SerializeResponse(response);
            if (response.cut_at < response.body.size()) {
                const std::size_t head = wire.size() - response.body.size();
                WriteAll(ssl, std::string_view(wire).substr(0, head + response.cut_at));
                return false;
            }
            if (!WriteAll(ssl, wire) || response.close) {
                return false;
            }
        }
        return false;
    }

    static bool ReadBody(SSL* ssl, TlsReader& reader, HttpRequest& request) {
        if (HeaderValue(request.headers, "Expect") == "100-continue") {
            WriteAll(ssl, "HTTP/1.1 100 Continue\r\n\r\n");
        }
        const std::string encoding = HeaderValue(request.headers, "Transfer-Encoding");
        if (encoding.find("chunked") != std::string::npos) {
            return ReadChunkedBody(reader, request.body);
        }
        const std::string length = HeaderValue(request.headers, "Content-Length");
        if (length.empty()) {
            return true;
        }
        std::size_t size = 0;
        try {
            size = std::stoul(length);
        } catch (...) {
            return false;
        }
        return size <= MAX_BODY_BYTES && reader.ReadExact(size, request.body);
    }
};

TlsServer::TlsServer() : m_impl(std::make_unique<Impl>()) {}

TlsServer::~TlsServer() {
    Stop();
}

bool TlsServer::Start(const std::string& cert_file, const std::string& key_file, int port,
                      Handler handler) {
    // A peer that hangs up mid-answer must not kill the process.
    std::signal(SIGPIPE, SIG_IGN);
    Impl& impl = *m_impl;
    impl.handler = std::move(handler);
    impl.ctx = SSL_CTX_new(TLS_server_method());
    if (impl.ctx == nullptr ||
        SSL_CTX_use_certificate_chain_file(impl.ctx, cert_file.c_str()) != 1 ||
        SSL_CTX_use_PrivateKey_file(impl.ctx, key_file.c_str(), SSL_FILETYPE_PEM) != 1) {
        return false;
    }
    SSL_CTX_set_mode(impl.ctx, SSL_MODE_AUTO_RETRY);
    impl.listen_fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (impl.listen_fd < 0 || pipe2(impl.wake_pipe, O_CLOEXEC) != 0) {
        return false;
    }
    const int one = 1;
    setsockopt(impl.listen_fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (bind(impl.listen_fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(impl.listen_fd, 256) != 0) {
        return false;
    }
    socklen_t length = sizeof address;
    getsockname(impl.listen_fd, reinterpret_cast<sockaddr*>(&address), &length);
    impl.port = ntohs(address.sin_port);
    impl.accept_thread = std::thread([&impl] { impl.AcceptLoop(); });
    return true;
}

int TlsServer::Port() const {
    return m_impl->port;
}

void TlsServer::Stop() {
    Impl& impl = *m_impl;
    if (impl.stopping.exchange(true)) {
        return;
    }
    if (impl.wake_pipe[1] >= 0) {
        const char byte = 1;
        [[maybe_unused]] const ssize_t written = write(impl.wake_pipe[1], &byte, 1);
    }
    if (impl.accept_thread.joinable()) {
        impl.accept_thread.join();
    }
    std::list<Impl::Worker> workers;
    {
        std::lock_guard lock(impl.mutex);
        for (const int fd : impl.open_fds) {
            shutdown(fd, SHUT_RDWR);
        }
        workers.swap(impl.workers);
    }
    for (Impl::Worker& worker : workers) {
        worker.thread.join();
    }
}

}  // namespace sim
