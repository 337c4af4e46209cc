#include "config/Settings.h"

#include "config/SettingsInput.h"
#include "platform/Files.h"
#include "platform/GbkLiteral.h"
#include "platform/IniFile.h"
#include "platform/PrivateFile.h"
#include "platform/TextFile.h"

namespace zelmo::config {

namespace {

// Item reads on one file's text, read once; section and key names are written in UTF-8
// here and are GBK in the file.
class SettingsReader {
public:
    explicit SettingsReader(std::string text) : m_text(std::move(text)) {}

    std::string Text(std::string_view section, std::string_view key,
                     std::string_view fallback) const {
        return platform::IniTextItem(m_text, platform::Gbk(section), platform::Gbk(key), fallback);
    }
    bool Flag(std::string_view section, std::string_view key, bool fallback) const {
        const std::string missing = "\n";  // no value read from a line can hold a line break
        const std::string value = Text(section, key, missing);
        return value == missing ? fallback : platform::IniTextToBool(value);
    }
    const std::string& Whole() const { return m_text; }

private:
    std::string m_text;
};

// Item writes collected on the file's text, written back in one atomic step (the old file
// kept as its .bak), so a failed save leaves the old file whole rather than half of the
// new settings. A UTF-8 file is written back as GBK after its original is kept.
class SettingsWriter {
public:
    explicit SettingsWriter(std::string_view path) : m_path(path) {
        platform::TextFile file = platform::ReadTextFileForUpdate(path);
        // An unreadable file must not be replaced by one holding only our keys.
        m_ok = platform::MayReplace(file.report);
        m_text = std::move(file.text);
    }

    void Text(std::string_view section, std::string_view key, std::string_view value) {
        Put(section, key, StoredLineBreaks(value));
    }
    void Flag(std::string_view section, std::string_view key, bool value) {
        Put(section, key, value ? "1" : "0");
    }
    void Put(std::string_view section, std::string_view key, std::string_view value) {
        m_ok = m_ok &&
               platform::SetIniTextItem(m_text, platform::Gbk(section), platform::Gbk(key), value);
    }
    // Items that another file's code writes into the text; `edit` false is a failure.
    template <typename Edit>
    void Apply(Edit edit) {
        m_ok = m_ok && edit(m_text);
    }
    // Makes the file (and so the one that replaces it) and its backup, which a file system
    // without links gets as a copy, readable by their owner alone.
    void MakePrivate() {
        m_ok = m_ok && platform::KeepPrivate(m_path) &&
               platform::KeepPrivate(platform::BackupPath(m_path));
    }
    bool Commit() const { return m_ok && platform::WriteFileKeepingBackup(m_path, m_text); }

private:
    std::string_view m_path;
    std::string m_text;
    bool m_ok = false;
};

constexpr std::string_view SHIELD = "屏蔽设置";
constexpr std::string_view ROBOT = "机器人设置";
constexpr std::string_view PLUGIN = "插件设置";
constexpr std::string_view REPLY = "回复设置";
constexpr std::string_view GROUP = "群管设置";
constexpr std::string_view MASS = "群发设置";
constexpr std::string_view AI = "AI回复";

}  // namespace

namespace {

AiSettings ReadAiSettings(const SettingsReader& file) {
    const AiSettings defaults;
    AiSettings ai;
    ai.启用 = file.Flag(AI, "启用", defaults.启用);
    ai.接口地址 = file.Text(AI, "接口地址", defaults.接口地址);
    ai.密钥 = file.Text(AI, "密钥", defaults.密钥);
    ai.模型 = file.Text(AI, "模型", defaults.模型);
    ai.系统提示 = file.Text(AI, "系统提示", defaults.系统提示);
    ai.上下文条数 = file.Text(AI, "上下文条数", defaults.上下文条数);
    ai.最长回复 = file.Text(AI, "最长回复", defaults.最长回复);
    ai.超时秒数 = file.Text(AI, "超时秒数", defaults.超时秒数);
    ai.好友 = file.Flag(AI, "好友", defaults.好友);
    ai.群 = file.Text(AI, "群", defaults.群);
    ai.每日上限 = file.Text(AI, "每日上限", defaults.每日上限);
    ai.触发前缀 = file.Text(AI, "触发前缀", defaults.触发前缀);
    return ai;
}

void WriteAiSettings(SettingsWriter& file, const AiSettings& ai) {
    file.Flag(AI, "启用", ai.启用);
    file.Text(AI, "接口地址", ai.接口地址);
    file.Text(AI, "密钥", ai.密钥);
    file.Text(AI, "模型", ai.模型);
    file.Text(AI, "系统提示", ai.系统提示);
    file.Text(AI, "上下文条数", ai.上下文条数);
    file.Text(AI, "最长回复", ai.最长回复);
    file.Text(AI, "超时秒数", ai.超时秒数);
    file.Flag(AI, "好友", ai.好友);
    file.Text(AI, "群", ai.群);
    file.Text(AI, "每日上限", ai.每日上限);
    file.Text(AI, "触发前缀", ai.触发前缀);
}

Settings ReadSettings(const SettingsReader& file) {
    const Settings defaults;
    Settings settings;
    settings.屏蔽uin = file.Text(SHIELD, "屏蔽uin", defaults.屏蔽uin);
    settings.机器人姓名 = file.Text(ROBOT, "机器人姓名", defaults.机器人姓名);
    settings.好友学习 = file.Flag(ROBOT, "好友学习", defaults.好友学习);
    settings.群学习 = file.Flag(ROBOT, "群学习", defaults.群学习);
    settings.显示消息 = file.Flag(ROBOT, "显示消息", defaults.显示消息);
    settings.开启列表 = file.Flag(PLUGIN, "开启列表", defaults.开启列表);
    settings.列表词 = file.Text(PLUGIN, "列表词", defaults.列表词);
    settings.启用回复 = file.Flag(REPLY, "启用回复", defaults.启用回复);
    settings.回复几率 = file.Text(REPLY, "回复几率", defaults.回复几率);
    settings.好友默认 = file.Flag(REPLY, "好友默认", defaults.好友默认);
    settings.群默认 = file.Flag(REPLY, "群默认", defaults.群默认);
    settings.每分钟回复上限 = file.Text(REPLY, "每分钟回复上限", defaults.每分钟回复上限);
    settings.启用群管 = file.Flag(GROUP, "启用群管", defaults.启用群管);
    settings.群管_加 = file.Text(GROUP, "群管_加", defaults.群管_加);
    settings.群管_邀 = file.Text(GROUP, "群管_邀", defaults.群管_邀);
    settings.群管_移 = file.Text(GROUP, "群管_移", defaults.群管_移);
    settings.回复过期秒数 = file.Text(REPLY, "回复过期秒数", defaults.回复过期秒数);
    settings.自动重新登录 = file.Flag(ROBOT, "自动重新登录", defaults.自动重新登录);
    settings.自动登录上限 = file.Text(ROBOT, "自动登录上限", defaults.自动登录上限);
    settings.媒体下载 = file.Text(ROBOT, "媒体下载", defaults.媒体下载);
    settings.媒体上限MB = file.Text(ROBOT, "媒体上限MB", defaults.媒体上限MB);
    settings.启用存档 = file.Flag(ROBOT, "启用存档", defaults.启用存档);
    settings.消息保留天数 = file.Text(ROBOT, "消息保留天数", defaults.消息保留天数);
    settings.ai = ReadAiSettings(file);
    settings.onebot = ReadOneBotSettings(file.Whole());
    return settings;
}

MassSettings ReadMassSettings(const SettingsReader& file) {
    const MassSettings defaults;
    MassSettings settings;
    settings.消息延时 = file.Text(MASS, "消息延时", defaults.消息延时);
    settings.重复几遍 = file.Text(MASS, "重复几遍", defaults.重复几遍);
    settings.重复延时 = file.Text(MASS, "重复延时", defaults.重复延时);
    settings.监控日志 = file.Flag(MASS, "监控日志", defaults.监控日志);
    return settings;
}

}  // namespace

Settings LoadSettings(std::string_view path) {
    return ReadSettings(SettingsReader(platform::ReadTextFile(path).text));
}

MassSettings LoadMassSettings(std::string_view path) {
    return ReadMassSettings(SettingsReader(platform::ReadTextFile(path).text));
}

SettingsFile LoadSettingsFile(std::string_view path) {
    return ReadSettingsFile(platform::ReadTextFileForUpdate(path));
}

SettingsFile ReadSettingsFile(platform::TextFile file) {
    const SettingsReader reader(std::move(file.text));
    return SettingsFile{ReadSettings(reader), ReadMassSettings(reader), std::move(file.report)};
}

bool SaveSettings(std::string_view path, const Settings& settings) {
    SettingsWriter file(path);
    file.Put(SHIELD, "屏蔽uin", JoinShieldLines(settings.屏蔽uin));
    file.Text(ROBOT, "机器人姓名", settings.机器人姓名);
    file.Flag(ROBOT, "好友学习", settings.好友学习);
    file.Flag(ROBOT, "群学习", settings.群学习);
    file.Flag(ROBOT, "显示消息", settings.显示消息);
    file.Flag(ROBOT, "自动重新登录", settings.自动重新登录);
    file.Text(ROBOT, "自动登录上限", settings.自动登录上限);
    file.Text(ROBOT, "媒体下载", settings.媒体下载);
    file.Text(ROBOT, "媒体上限MB", settings.媒体上限MB);
    file.Flag(ROBOT, "启用存档", settings.启用存档);
    file.Text(ROBOT, "消息保留天数", settings.消息保留天数);
    file.Flag(PLUGIN, "开启列表", settings.开启列表);
    file.Text(PLUGIN, "列表词", settings.列表词);
    file.Flag(REPLY, "启用回复", settings.启用回复);
    file.Text(REPLY, "回复几率", settings.回复几率);
    file.Flag(REPLY, "好友默认", settings.好友默认);
    file.Flag(REPLY, "群默认", settings.群默认);
    file.Text(REPLY, "每分钟回复上限", settings.每分钟回复上限);
    file.Text(REPLY, "回复过期秒数", settings.回复过期秒数);
    file.Flag(GROUP, "启用群管", settings.启用群管);
    file.Text(GROUP, "群管_加", settings.群管_加);
    file.Text(GROUP, "群管_邀", settings.群管_邀);
    file.Text(GROUP, "群管_移", settings.群管_移);
    WriteAiSettings(file, settings.ai);
    file.Apply([&](std::string& text) { return PutOneBotSettings(text, settings.onebot); });
    // The file now holds a key that spends the user's money, or the token that lets a
    // program act as the account: only its owner may read it.
    if (!settings.ai.密钥.empty() || !settings.onebot.访问令牌.empty()) {
        file.MakePrivate();
    }
    return file.Commit();
}

bool SaveMassSettings(std::string_view path, const MassSettings& settings) {
    SettingsWriter file(path);
    file.Text(MASS, "消息延时", settings.消息延时);
    file.Text(MASS, "重复几遍", settings.重复几遍);
    file.Text(MASS, "重复延时", settings.重复延时);
    file.Flag(MASS, "监控日志", settings.监控日志);
    return file.Commit();
}

}  // namespace zelmo::config
