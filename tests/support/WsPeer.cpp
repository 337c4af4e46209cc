#include "support/WsPeer.h"

#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core/buffers_to_string.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/core/tcp_stream.hpp>
#include <boost/beast/http/read.hpp>
#include <boost/beast/http/string_body.hpp>
#include <boost/beast/websocket/stream.hpp>
#include <deque>

namespace zelmo::test {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
namespace websocket = beast::websocket;
using tcp = asio::ip::tcp;
using Clock = std::chrono::steady_clock;

struct WsPeer::Impl {
    asio::io_context io;
    std::optional<websocket::stream<beast::tcp_stream>> ws;
    std::optional<tcp::acceptor> acceptor;
    beast::flat_buffer buffer;
    http::request<http::string_body> request;
    std::deque<std::string> received;
    bool reading = false;
    bool ended = false;
    int close_code = 0;

    // Runs the I/O until `done` holds or the deadline passes; `done`'s value.
    template <typename Done>
    bool RunUntil(Done done, Clock::time_point deadline) {
        while (!done()) {
            const auto left = deadline - Clock::now();
            if (left <= Clock::duration::zero()) {
                return false;
            }
            io.restart();
            io.run_one_for(left);
        }
        return true;
    }

    void StartRead() {
        if (reading || ended || !ws) {
            return;
        }
        reading = true;
        ws->async_read(buffer, [this](beast::error_code error, std::size_t) {
            reading = false;
            if (error) {
                ended = true;
                close_code = ws->reason().code;
                return;
            }
            received.push_back(beast::buffers_to_string(buffer.data()));
            buffer.consume(buffer.size());
            StartRead();
        });
    }

    bool Write(std::string_view bytes, bool text) {
        if (!ws || ended) {
            return false;
        }
        ws->text(text);
        bool done = false;
        bool ok = false;
        ws->async_write(asio::buffer(bytes.data(), bytes.size()),
                        [&](beast::error_code error, std::size_t) {
                            done = true;
                            ok = !error;
                        });
        RunUntil([&] { return done; }, Clock::now() + std::chrono::seconds(10));
        return ok;
    }

    void Reset() {
        if (ws) {
            beast::error_code ignored;
            beast::get_lowest_layer(*ws).socket().close(ignored);
            // Lets the aborted operations finish before the stream goes.
            RunUntil([&] { return !reading; }, Clock::now() + std::chrono::seconds(1));
        }
        ws.reset();
        received.clear();
        buffer.consume(buffer.size());
        reading = false;
        ended = false;
        close_code = 0;
    }
};

WsPeer::WsPeer() : m_impl(std::make_unique<Impl>()) {}

WsPeer::~WsPeer() {
    Unlisten();
}

std::string WsPeer::Connect(int port, std::string_view target, const Headers& headers,
                            int* status) {
    Impl& impl = *m_impl;
    impl.Reset();
    impl.ws.emplace(impl.io);
    beast::error_code error;
    beast::get_lowest_layer(*impl.ws).connect(
        tcp::endpoint(asio::ip::make_address("127.0.0.1"), static_cast<unsigned short>(port)),
        error);
    if (error) {
        return "connect: " + error.message();
    }
    impl.ws->set_option(
        websocket::stream_base::decorator([headers](websocket::request_type& request) {
            for (const auto& [name, value] : headers) {
                request.set(name, value);
            }
        }));
    websocket::response_type response;
    impl.ws->handshake(response, "127.0.0.1:" + std::to_string(port), std::string(target), error);
    if (status != nullptr) {
        *status = static_cast<int>(response.result_int());
    }
    if (error) {
        impl.ws.reset();
        return "handshake: " + error.message();
    }
    return {};
}

int WsPeer::Listen(int port) {
    Impl& impl = *m_impl;
    impl.acceptor.emplace(impl.io);
    const tcp::endpoint endpoint(asio::ip::make_address("127.0.0.1"),
                                 static_cast<unsigned short>(port));
    impl.acceptor->open(endpoint.protocol());
    impl.acceptor->set_option(asio::socket_base::reuse_address(true));
    impl.acceptor->bind(endpoint);
    impl.acceptor->listen();
    return impl.acceptor->local_endpoint().port();
}

bool WsPeer::Accept(std::chrono::milliseconds timeout) {
    Impl& impl = *m_impl;
    if (!impl.acceptor) {
        return false;
    }
    impl.Reset();
    const auto deadline = Clock::now() + timeout;
    std::optional<tcp::socket> socket;
    bool accepted = false;
    impl.acceptor->async_accept([&](beast::error_code error, tcp::socket peer) {
        accepted = true;
        if (!error) {
            socket.emplace(std::move(peer));
        }
    });
    if (!impl.RunUntil([&] { return accepted; }, deadline)) {
        impl.acceptor->cancel();
        impl.RunUntil([&] { return accepted; }, Clock::now() + std::chrono::seconds(1));
        return false;
    }
    if (!socket) {
        return false;
    }
    impl.ws.emplace(std::move(*socket));
    impl.request = {};
    bool read = false;
    beast::error_code read_error;
    http::async_read(beast::get_lowest_layer(*impl.ws), impl.buffer, impl.request,
                     [&](beast::error_code error, std::size_t) {
                         read = true;
                         read_error = error;
                     });
    if (!impl.RunUntil([&] { return read; }, deadline) || read_error) {
        impl.Reset();
        return false;
    }
    const std::string protocol(impl.request[http::field::sec_websocket_protocol]);
    impl.ws->set_option(
        websocket::stream_base::decorator([protocol](websocket::response_type& response) {
            if (!protocol.empty()) {
                response.set(http::field::sec_websocket_protocol, protocol);
            }
        }));
    bool handshaken = false;
    beast::error_code accept_error;
    impl.ws->async_accept(impl.request, [&](beast::error_code error) {
        handshaken = true;
        accept_error = error;
    });
    if (!impl.RunUntil([&] { return handshaken; }, deadline) || accept_error) {
        impl.Reset();
        return false;
    }
    return true;
}

void WsPeer::Unlisten() {
    Impl& impl = *m_impl;
    impl.Reset();
    if (impl.acceptor) {
        beast::error_code ignored;
        impl.acceptor->close(ignored);
        impl.acceptor.reset();
    }
}

std::string WsPeer::RequestHeader(std::string_view name) const {
    return std::string(m_impl->request[std::string(name)]);
}

std::string WsPeer::RequestTarget() const {
    return std::string(m_impl->request.target());
}

bool WsPeer::SendText(std::string_view text) {
    return m_impl->Write(text, true);
}

bool WsPeer::SendBinary(std::string_view bytes) {
    return m_impl->Write(bytes, false);
}

std::optional<std::string> WsPeer::Receive(std::chrono::milliseconds timeout) {
    Impl& impl = *m_impl;
    impl.StartRead();
    impl.RunUntil([&] { return !impl.received.empty() || impl.ended; }, Clock::now() + timeout);
    if (impl.received.empty()) {
        return std::nullopt;
    }
    std::string message = std::move(impl.received.front());
    impl.received.pop_front();
    return message;
}

std::optional<std::string> WsPeer::ReceiveResponse(std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) {
            return std::nullopt;
        }
        std::optional<std::string> message = Receive(left);
        if (!message) {
            return std::nullopt;
        }
        if (message->find("\"retcode\"") != std::string::npos) {
            return message;
        }
    }
}

bool WsPeer::WaitClosed(std::chrono::milliseconds timeout, int* code) {
    Impl& impl = *m_impl;
    impl.StartRead();
    const bool ended = impl.RunUntil(
        [&] {
            impl.received.clear();
            return impl.ended;
        },
        Clock::now() + timeout);
    if (code != nullptr) {
        *code = impl.close_code;
    }
    return ended;
}

void WsPeer::Close() {
    Impl& impl = *m_impl;
    if (impl.ws && !impl.ended) {
        bool done = false;
        impl.ws->async_close(websocket::close_code::normal,
                             [&](beast::error_code) { done = true; });
        impl.RunUntil([&] { return done; }, Clock::now() + std::chrono::seconds(2));
    }
    impl.Reset();
}

}  // namespace zelmo::test
