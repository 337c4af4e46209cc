#pragma once

#include <atomic>
#include <cstddef>
#include <functional>
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
    // The domain the callers' cookies belong to ("qq.com"): a redirect takes the Cookie
    // header along only to the host the request was made to, that domain and the hosts
    // below it, and only their answers add to the cookie jar.
    std::string cookie_domain;
};

// The final answer's head, for callers that need more than the body.
struct AnswerHead {
    bool complete = false;  // the exchange ended with an answer (whatever its status)
    long status = 0;
    std::string headers;  // the raw header text of the final answer, lines ending in CR LF
};

// Takes the body's bytes as they arrive; false ends the transfer (the request fails).
using BodySink = std::function<bool(std::string_view bytes)>;

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
    // More header lines ("Name: value", each without a line break), after the fixed ones;
    // one that names a fixed header (Content-Type, User-Agent ...) takes its place.
    std::span<const std::string_view> extra_headers;
    // Filled with the final answer's status and header text.
    AnswerHead* head = nullptr;
    // When given, the final answer's body goes here as it arrives, undecoded, and the
    // result stays empty: large downloads never sit in memory whole.
    const BodySink* sink = nullptr;
    // The most body bytes this call accepts; 0 means MAX_BODY_BYTES.
    std::size_t max_body_bytes = 0;
    // Also plain http, to a loopback address only (127.0.0.0/8, [::1], localhost): a local
    // server the user named. Redirects still never lead to plain http.
    bool allow_loopback_http = false;
    // Ignores the config's connect_to: for hosts the user named rather than the service's.
    bool direct = false;
    // When given, setting it ends this request (within a poll slice of a second) as Stop()
    // ends every request: for a caller that stops its own work while the client goes on.
    const std::atomic<bool>* cancel = nullptr;
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
    // includes a URL that is not https and a body above the limit (received or decoded). Every
    // method but GET and HEAD ("post") goes out on a new connection, so such a request is never
    // sent twice, unless it is marked repeatable.
    std::string Request(std::string_view url, const RequestOptions& options = {}) const;

    // Aborts requests in flight and makes every later one fail at once. Any thread.
    void Stop();
    bool Stopped() const;

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

// A host name that is this machine: "localhost" (any letter case), "[::1]", or an IPv4
// address 127.x.x.x written as four decimal numbers. A name that merely starts with "127."
// is looked up like any other and may be anywhere.
bool IsLoopbackHost(std::string_view host);

// The header-parsing helper: case-sensitive; see the definition for the empty-marker rules.
std::string TextBetween(std::string_view text, std::string_view left, std::string_view right);

}  // namespace zelmo::platform
