#pragma once

#include <string>
#include <string_view>

#include "config/AiSettings.h"
#include "config/OneBotSettings.h"
#include "platform/TextFile.h"

namespace zelmo::config {

// The robot's settings, read once at start-up from "config/mzset.ini" (GBK texts). The
// field names are the file's keys.
struct Settings {
    bool 启用回复 = true;
    bool 显示消息 = true;
    std::string 机器人姓名 = "Zelmo";
    bool 好友学习 = true;
    bool 群学习 = true;
    bool 开启列表 = true;
    std::string 列表词 = "\xb9\xa6\xc4\xdc";  // "功能" in GBK
    std::string 屏蔽uin;
    std::string 回复几率 = "100";
    bool 好友默认 = true;
    bool 群默认 = false;
    // Most robot replies per chat in any minute; "0" for no limit (section 回复设置).
    std::string 每分钟回复上限 = "20";
    bool 启用群管 = true;
    std::string 群管_加;
    std::string 群管_邀;
    std::string 群管_移;
    // Seconds a reply may wait for the sender before it is dropped (logged) instead of
    // sent late; "0" never drops one.
    std::string 回复过期秒数 = "300";
    // Resume a saved session at start and log in again without a scan when the service ends
    // the session (section 机器人设置, as the next one).
    bool 自动重新登录 = true;
    // Most logins the robot starts by itself (hot starts, push re-logins, a re-login's QR
    // codes) in any 24 hours; "0" for no cap.
    std::string 自动登录上限 = "12";
    // Received media (section 机器人设置): "0" keeps none, "1" pictures and voice, "2" every
    // kind; the most megabytes one file may have.
    std::string 媒体下载 = "1";
    std::string 媒体上限MB = "50";
    // Keep every message received and sent in the account's archive (zelmo.db), with the
    // contact keys; read at start (section 机器人设置, as the next one).
    bool 启用存档 = true;
    // Days the archive keeps; "0" keeps everything.
    std::string 消息保留天数 = "0";
    // Section [AI回复]: answers from a language model.
    AiSettings ai;
    // Section [OneBot]: how bot frameworks reach the robot; read at the start.
    OneBotSettings onebot;

    bool operator==(const Settings&) const = default;
};

// The mass sender's pacing; the numbers stay texts, their users convert them.
struct MassSettings {
    std::string 消息延时 = "500";
    std::string 重复几遍 = "1";
    std::string 重复延时 = "2000";
    bool 监控日志 = true;

    bool operator==(const MassSettings&) const = default;
};

// Each reads its keys with the key table's defaults; a missing file, section or key gives
// that key's default. Numbers are not validated. A UTF-8 file is read as its GBK
// conversion.
Settings LoadSettings(std::string_view path);
MassSettings LoadMassSettings(std::string_view path);

// Both records from one read, and what the read found for the start-up to report. A UTF-8
// file's original is kept as "mzset.ini.utf8-backup" (the saves write GBK).
struct SettingsFile {
    Settings settings;
    MassSettings mass;
    platform::TextFileReport report;
};
SettingsFile LoadSettingsFile(std::string_view path);
// The same from a file already read.
SettingsFile ReadSettingsFile(platform::TextFile file);

// Each writes its keys in the table's order, keeping every other line, comment and unknown
// key, and replaces the file in one atomic step. A line break inside a text would end the
// item, so the uin list gets "," and every other text "[enter]" in its place. The file
// replaced stays as "mzset.ini.bak". False (file untouched) when the file could not be
// read, decoded or written.
bool SaveSettings(std::string_view path, const Settings& settings);
bool SaveMassSettings(std::string_view path, const MassSettings& settings);

}  // namespace zelmo::config
