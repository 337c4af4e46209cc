#include "platform/WireService.h"

#include <atomic>
#include <boost/asio/basic_waitable_timer.hpp>
#include <boost/asio/connect.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/beast/core/buffers_to_string.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/http/read.hpp>
#include <boost/beast/http/string_body.hpp>
#include <boost/beast/http/write.hpp>
#include <boost/beast/websocket/rfc6455.hpp>
#include <boost/beast/websocket/stream.hpp>
#include <chrono>
#include <deque>
#include <map>
#include <mutex>
#include <thread>

namespace zelmo::platform {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
namespace websocket = beast::websocket;
using tcp = asio::ip::tcp;
using ErrorCode = beast::error_code;
// One executor type throughout instead of the type-erased default: the same operations,
// far fewer templates for the compiler to make.
using Executor = asio::io_context::executor_type;
using Socket = asio::basic_stream_socket<tcp, Executor>;
using Acceptor = asio::basic_socket_acceptor<tcp, Executor>;
using Resolver = asio::ip::basic_resolver<tcp, Executor>;
using Timer = asio::basic_waitable_timer<std::chrono::steady_clock,
                                         asio::wait_traits<std::chrono::steady_clock>, Executor>;

namespace {

constexpr std::size_t HEADER_LIMIT = 16 * 1024;
constexpr auto HEAD_TIMEOUT = std::chrono::seconds(60);
constexpr auto WRITE_TIMEOUT = std::chrono::seconds(30);
constexpr auto CONNECT_TIMEOUT = std::chrono::seconds(10);
constexpr auto HANDSHAKE_TIMEOUT = std::chrono::seconds(10);
// A refused request may still be sending its body: it is read and thrown away for a
// moment, so that closing does not reset the connection before the answer is read.
constexpr auto DRAIN_TIMEOUT = std::chrono::seconds(2);
constexpr std::size_t DRAIN_LIMIT = 1u << 20;
constexpr std::string_view SERVER_NAME = "zelmo";

}  // namespace

class HttpSession;
class WsSession;
class ClientLink;

struct WireService::Core : std::enable_shared_from_this<Core> {
    Core(WireHandler& handler_in, WireLimits limits_in)
        : handler(handler_in), limits(limits_in), work(asio::make_work_guard(io)) {}

    // Runs `task` on the I/O thread; false once the service stops. Any thread.
    bool Post(std::function<void()> task) {
        std::lock_guard lock(mutex);
        if (stopped) {
            return false;
        }
        asio::post(io, std::move(task));
        return true;
    }

    bool Stopped() {
        std::lock_guard lock(mutex);
        return stopped;
    }

    WireHandler& handler;
    const WireLimits limits;
    std::mutex mutex;
    bool stopped = false;
    std::atomic<std::size_t> accepted{0};
    std::atomic<std::size_t> open_sockets{0};
    // After what the sessions touch and before what holds sockets: its end destroys the
    // sessions that pending handlers still hold.
    asio::io_context io{1};
    asio::executor_work_guard<asio::io_context::executor_type> work;
    std::thread thread;

    // The I/O thread's own state.
    WireConnectionId next_id = 1;
    std::map<WireConnectionId, std::weak_ptr<WsSession>> sockets;
    std::vector<std::shared_ptr<Acceptor>> acceptors;
    std::vector<std::shared_ptr<ClientLink>> links;
    std::vector<std::weak_ptr<Timer>> timers;
    std::vector<std::weak_ptr<HttpSession>> requests;
};

using Core = WireService::Core;

namespace {

// Counts an accepted connection for as long as it lives.
class ConnectionSlot {
public:
    explicit ConnectionSlot(Core& core) : m_core(&core) { m_core->accepted.fetch_add(1); }
    ConnectionSlot(ConnectionSlot&& other) noexcept : m_core(other.m_core) {
        other.m_core = nullptr;
    }
    ConnectionSlot(const ConnectionSlot&) = delete;
    ConnectionSlot& operator=(const ConnectionSlot&) = delete;
    ConnectionSlot& operator=(ConnectionSlot&&) = delete;
    ~ConnectionSlot() {
        if (m_core != nullptr) {
            m_core->accepted.fetch_sub(1);
        }
    }

private:
    Core* m_core;
};

}  // namespace

// One WebSocket connection, accepted or made. I/O thread only.
class WsSession : public std::enable_shared_from_this<WsSession> {
public:
    WsSession(Core& core, Socket socket, bool outgoing)
        : m_core(core),
          m_ws(std::move(socket)),
          m_timer(core.io.get_executor()),
          m_outgoing(outgoing) {
        m_ws.read_message_max(core.limits.max_body_bytes);
        // One frame per message: a large answer (a friend list) goes out in one write rather
        // than in thousands of 4 KB frames.
        m_ws.auto_fragment(false);
    }

    void KeepSlot(ConnectionSlot slot) { m_slot.emplace(std::move(slot)); }
    void SetEndListener(std::function<void()> listener) { m_on_end = std::move(listener); }

    void Accept(const http::request<http::string_body>& request) {
        SetTimeouts();
        // A client that asks for a subprotocol gets its first one back; none is required.
        std::string protocol(request[http::field::sec_websocket_protocol]);
        protocol = protocol.substr(0, protocol.find(','));
        while (!protocol.empty() && protocol.back() == ' ') {
            protocol.pop_back();
        }
        m_ws.set_option(
            websocket::stream_base::decorator([protocol](websocket::response_type& response) {
                response.set(http::field::server, SERVER_NAME);
                if (!protocol.empty()) {
                    response.set(http::field::sec_websocket_protocol, protocol);
                }
            }));
        m_ws.async_accept(request,
                          [self = shared_from_this()](ErrorCode error) { self->Opened(error); });
    }

    void Connect(const tcp::resolver::results_type& endpoints, std::string host, std::string target,
                 std::vector<std::pair<std::string, std::string>> headers) {
        m_timer.expires_after(CONNECT_TIMEOUT);
        m_timer.async_wait([weak = weak_from_this()](ErrorCode error) {
            auto self = weak.lock();
            if (!error && self && !self->m_open) {
                self->Abort("connect: timed out");
            }
        });
        asio::async_connect(
            beast::get_lowest_layer(m_ws), endpoints,
            [self = shared_from_this(), host = std::move(host), target = std::move(target),
             headers = std::move(headers)](ErrorCode error, const tcp::endpoint&) mutable {
                self->Connected(error, host, target, std::move(headers));
            });
    }

    // Queues one frame; a queue over the limits drops the peer instead of growing.
    void Enqueue(std::shared_ptr<const std::string> text) {
        if (!m_open) {
            return;
        }
        const WireLimits& limits = m_core.limits;
        if (m_queue.size() >= limits.max_queued_frames ||
            m_queued_bytes + text->size() > limits.max_queued_bytes) {
            Abort("send queue full");
            return;
        }
        m_queued_bytes += text->size();
        m_queue.push_back(std::move(text));
        if (!m_writing) {
            WriteNext();
        }
    }

    // Drops the connection at once, whatever is still queued.
    void Abort(std::string_view reason) {
        ErrorCode ignored;
        m_timer.cancel();
        beast::get_lowest_layer(m_ws).shutdown(tcp::socket::shutdown_both, ignored);
        beast::get_lowest_layer(m_ws).close(ignored);
        End(reason);
    }

private:
    void SetTimeouts() {
        websocket::stream_base::timeout timeout{};
        timeout.handshake_timeout = HANDSHAKE_TIMEOUT;
        timeout.idle_timeout = std::chrono::milliseconds(m_core.limits.idle_timeout_ms);
        timeout.keep_alive_pings = true;
        m_ws.set_option(timeout);
    }

    void Connected(ErrorCode error, const std::string& host, const std::string& target,
                   std::vector<std::pair<std::string, std::string>> headers) {
        m_timer.cancel();
        if (error) {
            End("connect: " + error.message());
            return;
        }
        beast::get_lowest_layer(m_ws).set_option(tcp::no_delay(true), error);
        SetTimeouts();
        m_ws.set_option(websocket::stream_base::decorator(
            [headers = std::move(headers)](websocket::request_type& request) {
                for (const auto& [name, value] : headers) {
                    request.set(name, value);
                }
            }));
        m_ws.async_handshake(host, target, [self = shared_from_this()](ErrorCode handshake_error) {
            self->Opened(handshake_error);
        });
    }

    void Opened(ErrorCode error) {
        if (error) {
            End("handshake: " + error.message());
            return;
        }
        if (m_core.Stopped()) {
            Abort("stopping");
            return;
        }
        m_open = true;
        m_id = m_core.next_id++;
        m_core.sockets[m_id] = weak_from_this();
        m_core.open_sockets.fetch_add(1);
        std::string first = m_core.handler.OnOpen(m_id, m_outgoing);
        if (!first.empty()) {
            Enqueue(std::make_shared<const std::string>(std::move(first)));
        }
        if (m_open) {
            Read();
        }
    }

    void Read() {
        m_ws.async_read(m_buffer, [self = shared_from_this()](ErrorCode error, std::size_t) {
            self->Received(error);
        });
    }

    void Received(ErrorCode error) {
        if (error) {
            End(error == websocket::error::closed ? std::string("closed by the peer")
                                                  : error.message());
            return;
        }
        std::string text = beast::buffers_to_string(m_buffer.data());
        m_buffer.consume(m_buffer.size());
        m_core.handler.OnFrame(m_id, std::move(text), !m_ws.got_text());
        if (m_open) {
            Read();
        }
    }

    void WriteNext() {
        m_writing = true;
        m_ws.text(true);
        m_ws.async_write(
            asio::buffer(*m_queue.front()),
            [self = shared_from_this()](ErrorCode error, std::size_t) { self->Written(error); });
    }

    void Written(ErrorCode error) {
        m_writing = false;
        if (error) {
            End(error.message());
            return;
        }
        m_queued_bytes -= m_queue.front()->size();
        m_queue.pop_front();
        if (m_open && !m_queue.empty()) {
            WriteNext();
        }
    }

    void End(std::string_view reason) {
        if (m_ended) {
            return;
        }
        m_ended = true;
        if (m_open) {
            m_open = false;
            m_core.sockets.erase(m_id);
            m_core.open_sockets.fetch_sub(1);
            m_core.handler.OnClose(m_id, reason);
        }
        m_queue.clear();
        m_queued_bytes = 0;
        if (m_on_end) {
            std::function<void()> listener = std::move(m_on_end);
            listener();
        }
    }

    Core& m_core;
    websocket::stream<Socket> m_ws;
    Timer m_timer;
    bool m_outgoing;
    std::optional<ConnectionSlot> m_slot;
    std::function<void()> m_on_end;
    beast::flat_buffer m_buffer;
    std::deque<std::shared_ptr<const std::string>> m_queue;
    std::size_t m_queued_bytes = 0;
    bool m_writing = false;
    bool m_open = false;
    bool m_ended = false;
    WireConnectionId m_id = 0;
};

// One accepted HTTP connection: requests one after another until it closes or upgrades.
class HttpSession : public std::enable_shared_from_this<HttpSession> {
public:
    HttpSession(Core& core, Socket socket, ConnectionSlot slot, bool http, bool websocket)
        : m_core(core),
          m_socket(std::move(socket)),
          m_timer(core.io.get_executor()),
          m_slot(std::move(slot)),
          m_http(http),
          m_websocket(websocket) {}

    void Start() { ReadHead(); }

    void Abort() {
        ErrorCode ignored;
        m_timer.cancel();
        m_socket.shutdown(tcp::socket::shutdown_both, ignored);
        m_socket.close(ignored);
    }

    void Write(WireHttpReply reply) {
        auto response = std::make_shared<http::response<http::string_body>>(
            static_cast<http::status>(reply.status), m_version);
        response->set(http::field::server, SERVER_NAME);
        if (!reply.content_type.empty()) {
            response->set(http::field::content_type, reply.content_type);
        }
        response->body() = std::move(reply.body);
        response->keep_alive(m_keep_alive);
        response->prepare_payload();
        Arm(WRITE_TIMEOUT);
        http::async_write(m_socket, *response,
                          [self = shared_from_this(), response](ErrorCode error, std::size_t) {
                              self->m_timer.cancel();
                              if (error) {
                                  return;
                              }
                              if (self->m_keep_alive) {
                                  self->ReadHead();
                              } else {
                                  self->Drain();
                              }
                          });
    }

private:
    // A wait on this connection (a head, a body, a write) ends the connection when it takes
    // longer than `limit`.
    void Arm(std::chrono::steady_clock::duration limit) {
        m_timer.expires_after(limit);
        m_timer.async_wait([weak = weak_from_this()](ErrorCode error) {
            if (auto self = weak.lock(); self && !error) {
                self->Abort();
            }
        });
    }

    void ReadHead() {
        m_parser.emplace();
        m_parser->header_limit(HEADER_LIMIT);
        m_parser->body_limit(m_core.limits.max_body_bytes);
        Arm(HEAD_TIMEOUT);
        http::async_read_header(
            m_socket, m_buffer, *m_parser,
            [self = shared_from_this()](ErrorCode error, std::size_t) { self->HeadRead(error); });
    }

    void HeadRead(ErrorCode error) {
        m_timer.cancel();
        // A Content-Length over the limit ends the head's read; the head itself is whole.
        const bool too_large = error == http::error::body_limit;
        if (error && !too_large) {
            return;
        }
        const auto& request = m_parser->get();
        m_version = request.version();
        m_keep_alive = request.keep_alive();
        WireRequestHead head;
        head.method = std::string_view(request.method_string());
        head.target = std::string_view(request.target());
        if (const auto field = request.find(http::field::authorization); field != request.end()) {
            head.authorization = std::string_view(field->value());
        }
        head.content_type = std::string_view(request[http::field::content_type]);
        head.upgrade = websocket::is_upgrade(request);
        // The handler's checks (authentication first) come before anything else is said.
        if (const int status = m_core.handler.Admit(head); status != 0) {
            Refuse(status);
            return;
        }
        if (head.upgrade ? !m_websocket : !m_http) {
            Refuse(404);
            return;
        }
        if (too_large && !head.upgrade) {
            BodyRead(error);
            return;
        }
        if (head.upgrade) {
            if (!m_parser->is_done()) {
                Refuse(400);
                return;
            }
            auto socket = std::make_shared<WsSession>(m_core, std::move(m_socket), false);
            socket->KeepSlot(std::move(m_slot));
            socket->Accept(m_parser->release());
            return;
        }
        if (beast::iequals(request[http::field::expect], "100-continue")) {
            // The same answer type as every other, so the compiler makes one writer.
            auto going_on =
                std::make_shared<http::response<http::string_body>>(http::status::continue_, 11);
            Arm(WRITE_TIMEOUT);
            http::async_write(
                m_socket, *going_on,
                [self = shared_from_this(), going_on](ErrorCode write_error, std::size_t) {
                    self->m_timer.cancel();
                    if (!write_error) {
                        self->ReadBody();
                    }
                });
            return;
        }
        ReadBody();
    }

    void ReadBody() {
        Arm(HEAD_TIMEOUT);
        http::async_read(
            m_socket, m_buffer, *m_parser,
            [self = shared_from_this()](ErrorCode error, std::size_t) { self->BodyRead(error); });
    }

    void BodyRead(ErrorCode error) {
        m_timer.cancel();
        WireHttpRequest request;
        if (error == http::error::body_limit) {
            request.too_large = true;
            m_keep_alive = false;
        } else if (error) {
            return;
        } else {
            http::request<http::string_body> whole = m_parser->release();
            request.body = std::move(whole.body());
            m_keep_alive = whole.keep_alive();
            request.target = std::string(whole.target());
            request.content_type = std::string(whole[http::field::content_type]);
        }
        if (request.too_large) {
            const auto& head = m_parser->get();
            request.target = std::string(head.target());
            request.content_type = std::string(head[http::field::content_type]);
        }
        m_core.handler.OnHttp(std::move(request), Replier());
    }

    // The answer's way back: once, from any thread, onto the I/O thread. It holds the
    // session (the request stays open) until it runs.
    WireReplier Replier() {
        struct Pending {
            std::shared_ptr<Core> core;
            std::mutex mutex;
            std::shared_ptr<HttpSession> session;  // after `core`: released first
        };
        auto pending = std::make_shared<Pending>();
        pending->core = m_core.shared_from_this();
        pending->session = shared_from_this();
        return [pending](WireHttpReply reply) {
            std::shared_ptr<HttpSession> session;
            {
                std::lock_guard lock(pending->mutex);
                session.swap(pending->session);
            }
            if (!session) {
                return;
            }
            pending->core->Post([session = std::move(session), reply = std::move(reply)]() mutable {
                session->Write(std::move(reply));
            });
        };
    }

    void Refuse(int status) {
        m_keep_alive = false;
        WireHttpReply reply;
        reply.status = status;
        Write(std::move(reply));
    }

    // After the last answer: no more sending, and whatever the peer still sends is read
    // and dropped until it closes, a limit or a time-out.
    void Drain() {
        ErrorCode ignored;
        m_socket.shutdown(tcp::socket::shutdown_send, ignored);
        Arm(DRAIN_TIMEOUT);
        m_drain_buffer.resize(64 * 1024);
        ReadAway();
    }

    void ReadAway() {
        m_socket.async_read_some(asio::buffer(m_drain_buffer),
                                 [self = shared_from_this()](ErrorCode error, std::size_t bytes) {
                                     self->m_drained += bytes;
                                     if (!error && self->m_drained < DRAIN_LIMIT) {
                                         self->ReadAway();
                                     } else {
                                         self->Abort();
                                     }
                                 });
    }

    Core& m_core;
    Socket m_socket;
    Timer m_timer;
    ConnectionSlot m_slot;
    bool m_http;
    bool m_websocket;
    beast::flat_buffer m_buffer;
    std::optional<http::request_parser<http::string_body>> m_parser;
    unsigned m_version = 11;
    bool m_keep_alive = false;
    std::vector<char> m_drain_buffer;
    std::size_t m_drained = 0;
};

// A connection this side keeps to a WebSocket server: made again after every end.
class ClientLink : public std::enable_shared_from_this<ClientLink> {
public:
    ClientLink(Core& core, std::string host, std::string port, std::string target,
               std::vector<std::pair<std::string, std::string>> headers, int retry_ms)
        : m_core(core),
          m_resolver(core.io.get_executor()),
          m_timer(core.io.get_executor()),
          m_host(std::move(host)),
          m_port(std::move(port)),
          m_target(std::move(target)),
          m_headers(std::move(headers)),
          m_retry_ms(retry_ms) {}

    void Start() {
        m_resolver.async_resolve(
            m_host, m_port,
            [self = shared_from_this()](ErrorCode error, tcp::resolver::results_type endpoints) {
                self->Resolved(error, endpoints);
            });
    }

    void Stop() {
        m_stopped = true;
        m_resolver.cancel();
        m_timer.cancel();
        if (auto session = m_session.lock()) {
            session->Abort("stopping");
        }
    }

private:
    void Resolved(ErrorCode error, const tcp::resolver::results_type& endpoints) {
        if (m_stopped) {
            return;
        }
        if (error) {
            Retry();
            return;
        }
        auto session = std::make_shared<WsSession>(m_core, Socket(m_core.io.get_executor()), true);
        session->SetEndListener([weak = weak_from_this()] {
            if (auto self = weak.lock()) {
                self->Retry();
            }
        });
        m_session = session;
        const bool default_port = m_port == "80";
        session->Connect(endpoints, default_port ? m_host : m_host + ":" + m_port, m_target,
                         m_headers);
    }

    void Retry() {
        if (m_stopped) {
            return;
        }
        m_timer.expires_after(std::chrono::milliseconds(m_retry_ms));
        m_timer.async_wait([self = shared_from_this()](ErrorCode error) {
            if (!error && !self->m_stopped) {
                self->Start();
            }
        });
    }

    Core& m_core;
    Resolver m_resolver;
    Timer m_timer;
    std::string m_host;
    std::string m_port;
    std::string m_target;
    std::vector<std::pair<std::string, std::string>> m_headers;
    int m_retry_ms;
    bool m_stopped = false;
    std::weak_ptr<WsSession> m_session;
};

namespace {

void AcceptNext(Core& core, const std::shared_ptr<Acceptor>& acceptor, bool http, bool websocket) {
    acceptor->async_accept([&core, acceptor, http, websocket](ErrorCode error, Socket socket) {
        if (error == asio::error::operation_aborted || !acceptor->is_open()) {
            return;
        }
        if (!error) {
            if (core.accepted.load() >= core.limits.max_connections) {
                ErrorCode ignored;
                socket.close(ignored);
            } else {
                socket.set_option(tcp::no_delay(true), error);
                auto session = std::make_shared<HttpSession>(core, std::move(socket),
                                                             ConnectionSlot(core), http, websocket);
                std::erase_if(core.requests, [](const auto& weak) { return weak.expired(); });
                core.requests.push_back(session);
                session->Start();
            }
        }
        AcceptNext(core, acceptor, http, websocket);
    });
}

// Splits "ws://host[:port][/path]" into host, port and target; false for any other form.
bool SplitWsUrl(std::string_view url, std::string& host, std::string& port, std::string& target) {
    constexpr std::string_view SCHEME = "ws://";
    if (url.size() <= SCHEME.size() || !beast::iequals(url.substr(0, SCHEME.size()), SCHEME)) {
        return false;
    }
    url.remove_prefix(SCHEME.size());
    const std::size_t slash = url.find_first_of("/?");
    std::string_view authority = url.substr(0, slash);
    target = slash == std::string_view::npos ? "/" : std::string(url.substr(slash));
    if (!target.empty() && target.front() == '?') {
        target.insert(target.begin(), '/');
    }
    if (authority.find('@') != std::string_view::npos) {
        return false;
    }
    port = "80";
    if (!authority.empty() && authority.front() == '[') {
        const std::size_t close = authority.find(']');
        if (close == std::string_view::npos) {
            return false;
        }
        host = std::string(authority.substr(1, close - 1));
        authority.remove_prefix(close + 1);
        if (!authority.empty()) {
            if (authority.front() != ':') {
                return false;
            }
            port = std::string(authority.substr(1));
        }
    } else {
        const std::size_t colon = authority.rfind(':');
        host = std::string(authority.substr(0, colon));
        if (colon != std::string_view::npos) {
            port = std::string(authority.substr(colon + 1));
        }
    }
    if (host.empty() || port.empty() || port.size() > 5 ||
        port.find_first_not_of("0123456789") != std::string::npos) {
        return false;
    }
    return true;
}

}  // namespace

WireService::WireService(WireHandler& handler, WireLimits limits)
    : m_core(std::make_shared<Core>(handler, limits)) {
    m_core->thread = std::thread([core = m_core.get()] {
        for (;;) {
            try {
                core->io.run();
                return;
            } catch (...) {
                // A handler that threw loses its call; the loop goes on.
            }
        }
    });
}

WireService::~WireService() {
    Stop();
}

int WireService::Listen(std::string_view host, std::string_view port, bool http, bool websocket,
                        std::string* error) {
    auto fail = [error](std::string why) {
        if (error != nullptr) {
            *error = std::move(why);
        }
        return 0;
    };
    if (m_core->Stopped()) {
        return fail("stopped");
    }
    ErrorCode code;
    Resolver resolver(m_core->io.get_executor());
    const auto endpoints =
        resolver.resolve(std::string(host), std::string(port),
                         tcp::resolver::passive | tcp::resolver::numeric_service, code);
    if (code || endpoints.empty()) {
        return fail(code ? code.message() : "no address");
    }
    // The first IPv4 address of a name such as "localhost", else its first one.
    tcp::endpoint endpoint = endpoints.begin()->endpoint();
    for (const auto& entry : endpoints) {
        if (entry.endpoint().address().is_v4()) {
            endpoint = entry.endpoint();
            break;
        }
    }
    auto acceptor = std::make_shared<Acceptor>(m_core->io.get_executor());
    acceptor->open(endpoint.protocol(), code);
    if (!code) {
        acceptor->set_option(asio::socket_base::reuse_address(true), code);
    }
    if (!code) {
        acceptor->bind(endpoint, code);
    }
    if (!code) {
        acceptor->listen(asio::socket_base::max_listen_connections, code);
    }
    if (code) {
        return fail(code.message());
    }
    const int bound = acceptor->local_endpoint(code).port();
    Core& core = *m_core;
    const bool posted = core.Post([&core, acceptor, http, websocket] {
        core.acceptors.push_back(acceptor);
        AcceptNext(core, acceptor, http, websocket);
    });
    return posted ? bound : fail("stopped");
}

bool WireService::Connect(std::string_view url,
                          std::vector<std::pair<std::string, std::string>> headers, int retry_ms) {
    std::string host;
    std::string port;
    std::string target;
    if (!SplitWsUrl(url, host, port, target)) {
        return false;
    }
    Core& core = *m_core;
    auto link =
        std::make_shared<ClientLink>(core, std::move(host), std::move(port), std::move(target),
                                     std::move(headers), std::max(retry_ms, 1));
    return core.Post([&core, link] {
        core.links.push_back(link);
        link->Start();
    });
}

bool WireService::Send(WireConnectionId id, std::string text) {
    Core& core = *m_core;
    auto frame = std::make_shared<const std::string>(std::move(text));
    return core.Post([&core, id, frame = std::move(frame)]() mutable {
        const auto found = core.sockets.find(id);
        if (found == core.sockets.end()) {
            return;
        }
        if (auto session = found->second.lock()) {
            session->Enqueue(std::move(frame));
        }
    });
}

void WireService::Broadcast(std::string text) {
    Core& core = *m_core;
    auto frame = std::make_shared<const std::string>(std::move(text));
    core.Post([&core, frame = std::move(frame)] {
        // Enqueue may drop a peer, which takes it out of the map: walk a copy.
        std::vector<std::shared_ptr<WsSession>> open;
        open.reserve(core.sockets.size());
        for (const auto& [id, weak] : core.sockets) {
            if (auto session = weak.lock()) {
                open.push_back(std::move(session));
            }
        }
        for (const auto& session : open) {
            session->Enqueue(frame);
        }
    });
}

void WireService::Close(WireConnectionId id) {
    Core& core = *m_core;
    core.Post([&core, id] {
        const auto found = core.sockets.find(id);
        if (found == core.sockets.end()) {
            return;
        }
        if (auto session = found->second.lock()) {
            session->Abort("closed by this side");
        }
    });
}

void WireService::After(int ms, std::function<void()> task) {
    Core& core = *m_core;
    core.Post([&core, ms, task = std::move(task)]() mutable {
        auto timer = std::make_shared<Timer>(core.io.get_executor());
        std::erase_if(core.timers, [](const auto& weak) { return weak.expired(); });
        core.timers.push_back(timer);
        timer->expires_after(std::chrono::milliseconds(std::max(ms, 0)));
        timer->async_wait([timer, task = std::move(task)](ErrorCode error) {
            if (!error) {
                task();
            }
        });
    });
}

std::size_t WireService::OpenConnections() const {
    return m_core->open_sockets.load();
}

void WireService::Stop() {
    Core& core = *m_core;
    {
        std::lock_guard lock(core.mutex);
        if (core.stopped) {
            return;
        }
        // Closes everything first, so peers see the end now rather than when the last
        // answer still held by another thread lets the service go.
        asio::post(core.io, [&core] {
            ErrorCode ignored;
            for (const auto& acceptor : core.acceptors) {
                acceptor->close(ignored);
            }
            for (const auto& link : core.links) {
                link->Stop();
            }
            for (const auto& weak : core.timers) {
                if (auto timer = weak.lock()) {
                    timer->cancel();
                }
            }
            for (const auto& weak : core.requests) {
                if (auto session = weak.lock()) {
                    session->Abort();
                }
            }
            std::vector<std::shared_ptr<WsSession>> open;
            for (const auto& [id, weak] : core.sockets) {
                if (auto session = weak.lock()) {
                    open.push_back(std::move(session));
                }
            }
            for (const auto& session : open) {
                session->Abort("stopping");
            }
            core.io.stop();
        });
        core.stopped = true;
    }
    core.work.reset();
    if (core.thread.joinable()) {
        core.thread.join();
    }
}

}  // namespace zelmo::platform
