#pragma once

#include <string>
#include <string_view>

namespace zelmo::config {

// How 群 lets a group message reach the language model.
enum class AiGroupMode { Never = 0, WhenAddressed = 1, Always = 2 };

// The language-model reply source: section [AI回复] of mzset.ini. Texts are GBK; the
// numbers stay texts as typed, AiNumbers reads them.
struct AiSettings {
    bool 启用 = false;
    std::string 接口地址;  // the base URL, e.g. "https://api.example.com/v1"
    std::string 密钥;      // never logged: MaskKey (ai/) for the event log
    std::string 模型;
    std::string 系统提示;  // "[mkname]" stands for the robot's name, "[enter]" for a line break
    std::string 上下文条数 = "10";
    std::string 最长回复 = "500";  // characters
    std::string 超时秒数 = "30";
    bool 好友 = true;
    std::string 群 = "1";
    std::string 每日上限 = "500";  // 0: none
    std::string 触发前缀;

    AiSettings();
    bool operator==(const AiSettings&) const = default;
};

// The default of 系统提示 (GBK).
const std::string& DefaultAiPrompt();

// The numbers of AiSettings as used: a text that is no number, or lies outside its range,
// gives the default.
struct AiNumbers {
    int context_turns = 10;     // 0..50
    int max_reply_chars = 500;  // 1..10000
    int timeout_s = 30;         // 1..600
    AiGroupMode group = AiGroupMode::WhenAddressed;
    int daily_limit = 500;  // 0 (none)..1000000
};
AiNumbers ReadAiNumbers(const AiSettings& settings);

// The base URL's check for the start and the settings page: empty when it may be used
// (https, or plain http to a loopback address); otherwise what is wrong, in GBK.
std::string CheckAiAddress(std::string_view address);

// What keeps the model from being asked, in GBK, for the start's "错误提示" box: the
// address's fault, or a missing 模型; empty when the settings can be used (or 启用 is off).
std::string CheckAiSettings(const AiSettings& settings);

// True for "http://" to 127.0.0.0/8, [::1] or localhost (letter case ignored).
bool IsLoopbackHttp(std::string_view address);

}  // namespace zelmo::config
