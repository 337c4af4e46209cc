#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace sim {

using HeaderList = std::vector<std::pair<std::string, std::string>>;

struct HttpRequest {
    std::string method;
    std::string target;
    std::string path;
    std::string query;  // raw, without "?"
    std::string version;
    HeaderList headers;  // as received, in order
    std::string body;
    std::string sni;
};

struct HttpResponse {
    int status = 200;
    HeaderList headers;  // written in this order after "Connection"
    std::string body;
    bool reset = false;  // drop the connection with a TCP reset instead of answering
    bool close = false;
    // Sends the head (with the whole Content-Length) and only so many body bytes, then
    // closes: an answer cut off. npos sends it whole.
    std::size_t cut_at = std::string::npos;
};

// First value of a header, name compared without case; empty when absent.
std::string HeaderValue(const HeaderList& headers, std::string_view name);
bool HasHeader(const HeaderList& headers, std::string_view name);

// Parses the request line and headers (the text before the blank line). False when
// the request line is malformed; never throws.
bool ParseRequestHead(std::string_view head, HttpRequest& request);

// The status line, the headers, Content-Length and the body.
std::string SerializeResponse(const HttpResponse& response);

std::string ReasonPhrase(int status);

// The raw value of the first `key=` parameter of a query; empty when absent.
std::string QueryValue(std::string_view query, std::string_view key);
bool HasQueryKey(std::string_view query, std::string_view key);
// Percent-decoding; '+' stays '+'. Broken escapes are kept as they are.
std::string UrlDecode(std::string_view text);
std::string UrlEncode(std::string_view text);
// The value of one cookie in a Cookie header; empty when absent.
std::string CookieValue(std::string_view cookie_header, std::string_view name);

}  // namespace sim
