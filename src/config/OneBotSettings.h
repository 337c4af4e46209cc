#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace zelmo::config {

// Section [OneBot] of "config/mzset.ini": how bot frameworks reach the robot. Texts are GBK
// as in the rest of the file; addresses and URLs are ASCII.
struct OneBotSettings {
    bool 启用 = false;
    std::string HTTP地址;           // "host:port" of the HTTP listener; empty: none
    std::string WS地址;             // "host:port" of the WebSocket listener; empty: none
    std::string 反向WS;             // ws:// URLs the robot connects to, separated by ";"
    std::string Webhook;            // URLs every event is posted to, separated by ";"
    std::string 访问令牌;           // the access token; empty: none asked for
    std::string 心跳间隔 = "5000";  // ms between heartbeats; "0" sends none
    std::string 重连间隔 = "3000";  // ms between two tries of a reverse WebSocket
    bool 接管回复 = false;  // a connected framework answers alone: the robot's chain is quiet
    bool HTTP事件 = false;  // events kept for get_latest_events
    std::string 事件缓冲 = "1000";  // how many of them at most
    // The folder whose files upload_file may take by path; empty: none.
    std::string 文件目录;

    bool operator==(const OneBotSettings&) const = default;
};

// Reads the section with the defaults above for every missing key; a missing or unreadable
// file gives the defaults. A UTF-8 file is read as its GBK conversion.
OneBotSettings LoadOneBotSettings(std::string_view path);
// The same from the file's text (GBK).
OneBotSettings ReadOneBotSettings(std::string_view text);
// Writes every key of the section, keeping every other line, comment and unknown key, in
// one atomic step (the old file kept as its .bak). False (file untouched) when it could not
// be read, decoded or written.
bool SaveOneBotSettings(std::string_view path, const OneBotSettings& settings);
// The same into a file's text; false when an item could not be set.
bool PutOneBotSettings(std::string& text, const OneBotSettings& settings);

// A listener address split: host (brackets of an IPv6 address removed) and port.
struct ListenAddress {
    std::string host;
    std::string port;
};
// "host:port", "[v6]:port" or ":port" (every address); false for anything else, a port
// outside 0..65535 included.
bool SplitListenAddress(std::string_view text, ListenAddress& address);
// 127.0.0.1 (any of 127/8), ::1 and localhost: only programs of this machine reach them.
bool IsLoopbackHost(std::string_view host);
// The pieces of a ";"-separated list, blanks around each trimmed, empty ones dropped.
std::vector<std::string> SplitUrlList(std::string_view text);

// One thing wrong in the section (GBK): the key it concerns and what the owner reads.
struct OneBotSettingsError {
    std::string key;   // "HTTP地址", "WS地址", "反向WS", "Webhook", "访问令牌" ... (GBK)
    std::string text;  // names the setting to change
};
// Every fault of an enabled section: a listener on an address other than this machine's
// without 访问令牌 (the text names 访问令牌), an address or URL that cannot work, a number
// that is not one. Empty when the section is off or sound.
std::vector<OneBotSettingsError> CheckOneBotSettings(const OneBotSettings& settings);
// The settings with every listener, URL list and number the check refuses turned off or
// back to its default, so what is sound can run while the owner is told the rest.
OneBotSettings WithoutRefused(const OneBotSettings& settings,
                              const std::vector<OneBotSettingsError>& errors);

}  // namespace zelmo::config
