#pragma once

#include <string>
#include <string_view>

#include "platform/WebClient.h"
#include "protocol/LoginMode.h"

namespace zelmo::protocol {

// The desktop client's extspam header value: an opaque value of that client, the same for
// every account.
inline constexpr std::string_view DESKTOP_EXTSPAM =
    "Go8FCIkFEokFCggwMDAwMDAwMRAGGvAESySibk50w5Wb3uTl2c2h64jVVrV7gNs06GFlWplHQbY/5FfiO++1yH4ykC"
    "yNPWKXmco+wfQzK5R98D3so7rJ5LmGFvBLjGceleySrc3SOf2Pc1gVehzJgODeS0lDL3/I/0S2SSE98YgKleq6Uqx6"
    "ndTy9yaL9qFxJL7eiA/R3SEfTaW1SBoSITIu+EEkXff+Pv8NHOk7N57rcGk1w0ZzRrQDkXTOXFN2iHYIzAAZPIOY45"
    "Lsh+A4slpgnDiaOvRtlQYCt97nmPLuTipOJ8Qc5pM7ZsOsAPPrCQL7nK0I7aPrFDF0q4ziUUKettzW8MrAaiVfmbD1"
    "/VkmLNVqqZVvBCtRblXb5FHmtS8FxnqCzYP4WFvz3T0TcrOqwLX1M/DQvcHaGGw0B0y4bZMs7lVScGBFxMj3vbFi2S"
    "RKbKhaitxHfYHAOAa0X7/MSS0RNAjdwoyGHeOepXOKY+h3iHeqCvgOH6LOifdHf/1aaZNwSkGotYnYScW8Yx63LnSw"
    "ba7+hESrtPa/huRmB9KWvMCKbDThL/nne14hnL277EDCSocPu3rOSYjuB9gKSOdVmWsj9Dxb/iZIe+S6AiG29Esm+/"
    "eUacSba0k8wn5HhHg9d4tIcixrxveflc8vi2/wNQGVFNsGO6tB5WF0xf/plngOvQ1/ivGV/C1Qpdhzznh0ExAVJ6dw"
    "zNg7qIEBaw+BzTJTUuRcPk92Sn6QDn2Pu3mpONaEumacjW4w6ipPnPw+g2TfywJjeEcpSZaP4Q3YV5HG8D6UjWA4GS"
    "kBKculWpdCMadx0usMomsSS/74QgpYqcPkmamB4nVv1JxczYITIqItIKjD35IGKAUwAA==";

// The service's host names. web_host and push_host are templates in which "{fun}" stands
// for the host variant: the text before it is the fixed prefix, the text after it the
// service domain. The defaults are the real service.
struct ServiceProfile {
    std::string login_host = "login.weixin.qq.com";
    std::string web_host = "wx{fun}.qq.com";
    std::string push_host = "webpush{fun}.weixin.qq.com";
    // Uploads and file downloads: a template as web_host; empty means "file." + web_host.
    std::string file_host;
    std::string short_link_host = "url.cn";
    int port = 0;            // 0 means the scheme's default (443)
    std::string connect_to;  // "HOST:PORT" every connection goes to (tests); empty for none
    std::string ca_file;     // an extra trusted CA (PEM); empty for none
    // Every request time-out is multiplied by it (tests); key "timeout_scale", default 1.
    double timeout_scale = 1.0;
    // Key "login_mode": "desktop" (the default) or "web".
    LoginMode login_mode = LoginMode::Desktop;
    // Key "extspam": the desktop mode's token, when it must differ from the built-in one.
    std::string extspam = std::string(DESKTOP_EXTSPAM);
};

// Reads section [service] of an INI file; missing keys (or a missing file) keep the
// defaults, and a port that is not a number in 1..65535 counts as missing, as does a
// login_mode other than "desktop" or "web" (letter case aside).
ServiceProfile LoadServiceProfile(std::string_view path);

// What is wrong with a profile file the user named, which must not be replaced silently
// by the real service's hosts.
enum class ProfileProblem {
    None,
    Unreadable,    // missing, a folder, no permission: `detail` is the system's reason
    NoSection,     // no [service] section, or one without any key of the profile
    EmptyHost,     // a host key without a value: `detail` names the key
    BadLoginMode,  // login_mode is neither "desktop" nor "web": `detail` is the value
};
struct ProfileCheck {
    ProfileProblem problem = ProfileProblem::None;
    std::string detail;
};
ProfileCheck CheckServiceProfile(std::string_view path);

// The web-client host with the variant; an empty fun gives the primary web-client host.
std::string WebHost(const ServiceProfile& profile, std::string_view fun);
// The push host with the variant.
std::string PushHost(const ServiceProfile& profile, std::string_view fun);
// The file host (uploads, file downloads) with the variant.
std::string FileHost(const ServiceProfile& profile, std::string_view fun);
std::string LoginHost(const ServiceProfile& profile);

// "https://host", or "https://host:port" when the profile names a port.
std::string HostUrl(const ServiceProfile& profile, std::string_view host);

// Shorthands for HostUrl over the hosts above.
std::string WebUrl(const ServiceProfile& profile, std::string_view fun);
std::string PushUrl(const ServiceProfile& profile, std::string_view fun);
std::string FileUrl(const ServiceProfile& profile, std::string_view fun);
std::string LoginUrl(const ServiceProfile& profile);

// The host variant named by an https URL on the web-client host family ("2" for
// "https://wx2.qq.com/..."). Empty for the primary host, for any other host, and for a
// variant that is not made of letters, digits and "-" only.
std::string FunFromUrl(const ServiceProfile& profile, std::string_view url);

// The domain the service's cookies belong to: what follows "{fun}" in the web host's
// template ("qq.com"), or the whole web host when it has no variant.
std::string CookieDomain(const ServiceProfile& profile);

// Where the profile's connections go and whose cookies they carry, for constructing the
// WebClient.
platform::WebClientConfig ClientConfig(const ServiceProfile& profile);

}  // namespace zelmo::protocol
