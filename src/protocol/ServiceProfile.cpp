#include "protocol/ServiceProfile.h"

#include <array>
#include <charconv>
#include <optional>
#include <vector>

#include "platform/FileChecks.h"
#include "platform/Files.h"
#include "platform/IniFile.h"

namespace zelmo::protocol {

namespace {

constexpr std::array<std::string_view, 5> HOST_KEYS = {"login_host", "web_host", "push_host",
                                                       "file_host", "short_link_host"};
constexpr std::array<std::string_view, 11> KNOWN_KEYS = {
    "login_host", "web_host", "push_host",     "file_host",  "short_link_host", "port",
    "connect_to", "ca_file",  "timeout_scale", "login_mode", "extspam"};

constexpr std::string_view FUN = "{fun}";
constexpr std::string_view SECTION = "service";
constexpr std::string_view SCHEME = "https://";

std::string ReadOr(std::string_view path, std::string_view key, const std::string& fallback) {
    return platform::ReadIniItem(path, SECTION, key, fallback);
}

int ParsePort(std::string_view text) {
    int port = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), port);
    if (error != std::errc() || end != text.data() + text.size() || port < 1 || port > 65535) {
        return 0;
    }
    return port;
}

// A positive decimal number; anything else gives 1.
double ParseScale(std::string_view text) {
    double scale = 1.0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), scale);
    if (error != std::errc() || end != text.data() + text.size() || !(scale > 0)) {
        return 1.0;
    }
    return scale;
}

std::string Expand(std::string_view host_template, std::string_view fun) {
    const std::size_t at = host_template.find(FUN);
    if (at == std::string_view::npos) {
        return std::string(host_template);
    }
    std::string host(host_template.substr(0, at));
    host.append(fun).append(host_template.substr(at + FUN.size()));
    return host;
}

char Lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualsFolded(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (Lower(a[i]) != Lower(b[i])) {
            return false;
        }
    }
    return true;
}

// Nothing for a value that names neither mode.
std::optional<LoginMode> ParseLoginMode(std::string_view text) {
    if (EqualsFolded(text, "desktop")) {
        return LoginMode::Desktop;
    }
    if (EqualsFolded(text, "web")) {
        return LoginMode::Web;
    }
    return std::nullopt;
}

bool IsKnownKey(std::string_view key) {
    for (const std::string_view known : KNOWN_KEYS) {
        if (EqualsFolded(key, known)) {
            return true;
        }
    }
    return false;
}

bool IsLabelChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-';
}

// The host name of an https URL, without user info or port; empty for anything else.
std::string_view HostOf(std::string_view url) {
    if (url.size() < SCHEME.size() || !EqualsFolded(url.substr(0, SCHEME.size()), SCHEME)) {
        return {};
    }
    std::string_view authority = url.substr(SCHEME.size());
    authority = authority.substr(0, authority.find_first_of("/?#"));
    const std::size_t at = authority.rfind('@');
    if (at != std::string_view::npos) {
        authority.remove_prefix(at + 1);
    }
    const std::size_t colon = authority.find(':');
    return authority.substr(0, colon);
}

}  // namespace

ServiceProfile LoadServiceProfile(std::string_view path) {
    ServiceProfile profile;
    profile.login_host = ReadOr(path, "login_host", profile.login_host);
    profile.web_host = ReadOr(path, "web_host", profile.web_host);
    profile.push_host = ReadOr(path, "push_host", profile.push_host);
    profile.file_host = ReadOr(path, "file_host", profile.file_host);
    profile.short_link_host = ReadOr(path, "short_link_host", profile.short_link_host);
    profile.port = ParsePort(platform::ReadIniItem(path, SECTION, "port"));
    profile.connect_to = ReadOr(path, "connect_to", profile.connect_to);
    profile.ca_file = ReadOr(path, "ca_file", profile.ca_file);
    profile.timeout_scale = ParseScale(platform::ReadIniItem(path, SECTION, "timeout_scale"));
    if (const std::optional<LoginMode> mode =
            ParseLoginMode(platform::ReadIniItem(path, SECTION, "login_mode"))) {
        profile.login_mode = *mode;
    }
    const std::string extspam = platform::ReadIniItem(path, SECTION, "extspam");
    if (!extspam.empty()) {
        profile.extspam = extspam;
    }
    return profile;
}

ProfileCheck CheckServiceProfile(std::string_view path) {
    const std::string unreadable = platform::ReadableFileProblem(path);
    if (!unreadable.empty()) {
        return {ProfileProblem::Unreadable, unreadable};
    }
    std::string text;
    if (!platform::TryReadFile(path, text)) {
        return {ProfileProblem::Unreadable, "read error"};
    }
    const std::vector<platform::IniEntry> entries = platform::IniTextSection(text, SECTION);
    bool known = false;
    for (const platform::IniEntry& entry : entries) {
        known = known || IsKnownKey(entry.key);
    }
    if (!known) {
        return {ProfileProblem::NoSection, {}};
    }
    for (const std::string_view key : HOST_KEYS) {
        for (const platform::IniEntry& entry : entries) {
            if (EqualsFolded(entry.key, key) && entry.value.empty()) {
                return {ProfileProblem::EmptyHost, std::string(key)};
            }
        }
    }
    for (const platform::IniEntry& entry : entries) {
        if (EqualsFolded(entry.key, "login_mode") && !ParseLoginMode(entry.value)) {
            return {ProfileProblem::BadLoginMode, entry.value};
        }
    }
    return {};
}

std::string WebHost(const ServiceProfile& profile, std::string_view fun) {
    return Expand(profile.web_host, fun);
}

std::string PushHost(const ServiceProfile& profile, std::string_view fun) {
    return Expand(profile.push_host, fun);
}

std::string FileHost(const ServiceProfile& profile, std::string_view fun) {
    // The service's file hosts have always been the page host with "file." in front.
    if (profile.file_host.empty()) {
        return "file." + Expand(profile.web_host, fun);
    }
    return Expand(profile.file_host, fun);
}

std::string LoginHost(const ServiceProfile& profile) {
    return profile.login_host;
}

std::string HostUrl(const ServiceProfile& profile, std::string_view host) {
    std::string url(SCHEME);
    url.append(host);
    if (profile.port != 0) {
        url.append(":").append(std::to_string(profile.port));
    }
    return url;
}

std::string WebUrl(const ServiceProfile& profile, std::string_view fun) {
    return HostUrl(profile, WebHost(profile, fun));
}

std::string PushUrl(const ServiceProfile& profile, std::string_view fun) {
    return HostUrl(profile, PushHost(profile, fun));
}

std::string FileUrl(const ServiceProfile& profile, std::string_view fun) {
    return HostUrl(profile, FileHost(profile, fun));
}

std::string LoginUrl(const ServiceProfile& profile) {
    return HostUrl(profile, LoginHost(profile));
}

std::string FunFromUrl(const ServiceProfile& profile, std::string_view url) {
    const std::string_view web_host = profile.web_host;
    const std::size_t at = web_host.find(FUN);
    if (at == std::string_view::npos) {
        return {};
    }
    const std::string_view prefix = web_host.substr(0, at);
    const std::string_view domain = web_host.substr(at + FUN.size());
    const std::string_view host = HostOf(url);
    if (host.size() < prefix.size() + domain.size() ||
        !EqualsFolded(host.substr(0, prefix.size()), prefix) ||
        !EqualsFolded(host.substr(host.size() - domain.size()), domain)) {
        return {};
    }
    const std::string_view fun =
        host.substr(prefix.size(), host.size() - prefix.size() - domain.size());
    for (const char c : fun) {
        if (!IsLabelChar(c)) {
            return {};
        }
    }
    return std::string(fun);
}

std::string CookieDomain(const ServiceProfile& profile) {
    std::string_view domain = profile.web_host;
    const std::size_t at = domain.find(FUN);
    if (at != std::string_view::npos) {
        domain.remove_prefix(at + FUN.size());
    }
    while (domain.starts_with('.')) {
        domain.remove_prefix(1);
    }
    return std::string(domain);
}

platform::WebClientConfig ClientConfig(const ServiceProfile& profile) {
    return {profile.connect_to, profile.ca_file, profile.timeout_scale, CookieDomain(profile)};
}

}  // namespace zelmo::protocol
