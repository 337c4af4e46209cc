#include "sim/HttpWire.h"

#include <cctype>
#include <optional>

namespace sim {
namespace {

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i]))) {
            return false;
        }
    }
    return true;
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) {
        text.remove_suffix(1);
    }
    return text;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

}  // namespace

std::string HeaderValue(const HeaderList& headers, std::string_view name) {
    for (const auto& [key, value] : headers) {
        if (EqualsNoCase(key, name)) {
            return value;
        }
    }
    return {};
}

bool HasHeader(const HeaderList& headers, std::string_view name) {
    for (const auto& header : headers) {
        if (EqualsNoCase(header.first, name)) {
            return true;
        }
    }
    return false;
}

bool ParseRequestHead(std::string_view head, HttpRequest& request) {
    const std::size_t line_end = head.find("\r\n");
    const std::string_view line = head.substr(0, line_end);
    const std::size_t first = line.find(' ');
    const std::size_t second = first == std::string_view::npos ? first : line.find(' ', first + 1);
    if (first == 0 || first == std::string_view::npos || second == std::string_view::npos) {
        return false;
    }
    request.method = std::string(line.substr(0, first));
    request.target = std::string(line.substr(first + 1, second - first - 1));
    request.version = std::string(line.substr(second + 1));
    if (request.target.empty() || request.version.rfind("HTTP/1.", 0) != 0) {
        return false;
    }
    const std::size_t question = request.target.find('?');
    request.path = request.target.substr(0, question);
    request.query = question == std::string::npos ? "" : request.target.substr(question + 1);

    request.headers.clear();
    std::size_t pos = line_end == std::string_view::npos ? head.size() : line_end + 2;
    while (pos < head.size()) {
        std::size_t end = head.find("\r\n", pos);
        if (end == std::string_view::npos) {
            end = head.size();
        }
        const std::string_view header = head.substr(pos, end - pos);
        pos = end + 2;
        if (header.empty()) {
            break;
        }
        const std::size_t colon = header.find(':');
        if (colon == std::string_view::npos || colon == 0) {
            return false;
        }
        request.headers.emplace_back(std::string(header.substr(0, colon)),
                                     std::string(Trim(header.substr(colon + 1))));
    }
    return true;
}

std::string ReasonPhrase(int status) {
    switch (status) {
        case 100:
            return "Continue";
        case 200:
            return "OK";
        case 301:
            return "Moved Permanently";
        case 302:
            return "Found";
        case 400:
            return "Bad Request";
        case 404:
            return "Not Found";
        case 413:
            return "Payload Too Large";
        case 500:
            return "Internal Server Error";
        default:
            return "Status";
    }
}

std::string SerializeResponse(const HttpResponse& response) {
    std::string out = "HTTP/1.1 " + std::to_string(response.status) + " " +
                      ReasonPhrase(response.status) + "\r\n";
    out += response.close ? "Connection: close\r\n" : "Connection: keep-alive\r\n";
    for (const auto& [key, value] : response.headers) {
        out += key;
        out += ": ";
        out += value;
        out += "\r\n";
    }
    out += "Content-Length: " + std::to_string(response.body.size()) + "\r\n\r\n";
    out += response.body;
    return out;
}

namespace {

// The raw value of the first item named `key` ("" for a bare key), or nothing.
std::optional<std::string_view> FindQueryItem(std::string_view query, std::string_view key) {
    std::size_t pos = 0;
    while (pos <= query.size()) {
        std::size_t end = query.find('&', pos);
        if (end == std::string_view::npos) {
            end = query.size();
        }
        const std::string_view item = query.substr(pos, end - pos);
        const std::size_t eq = item.find('=');
        if (item.substr(0, eq) == key) {
            return eq == std::string_view::npos ? std::string_view() : item.substr(eq + 1);
        }
        pos = end + 1;
    }
    return std::nullopt;
}

}  // namespace

std::string QueryValue(std::string_view query, std::string_view key) {
    return std::string(FindQueryItem(query, key).value_or(std::string_view()));
}

bool HasQueryKey(std::string_view query, std::string_view key) {
    return FindQueryItem(query, key).has_value();
}

std::string UrlDecode(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size()) {
            const int high = HexDigit(text[i + 1]);
            const int low = HexDigit(text[i + 2]);
            if (high >= 0 && low >= 0) {
                out += static_cast<char>(high * 16 + low);
                i += 2;
                continue;
            }
        }
        out += text[i];
    }
    return out;
}

std::string UrlEncode(std::string_view text) {
    static constexpr char HEX[] = "0123456789ABCDEF";
    std::string out;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (std::isalnum(byte) != 0 || c == '-' || c == '_' || c == '.' || c == '~') {
            out += c;
        } else {
            out += '%';
            out += HEX[byte >> 4];
            out += HEX[byte & 15];
        }
    }
    return out;
}

std::string CookieValue(std::string_view cookie_header, std::string_view name) {
    std::size_t pos = 0;
    while (pos < cookie_header.size()) {
        std::size_t end = cookie_header.find(';', pos);
        if (end == std::string_view::npos) {
            end = cookie_header.size();
        }
        const std::string_view pair = Trim(cookie_header.substr(pos, end - pos));
        const std::size_t eq = pair.find('=');
        if (eq != std::string_view::npos && pair.substr(0, eq) == name) {
            return std::string(pair.substr(eq + 1));
        }
        pos = end + 1;
    }
    return {};
}

}  // namespace sim
