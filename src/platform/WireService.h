#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace zelmo::platform {

// The head of an incoming HTTP request or WebSocket upgrade, before any body is read.
struct WireRequestHead {
    std::string_view method;  // as sent ("POST", "GET" ...)
    std::string_view target;  // path and query as sent
    // The Authorization header; nothing when the request has none.
    std::optional<std::string_view> authorization;
    std::string_view content_type;
    bool upgrade = false;  // a WebSocket upgrade
};

struct WireHttpRequest {
    std::string target;
    std::string content_type;
    std::string body;
    bool too_large = false;  // the body was over the limit: not read, `body` empty
};

struct WireHttpReply {
    int status = 200;
    std::string content_type;
    std::string body;
};

// One WebSocket connection, accepted or made; never 0 and never used twice in a run.
using WireConnectionId = std::uint64_t;

// Answers a request once, from any thread.
using WireReplier = std::function<void(WireHttpReply reply)>;

// The side that knows what the requests mean. Called on the service's I/O thread only, one
// call at a time: each call must return quickly and hand longer work to other threads.
class WireHandler {
public:
    virtual ~WireHandler() = default;
    // 0 admits the request; any other value is the status it is answered with at once (and
    // the connection closed), before its body is read or the upgrade is accepted.
    virtual int Admit(const WireRequestHead& head) = 0;
    // An admitted HTTP request with its body. The request stays open until `reply` runs.
    virtual void OnHttp(WireHttpRequest request, WireReplier reply) = 0;
    // A WebSocket connection is open (`outgoing`: one this side made). The text returned is
    // its first frame, queued before anything else can be (none when empty).
    virtual std::string OnOpen(WireConnectionId id, bool outgoing) = 0;
    // A whole message that came in; `binary` for a binary one.
    virtual void OnFrame(WireConnectionId id, std::string text, bool binary) = 0;
    // The connection is gone, and why (for a log line).
    virtual void OnClose(WireConnectionId id, std::string_view reason) = 0;
};

struct WireLimits {
    std::size_t max_connections = 64;           // accepted and open at once, all listeners
    std::size_t max_body_bytes = 32u << 20;     // an HTTP body or a WebSocket message
    std::size_t max_queued_frames = 4096;       // per WebSocket connection, waiting to go out
    std::size_t max_queued_bytes = 128u << 20;  // the same in bytes
    int idle_timeout_ms = 60000;  // a WebSocket peer that answers no ping in it is dropped
};

// HTTP and WebSocket servers and WebSocket clients on one I/O thread. A peer that reads too
// slowly is dropped once its queue is over the limits, so no caller ever waits on a peer.
// Every method may be called from any thread.
class WireService {
public:
    explicit WireService(WireHandler& handler, WireLimits limits = {});
    // Stops.
    ~WireService();
    WireService(const WireService&) = delete;
    WireService& operator=(const WireService&) = delete;

    // Listens on host ("127.0.0.1", "::1", "localhost", "0.0.0.0" ...) and port ("0": any
    // free one) for HTTP requests (`http`) and WebSocket upgrades (`websocket`). The port
    // it listens on; 0 when it could not, with the reason in `error`.
    int Listen(std::string_view host, std::string_view port, bool http, bool websocket,
               std::string* error = nullptr);

    // Keeps a WebSocket connection to a "ws://host[:port][/path]" URL: connects now and
    // again retry_ms after every failure or close, for as long as the service runs. Every
    // handshake carries `headers`. False (nothing started) for a URL of another form.
    bool Connect(std::string_view url, std::vector<std::pair<std::string, std::string>> headers,
                 int retry_ms);

    // Queues a text frame for one connection; false when it is not open.
    bool Send(WireConnectionId id, std::string text);
    // Queues a text frame for every open connection.
    void Broadcast(std::string text);
    // Closes one connection.
    void Close(WireConnectionId id);
    // Runs `task` on the I/O thread after `ms` milliseconds, unless the service stops first.
    void After(int ms, std::function<void()> task);
    // WebSocket connections open now, both directions.
    std::size_t OpenConnections() const;

    // Closes every listener and connection and joins the I/O thread; later calls do
    // nothing. Not from a handler call.
    void Stop();

    struct Core;

private:
    std::shared_ptr<Core> m_core;
};

}  // namespace zelmo::platform
