#include "platform/WebClient.h"

#include <curl/curl.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <vector>

#include "platform/Gzip.h"

namespace zelmo::platform {
namespace {

using SteadyClock = std::chrono::steady_clock;

constexpr std::int64_t DEFAULT_TIMEOUT_MS = 15000;
constexpr long MAX_REDIRECTS = 10;
// Stop() wakes a waiting transfer at once; the slice only bounds a missed wake-up.
constexpr int POLL_SLICE_MS = 1000;
// Idle transfer slots kept with their open connections; more are closed.
constexpr std::size_t MAX_IDLE_SLOTS = 32;
constexpr const char* SYSTEM_CA_DIR = "/etc/ssl/certs";
constexpr const char* SYSTEM_CA_BUNDLE = "/etc/ssl/certs/ca-certificates.crt";
constexpr std::string_view GZIP_MARKER = "\r\nContent-Encoding: gzip";
constexpr std::string_view SET_COOKIE_MARKER = "\r\nSet-Cookie";

// The browser-like table after "Referer", in the order the service has always seen.
constexpr const char* FIXED_HEADERS[] = {
    "Accept: text/html,application/xhtml+xml,application/xml;q=0.9,*/*;q=0.8",
    "Accept-Language: zh-CN,zh;q=0.8,en-US;q=0.6,en;q=0.4",
    "Accept-Charset: GBK,utf-8;q=0.7,*;q=0.3",
    "Accept-Encoding: gzip",
    ("User-Agent: Mozilla/5.0 (Windows NT 6.2) AppleWebKit/537.36 (KHTML, like Gecko) "
     "Chrome/27.0.1453.116 Safari/537.36"),
    "Content-Type: application/x-www-form-urlencoded",
    "Connection: keep-alive",
};

struct EasyFree {
    void operator()(CURL* easy) const { curl_easy_cleanup(easy); }
};
struct MultiFree {
    void operator()(CURLM* multi) const { curl_multi_cleanup(multi); }
};
struct ListFree {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
using EasyPtr = std::unique_ptr<CURL, EasyFree>;
using MultiPtr = std::unique_ptr<CURLM, MultiFree>;
using ListPtr = std::unique_ptr<curl_slist, ListFree>;

// One easy handle driven by its own multi handle, so that Stop() can wake a transfer
// that is waiting on a silent long poll. The multi keeps the open connections.
struct Slot {
    MultiPtr multi{curl_multi_init()};
    EasyPtr easy{curl_easy_init()};
};

void InitCurlOnce() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

bool Append(ListPtr& list, const char* line) {
    curl_slist* grown = curl_slist_append(list.get(), line);
    if (grown == nullptr) {
        return false;
    }
    static_cast<void>(list.release());
    list.reset(grown);
    return true;
}

bool HasLineBreak(std::string_view text) {
    return text.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c + 32) : c; };
               return lower(x) == lower(y);
           });
}

std::string ReadFile(const char* path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// True when the system CA folder has OpenSSL's subject-hash links ("1a2b3c4d.0").
bool HasHashedCaDir() {
    std::error_code error;
    std::filesystem::directory_iterator entry(SYSTEM_CA_DIR, error);
    for (; !error && entry != std::filesystem::directory_iterator(); entry.increment(error)) {
        if (entry->path().extension() == ".0") {
            return true;
        }
    }
    return false;
}

std::string_view TrimBlanks(std::string_view text) {
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

std::string_view HeaderName(std::string_view line) {
    return line.substr(0, line.find(':'));
}

// True when one of the caller's lines names the same header (letter case ignored).
bool Replaced(std::string_view fixed_line, std::span<const std::string_view> extra_headers) {
    const std::string_view name = HeaderName(fixed_line);
    return std::any_of(extra_headers.begin(), extra_headers.end(), [name](std::string_view line) {
        return EqualsIgnoreCase(HeaderName(line), name);
    });
}

ListPtr BuildHeaders(std::string_view referer, std::string_view cookie_header,
                     std::span<const std::string_view> extra_headers) {
    ListPtr list;
    bool ok = Append(list, ("Referer: " + std::string(referer)).c_str());
    for (const char* line : FIXED_HEADERS) {
        if (!Replaced(line, extra_headers)) {
            ok = ok && Append(list, line);
        }
    }
    if (!cookie_header.empty()) {
        ok = ok && Append(list, ("Cookie: " + std::string(cookie_header)).c_str());
    }
    for (const std::string_view line : extra_headers) {
        ok = ok && Append(list, std::string(line).c_str());
    }
    // curl would otherwise ask for "100-continue" on large bodies and stall the post.
    ok = ok && Append(list, "Expect:");
    return ok ? std::move(list) : ListPtr();
}

bool IsRedirect(long status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

// Where one hop's body goes: collected, or handed to the caller's sink; a redirect's own
// body, which the next hop replaces, never reaches the sink.
struct BodyTarget {
    CURL* easy = nullptr;
    std::string* body = nullptr;
    const BodySink* sink = nullptr;
    std::size_t limit = MAX_BODY_BYTES;
    std::size_t received = 0;
    bool follows_redirects = true;
};

// curl calls back through C frames: nothing may be thrown across them. A short count
// makes curl end the transfer with an error, so the request fails (empty result).
size_t WriteBody(char* data, size_t size, size_t count, void* user) noexcept {
    auto& target = *static_cast<BodyTarget*>(user);
    const size_t bytes = size * count;
    if (bytes > target.limit - target.received) {
        return 0;
    }
    target.received += bytes;
    try {
        if (target.sink == nullptr) {
            target.body->append(data, bytes);
            return bytes;
        }
        long status = 0;
        curl_easy_getinfo(target.easy, CURLINFO_RESPONSE_CODE, &status);
        if (target.follows_redirects && IsRedirect(status)) {
            return bytes;
        }
        return (*target.sink)(std::string_view(data, bytes)) ? bytes : 0;
    } catch (...) {
        return 0;
    }
}

// The URL's host in small letters; empty when it has none.
std::string HostOf(std::string_view url) {
    CURLU* parsed = curl_url();
    if (parsed == nullptr) {
        return {};
    }
    std::string name;
    char* host = nullptr;
    if (curl_url_set(parsed, CURLUPART_URL, std::string(url).c_str(), 0) == CURLUE_OK &&
        curl_url_get(parsed, CURLUPART_HOST, &host, 0) == CURLUE_OK) {
        name = host;
        curl_free(host);
    }
    curl_url_cleanup(parsed);
    std::transform(name.begin(), name.end(), name.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? char(c + 32) : c; });
    return name;
}

// A host the user may reach in clear text: this machine only.
bool IsLoopbackUrl(std::string_view url) {
    return IsLoopbackHost(HostOf(url));
}

// True when the cookies of `domain` (a leading dot aside) may go to `host`: the domain
// itself or a host below it, never a host that merely ends in the same letters.
bool InCookieDomain(std::string_view host, std::string_view domain) {
    while (domain.starts_with('.')) {
        domain.remove_prefix(1);
    }
    if (host.empty() || domain.empty() || host.size() < domain.size() ||
        !EqualsIgnoreCase(host.substr(host.size() - domain.size()), domain)) {
        return false;
    }
    return host.size() == domain.size() || host[host.size() - domain.size() - 1] == '.';
}

// What a browser tells another site it came from: the origin, not the path and query,
// which carry the session's tickets.
std::string OriginOf(std::string_view url) {
    const std::size_t scheme = url.find("://");
    const std::size_t path =
        scheme == std::string_view::npos ? std::string_view::npos : url.find('/', scheme + 3);
    return std::string(url.substr(0, path)) + "/";
}

// Keeps only the last header block (the final answer after redirects), each line
// ending in CR LF whatever the server sent, as the platform's raw header text reads.
size_t WriteHeader(char* data, size_t size, size_t count, void* user) noexcept {
    auto& text = *static_cast<std::string*>(user);
    const size_t bytes = size * count;
    std::string_view line(data, bytes);
    if (line.starts_with("HTTP/")) {
        text.clear();
    }
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) {
        line.remove_suffix(1);
    }
    if (line.size() + 2 > MAX_BODY_BYTES - text.size()) {
        return 0;
    }
    try {
        text.append(line).append("\r\n");
    } catch (...) {
        return 0;
    }
    return bytes;
}

// The flags that end a transfer: the client's Stop() and the caller's own cancel.
struct StopFlags {
    const std::atomic<bool>* stopped = nullptr;
    const std::atomic<bool>* cancel = nullptr;
    bool Set() const { return stopped->load() || (cancel != nullptr && cancel->load()); }
};

// Ends a transfer from inside curl while data keeps flowing; a silent wait is ended by
// Stop()'s wake-up of the poll instead.
int CheckStop(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) noexcept {
    return static_cast<const StopFlags*>(user)->Set() ? 1 : 0;
}

void CollectSetCookies(std::string_view headers, std::string& jar) {
    if (headers.find(SET_COOKIE_MARKER) == std::string_view::npos) {
        return;
    }
    std::size_t start = 0;
    while (start < headers.size()) {
        std::size_t end = headers.find("\r\n", start);
        if (end == std::string_view::npos) {
            end = headers.size();
        }
        const std::string_view line = headers.substr(start, end - start);
        start = end + 2;
        if (line.size() < 10 || !EqualsIgnoreCase(line.substr(0, 10), "set-cookie")) {
            continue;
        }
        if (TextBetween(line, "=", ";").empty()) {
            continue;  // a cookie being cleared ("name=;") carries nothing to send back
        }
        // The pair is cut after the exact spelling "Set-Cookie:"; another spelling
        // yields no pair, and an empty pair must not leave a dangling "; " in the jar.
        const std::string pair(TrimBlanks(TextBetween(line, "Set-Cookie:", ";")));
        if (pair.empty()) {
            continue;
        }
        if (!jar.empty()) {
            jar += "; ";
        }
        jar += pair;
    }
}

// A scale that is not a positive number leaves the time-outs as the callers gave them.
double TimeoutScale(const WebClientConfig& config) {
    const double scale = config.timeout_scale;
    return std::isfinite(scale) && scale > 0 ? scale : 1.0;
}

// As browsers and the platform client do: a 303, or a 301/302 after a POST, is
// followed by a GET without body; 307 and 308 repeat the request as it was.
bool TurnsIntoGet(long status, std::string_view method) {
    if (status == 303) {
        return !EqualsIgnoreCase(method, "HEAD");
    }
    return (status == 301 || status == 302) && EqualsIgnoreCase(method, "POST");
}

// Runs the transfer on the slot's multi handle until it ends or the stop flag is seen.
CURLcode Perform(Slot& slot, const StopFlags& stop) {
    CURLM* multi = slot.multi.get();
    CURL* easy = slot.easy.get();
    if (curl_multi_add_handle(multi, easy) != CURLM_OK) {
        return CURLE_FAILED_INIT;
    }
    CURLcode result = CURLE_ABORTED_BY_CALLBACK;
    int running = 1;
    while (!stop.Set()) {
        if (curl_multi_perform(multi, &running) != CURLM_OK) {
            result = CURLE_FAILED_INIT;
            break;
        }
        if (running == 0) {
            result = CURLE_RECV_ERROR;
            int queued = 0;
            while (CURLMsg* message = curl_multi_info_read(multi, &queued)) {
                if (message->msg == CURLMSG_DONE && message->easy_handle == easy) {
                    result = message->data.result;
                }
            }
            break;
        }
        curl_multi_poll(multi, nullptr, 0, POLL_SLICE_MS, nullptr);
    }
    curl_multi_remove_handle(multi, easy);
    return result;
}

}  // namespace

struct WebClient::Impl {
    WebClientConfig config;
    std::string ca_blob;  // the extra CA, read once; empty when none
    bool lazy_system_cas = false;
    ListPtr connect_to;
    std::atomic<bool> stopped{false};
    std::mutex mutex;  // guards idle and busy
    std::vector<std::unique_ptr<Slot>> idle;
    std::vector<Slot*> busy;

    std::unique_ptr<Slot> Acquire() {
        std::unique_ptr<Slot> slot;
        {
            const std::lock_guard lock(mutex);
            if (stopped.load()) {
                return nullptr;
            }
            if (!idle.empty()) {
                slot = std::move(idle.back());
                idle.pop_back();
                busy.push_back(slot.get());
                return slot;
            }
        }
        slot = std::make_unique<Slot>();
        if (!slot->multi || !slot->easy) {
            return nullptr;
        }
        const std::lock_guard lock(mutex);
        if (stopped.load()) {
            return nullptr;
        }
        busy.push_back(slot.get());
        return slot;
    }

    void Release(std::unique_ptr<Slot> slot) noexcept {
        // Nothing of the finished call (header list, buffers) may stay reachable.
        curl_easy_reset(slot->easy.get());
        const std::lock_guard lock(mutex);
        busy.erase(std::remove(busy.begin(), busy.end(), slot.get()), busy.end());
        if (idle.size() < MAX_IDLE_SLOTS && !stopped.load()) {
            try {
                idle.push_back(std::move(slot));
            } catch (...) {
                // Not kept: the slot and its connections close here.
            }
        }
    }

    // Hands a slot back on every way out of a request, an exception's included, so Stop()
    // never wakes a slot that is gone.
    class Lease {
    public:
        Lease(Impl& impl, std::unique_ptr<Slot> slot) : m_impl(impl), m_slot(std::move(slot)) {}
        ~Lease() {
            if (m_slot) {
                m_impl.Release(std::move(m_slot));
            }
        }
        Lease(const Lease&) = delete;
        Lease& operator=(const Lease&) = delete;
        Slot& Get() const { return *m_slot; }

    private:
        Impl& m_impl;
        std::unique_ptr<Slot> m_slot;
    };

    std::string Exchange(std::string_view url, const RequestOptions& options);

    void Configure(CURL* easy, std::string_view method, std::string_view body,
                   const RequestOptions& options, bool plain_http, const curl_slist* headers,
                   std::int64_t timeout_ms, const StopFlags& stop) {
        const bool repeatable = options.repeatable;
        curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers);
        curl_easy_setopt(easy, CURLOPT_HTTP_VERSION, long(CURL_HTTP_VERSION_1_1));
        // Cookies and tickets must never travel in clear text, whatever URL an answer names.
        curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, plain_http ? "http,https" : "https");
        curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "https");
        // We ask for gzip ourselves and decode only under the exact header spelling.
        curl_easy_setopt(easy, CURLOPT_HTTP_CONTENT_DECODING, 0L);
        curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 1L);
        curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 2L);
        if (lazy_system_cas) {
            curl_easy_setopt(easy, CURLOPT_CAINFO, nullptr);
            curl_easy_setopt(easy, CURLOPT_CAPATH, SYSTEM_CA_DIR);
        }
        if (!ca_blob.empty()) {
            curl_blob blob{ca_blob.data(), ca_blob.size(), CURL_BLOB_NOCOPY};
            curl_easy_setopt(easy, CURLOPT_CAINFO_BLOB, &blob);
        }
        if (connect_to && !options.direct) {
            curl_easy_setopt(easy, CURLOPT_CONNECT_TO, connect_to.get());
            curl_easy_setopt(easy, CURLOPT_NOPROXY, "*");
        }
        // The platform client had four per-phase time-outs of one value (resolve, connect,
        // send, receive). Here the connect time-out covers resolve and connect, and the
        // whole-transfer time-out bounds sending and receiving together, so no request,
        // redirects included, outlives that value.
        curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, long(timeout_ms));
        curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, long(timeout_ms));
        curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);
        curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, CheckStop);
        curl_easy_setopt(easy, CURLOPT_XFERINFODATA, &stop);

        const std::string verb(method);
        if (EqualsIgnoreCase(method, "GET")) {
            curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L);
        } else if (EqualsIgnoreCase(method, "HEAD")) {
            curl_easy_setopt(easy, CURLOPT_NOBODY, 1L);
        } else {
            curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, curl_off_t(body.size()));
            curl_easy_setopt(easy, CURLOPT_POSTFIELDS, body.data());
            // On a kept connection that the server has meanwhile closed, curl silently sends
            // the request again on a new one; a post (a message, a report) must never go out
            // twice, and on a fresh connection curl never repeats it. A read saves the
            // handshake.
            curl_easy_setopt(easy, CURLOPT_FRESH_CONNECT, repeatable ? 0L : 1L);
        }
        // Sent exactly as given: the service sees the lowercase "post" it always saw.
        curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, verb.c_str());
    }
};

WebClient::WebClient(WebClientConfig config) : m_impl(std::make_unique<Impl>()) {
    InitCurlOnce();
    m_impl->config = std::move(config);
    // Parsing the whole system bundle costs ~70 ms for every new connection; the
    // hashed directory holds the same CAs and is looked up lazily.
    m_impl->lazy_system_cas = HasHashedCaDir();
    if (!m_impl->config.ca_file.empty()) {
        // Read once, so the file may go away later. An in-memory CA replaces curl's
        // bundle, so without the directory the bundle must come along.
        std::string blob = m_impl->lazy_system_cas ? std::string() : ReadFile(SYSTEM_CA_BUNDLE);
        if (!blob.empty() && blob.back() != '\n') {
            blob += '\n';
        }
        blob += ReadFile(m_impl->config.ca_file.c_str());
        m_impl->ca_blob = std::move(blob);
    }
    if (!m_impl->config.connect_to.empty()) {
        Append(m_impl->connect_to, ("::" + m_impl->config.connect_to).c_str());
    }
}

WebClient::~WebClient() = default;

std::string WebClient::Request(std::string_view url, const RequestOptions& options) const {
    if (options.head != nullptr) {
        *options.head = {};
    }
    if (url.empty() || m_impl->stopped.load()) {
        return {};
    }
    try {
        return m_impl->Exchange(url, options);
    } catch (...) {
        return {};  // out of memory: a failed request like any other
    }
}

std::string WebClient::Impl::Exchange(std::string_view url, const RequestOptions& options) {
    // A line break would let a URL or cookie text forge extra request headers.
    if (HasLineBreak(url) || HasLineBreak(options.cookie_header) || HasLineBreak(options.method)) {
        return {};
    }
    for (const std::string_view line : options.extra_headers) {
        if (HasLineBreak(line)) {
            return {};
        }
    }
    // Built once: every hop of a redirect within the cookies' domain carries the same
    // table, Referer and Cookie included, as headers set on the platform's request object
    // did. A hop to another domain gets neither the cookies nor the path of the first URL.
    // Both outlive the lease.
    const ListPtr headers = BuildHeaders(url, options.cookie_header, options.extra_headers);
    if (!headers) {
        return {};
    }
    // The caller's cookies belong to the host it asked and to the service's domain.
    const std::string first_host = HostOf(url);
    const auto cookies_may_go = [&](std::string_view hop_url) {
        const std::string host = HostOf(hop_url);
        return host == first_host || InCookieDomain(host, config.cookie_domain);
    };
    ListPtr foreign_headers;
    std::unique_ptr<Slot> acquired = Acquire();
    if (!acquired) {
        return {};
    }
    const Lease lease(*this, std::move(acquired));
    Slot& slot = lease.Get();
    CURL* easy = slot.easy.get();
    const std::int64_t base_ms =
        options.timeout_s > 0 ? std::int64_t(options.timeout_s) * 1000 : DEFAULT_TIMEOUT_MS;
    const std::int64_t timeout_ms =
        std::max<std::int64_t>(1, std::llround(double(base_ms) * TimeoutScale(config)));
    const auto deadline = SteadyClock::now() + std::chrono::milliseconds(timeout_ms);
    std::string current_url(url);
    std::string method(options.method.empty() ? "GET" : options.method);
    std::string_view payload = options.body;
    std::string body;
    std::string header_text;
    BodyTarget target{easy,
                      &body,
                      options.sink,
                      options.max_body_bytes > 0 ? options.max_body_bytes : MAX_BODY_BYTES,
                      0,
                      !options.no_redirect};
    const bool plain_http = options.allow_loopback_http && IsLoopbackUrl(url);
    const StopFlags stop{&stopped, options.cancel};
    CURLcode result = CURLE_OK;
    // Redirects are followed here rather than by curl, which would repeat a custom verb
    // such as "post" without its body on the next hop.
    for (long hop = 0;; ++hop) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - SteadyClock::now())
                .count();
        if (left <= 0) {
            result = CURLE_OPERATION_TIMEDOUT;
            break;
        }
        body.clear();
        header_text.clear();
        target.received = 0;
        // Only the connections, kept by the multi handle, outlive a hop.
        curl_easy_reset(easy);
        const curl_slist* hop_headers = headers.get();
        if (hop > 0 && !cookies_may_go(current_url)) {
            if (!foreign_headers) {
                foreign_headers = BuildHeaders(OriginOf(url), {}, options.extra_headers);
            }
            if (!foreign_headers) {
                result = CURLE_OUT_OF_MEMORY;
                break;
            }
            hop_headers = foreign_headers.get();
        }
        Configure(easy, method, payload, options, plain_http && hop == 0, hop_headers, left, stop);
        curl_easy_setopt(easy, CURLOPT_URL, current_url.c_str());
        curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, WriteBody);
        curl_easy_setopt(easy, CURLOPT_WRITEDATA, &target);
        curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, WriteHeader);
        curl_easy_setopt(easy, CURLOPT_HEADERDATA, &header_text);
        result = Perform(slot, stop);
        if (result != CURLE_OK || options.no_redirect) {
            break;
        }
        long status = 0;
        char* location = nullptr;
        curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
        curl_easy_getinfo(easy, CURLINFO_REDIRECT_URL, &location);
        // Never from https down to plain http: such an answer is returned as it is.
        if (!IsRedirect(status) || location == nullptr ||
            !std::string_view(location).starts_with("https://")) {
            break;
        }
        if (hop == MAX_REDIRECTS) {
            result = CURLE_TOO_MANY_REDIRECTS;
            break;
        }
        current_url = location;
        if (TurnsIntoGet(status, method)) {
            method = "GET";
            payload = {};
        }
    }
    if (result != CURLE_OK) {
        return {};
    }
    if (options.head != nullptr) {
        options.head->complete = true;
        curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &options.head->status);
        options.head->headers = header_text;
    }
    if (options.sink == nullptr && header_text.find(GZIP_MARKER) != std::string::npos) {
        body = Gunzip(body, target.limit);
    }
    // Another domain's answer must not plant cookies that the service would get.
    if (options.cookie_jar != nullptr && cookies_may_go(current_url)) {
        CollectSetCookies(header_text, *options.cookie_jar);
    }
    return body;
}

void WebClient::Stop() {
    m_impl->stopped.store(true);
    const std::lock_guard lock(m_impl->mutex);
    for (Slot* slot : m_impl->busy) {
        curl_multi_wakeup(slot->multi.get());
    }
}

bool WebClient::Stopped() const {
    return m_impl->stopped.load();
}

bool IsLoopbackHost(std::string_view host) {
    if (EqualsIgnoreCase(host, "localhost") || host == "[::1]") {
        return true;
    }
    if (!host.starts_with("127.")) {
        return false;
    }
    int dots = 0;
    int digits = 0;
    int value = 0;
    for (const char c : host) {
        if (c == '.' && digits > 0 && dots < 3) {
            ++dots;
            digits = 0;
            value = 0;
        } else if (c >= '0' && c <= '9' && digits < 3 && value * 10 + (c - '0') <= 255) {
            ++digits;
            value = value * 10 + (c - '0');
        } else {
            return false;
        }
    }
    return dots == 3 && digits > 0;
}

std::string TextBetween(std::string_view text, std::string_view left, std::string_view right) {
    if (right.empty()) {
        const std::size_t at = text.find(left);
        return at == std::string_view::npos ? std::string()
                                            : std::string(text.substr(at + left.size()));
    }
    if (left.empty()) {
        const std::size_t at = text.find(right);
        return at == std::string_view::npos ? std::string() : std::string(text.substr(0, at));
    }
    const std::size_t start = text.find(left);
    if (start == std::string_view::npos) {
        return {};
    }
    const std::size_t from = start + left.size();
    const std::size_t end = text.find(right, from);
    // Right marker missing after the left one: the rest of the text, so that a
    // "Set-Cookie: name=value" line without any ";" still yields its pair.
    return std::string(
        text.substr(from, end == std::string_view::npos ? std::string_view::npos : end - from));
}

}  // namespace zelmo::platform
