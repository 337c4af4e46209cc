#pragma once

#include <atomic>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "platform/BodyLimit.h"

namespace zelmo::platform {

// Where connections really go; empty fields mean the real service.
struct WebClientConfig {
    std::string connect_to;  // "HOST:PORT" every connection goes to, whatever the URL's host
    std::string ca_file;     // an extra trusted CA (PEM), besides the system's
    // Every time-out is multiplied by it, so tests can run time-outs in a fraction of their
    // real length; anything but a positive number counts as 1.
    double timeout_scale = 1.0;
};

struct RequestOptions {
    std::string_view method;  // empty means "GET"; sent exactly as given ("post" stays lowercase)
    std::string_view body;    // sent unchanged
    std::string_view cookie_header;     // the Cookie header; empty sends none
    std::string* cookie_jar = nullptr;  // when given, the answer's Set-Cookie pairs are appended
    // 0 means 15 s. One value bounds connecting and, separately, the whole exchange
    // (sending, waiting, receiving, redirects included).
    int timeout_s = 0;
    bool no_redirect = false;
    // A post the service may see twice without harm (one that only reads, such as a
    // sync with its key): it may go out on a kept connection, which curl can resend.
    bool repeatable = false;
    // More header lines ("Name: value", each without a line break), after the fixed ones.
    std::span<const std::string_view> extra_headers;
};

// One synchronous HTTPS exchange per call with the fixed browser-like header table.
// Safe to call from any thread at once. Only connections are reused between calls:
// no cookie or other state survives a call besides what the caller keeps in its jar.
class WebClient {
public:
    explicit WebClient(WebClientConfig config = {});
    ~WebClient();
    WebClient(const WebClient&) = delete;
    WebClient& operator=(const WebClient&) = delete;

    // Blocks until the answer, the time-out or Stop(). Returns the body (gunzipped only
    // under the exact "\r\nContent-Encoding: gzip" header); empty on any failure, which
    // includes a URL that is not https and a body above MAX_BODY_BYTES (received or
    // decoded). Every method but GET and HEAD ("post") goes out on a new connection, so
    // such a request is never sent twice, unless it is marked repeatable.
    std::string Request(std::string_view url, const RequestOptions& options = {}) const;

    // Aborts requests in flight and makes every later one fail at once. Any thread.
    void Stop();
    bool Stopped() const;

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

// The header-parsing helper: case-sensitive; see the definition for the empty-marker rules.
std::string TextBetween(std::string_view text, std::string_view left, std::string_view right);

}  // namespace zelmo::platform
