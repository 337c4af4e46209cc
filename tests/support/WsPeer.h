#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace zelmo::test {

using Headers = std::vector<std::pair<std::string, std::string>>;

// The far end of a WebSocket connection in a test, on the test's own thread: every wait
// runs its own I/O until what it waits for happened or the time-out passed. A read left
// waiting at a time-out goes on at the next call, so nothing is lost.
class WsPeer {
public:
    WsPeer();
    ~WsPeer();
    WsPeer(const WsPeer&) = delete;
    WsPeer& operator=(const WsPeer&) = delete;

    // As a client: connects to ws://127.0.0.1:port + target. Empty when open; otherwise
    // why, with the HTTP status of a refused upgrade in `status`.
    std::string Connect(int port, std::string_view target, const Headers& headers = {},
                        int* status = nullptr);

    // As a server: listens on 127.0.0.1 (port 0: any; a port given again after Unlisten
    // takes the same one back). The port.
    int Listen(int port = 0);
    // Accepts one connection; the handshake's request head is kept (RequestHeader). False
    // at the time-out.
    bool Accept(std::chrono::milliseconds timeout);
    // Closes the connection and stops listening: the server has gone away.
    void Unlisten();
    // A header of the accepted handshake; empty when absent.
    std::string RequestHeader(std::string_view name) const;
    std::string RequestTarget() const;

    bool SendText(std::string_view text);
    bool SendBinary(std::string_view bytes);
    // The next message that came in; nothing at the time-out or once the connection ended.
    std::optional<std::string> Receive(std::chrono::milliseconds timeout);
    // The next message that is an action response (has "retcode"); events on the way are
    // skipped. Nothing at the time-out.
    std::optional<std::string> ReceiveResponse(std::chrono::milliseconds timeout);
    // Waits until the connection ended (the peer closed it or dropped it); false at the
    // time-out. The close code the peer gave, 0 when none.
    bool WaitClosed(std::chrono::milliseconds timeout, int* code = nullptr);
    void Close();

    struct Impl;

private:
    std::unique_ptr<Impl> m_impl;
};

}  // namespace zelmo::test
