#include "media/MediaRequests.h"

#include "platform/JsonReader.h"
#include "protocol/AnswerValues.h"

namespace zelmo::media {

namespace {

using Token = platform::JsonReader::Token;

constexpr char HEX[] = "0123456789ABCDEF";

}  // namespace

std::string JsonString(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size() + 8);
    for (const char c : utf8) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out.push_back('\\');
            out.push_back(c);
        } else if (byte < 0x20) {
            out.append("\\u00");
            out.push_back(HEX[byte >> 4]);
            out.push_back(HEX[byte & 0x0F]);
        } else {
            out.push_back(c);
        }
    }
    return out;
}

std::string XmlEscape(std::string_view text) {
    std::string out;
    out.reserve(text.size() + 8);
    for (const char c : text) {
        switch (c) {
            case '&':
                out.append("&amp;");
                break;
            case '<':
                out.append("&lt;");
                break;
            case '>':
                out.append("&gt;");
                break;
            case '"':
                out.append("&quot;");
                break;
            case '\'':
                out.append("&apos;");
                break;
            default:
                out.push_back(c);
        }
    }
    return out;
}

std::string PercentEncode(std::string_view text) {
    std::string out;
    out.reserve(text.size() * 3);
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
            c == '-' || c == '.' || c == '_' || c == '~') {
            out.push_back(c);
        } else {
            out.push_back('%');
            out.push_back(HEX[byte >> 4]);
            out.push_back(HEX[byte & 0x0F]);
        }
    }
    return out;
}

std::string BaseRequestJson(const protocol::ProtocolState& state) {
    const protocol::Session& session = state.session;
    // The envelope of every other request, filled by hand: the tokens are plain ASCII and
    // the rest of the body must not pass through the template's GBK conversion.
    return R"("BaseRequest":{"Uin":)" + session.uin + R"(,"Sid":")" + JsonString(session.sid) +
           R"(","Skey":"@)" + JsonString(session.skey) + R"(","DeviceID":")" +
           JsonString(session.deviceid) + R"("},)";
}

std::string CookieValue(std::string_view jar, std::string_view name) {
    std::size_t pos = 0;
    while (pos < jar.size()) {
        std::size_t end = jar.find(';', pos);
        if (end == std::string_view::npos) {
            end = jar.size();
        }
        std::string_view pair = jar.substr(pos, end - pos);
        while (!pair.empty() && pair.front() == ' ') {
            pair.remove_prefix(1);
        }
        if (pair.size() > name.size() && pair.substr(0, name.size()) == name &&
            pair[name.size()] == '=') {
            return std::string(pair.substr(name.size() + 1));
        }
        pos = end + 1;
    }
    return {};
}

std::string PostJson(const protocol::ServiceLink& link, const protocol::ProtocolState& state,
                     std::string_view url, std::string_view body) {
    platform::RequestOptions options;
    options.method = "post";
    options.body = body;
    options.cookie_header = state.session.cookies;
    return link.web.Request(url, options);
}

std::string AnswerRet(std::string_view answer) {
    platform::JsonReader reader(answer);
    if (reader.Next() != Token::ObjectStart) {
        return {};
    }
    for (Token token = reader.Next(); token == Token::Key; token = reader.Next()) {
        if (reader.Text() == "BaseResponse") {
            return protocol::BaseResponseRet(reader);
        }
        if (reader.SkipValue() == Token::Fault) {
            break;
        }
    }
    return {};
}

std::string AnswerValue(std::string_view answer, std::string_view key) {
    platform::JsonReader reader(answer);
    if (reader.Next() != Token::ObjectStart) {
        return {};
    }
    for (Token token = reader.Next(); token == Token::Key; token = reader.Next()) {
        if (reader.Text() != key) {
            if (reader.SkipValue() == Token::Fault) {
                break;
            }
            continue;
        }
        const Token value = reader.Next();
        if (value == Token::String) {
            return platform::UnescapeJson(reader.Text());
        }
        return value == Token::Scalar ? std::string(reader.Text()) : std::string();
    }
    return {};
}

}  // namespace zelmo::media
