#include <gtest/gtest.h>
#include <sys/stat.h>

#include <functional>
#include <string>
#include <vector>

#include "config/MinimiseNotice.h"
#include "config/Settings.h"
#include "config/SettingsReload.h"
#include "platform/Files.h"
#include "platform/GbkLiteral.h"
#include "platform/IniFile.h"
#include "support/SettingsSamples.h"
#include "support/TestSupport.h"

namespace zelmo::config {
namespace {

using platform::Gbk;

class SettingsFileTest : public ::testing::Test {
protected:
    std::string Path() const { return m_dir.Path() + "/mzset.ini"; }
    void WriteText(const std::string& text) const {
        ASSERT_TRUE(platform::WriteFileAtomic(Path(), text));
    }
    std::string FileText() const { return platform::ReadFile(Path()); }

    static Settings Changed() { return test::ChangedSettings(); }

private:
    test::TempDir m_dir;
};

struct BoolKey {
    const char* section;
    const char* key;
    std::function<bool(const Settings&)> field;
};

std::vector<BoolKey> SettingsBoolKeys() {
    return {
        {"机器人设置", "好友学习", [](const Settings& s) { return s.好友学习; }},
        {"机器人设置", "群学习", [](const Settings& s) { return s.群学习; }},
        {"机器人设置", "显示消息", [](const Settings& s) { return s.显示消息; }},
        {"插件设置", "开启列表", [](const Settings& s) { return s.开启列表; }},
        {"回复设置", "启用回复", [](const Settings& s) { return s.启用回复; }},
        {"回复设置", "好友默认", [](const Settings& s) { return s.好友默认; }},
        {"回复设置", "群默认", [](const Settings& s) { return s.群默认; }},
        {"群管设置", "启用群管", [](const Settings& s) { return s.启用群管; }},
        {"机器人设置", "自动重新登录", [](const Settings& s) { return s.自动重新登录; }},
        {"机器人设置", "启用存档", [](const Settings& s) { return s.启用存档; }},
    };
}

TEST_F(SettingsFileTest, AbsentFileGivesTheKeyTableDefaults) {
    const Settings settings = LoadSettings(Path());
    EXPECT_EQ(settings.屏蔽uin, "");
    EXPECT_EQ(settings.机器人姓名, "Zelmo");
    EXPECT_EQ(settings.列表词, Gbk("功能"));
    EXPECT_EQ(settings.回复几率, "100");
    EXPECT_EQ(settings.每分钟回复上限, "20");
    EXPECT_EQ(settings.群管_加, "");
    EXPECT_EQ(settings.群管_邀, "");
    EXPECT_EQ(settings.群管_移, "");
    EXPECT_EQ(settings.回复过期秒数, "300");
    EXPECT_EQ(settings.自动登录上限, "12");
    EXPECT_EQ(settings.媒体下载, "1");
    EXPECT_EQ(settings.媒体上限MB, "50");
    EXPECT_EQ(settings.消息保留天数, "0");
    EXPECT_FALSE(settings.群默认);
    for (const BoolKey& key : SettingsBoolKeys()) {
        if (std::string(key.key) != "群默认") {
            EXPECT_TRUE(key.field(settings)) << key.key;
        }
    }

    const MassSettings mass = LoadMassSettings(Path());
    EXPECT_EQ(mass.消息延时, "500");
    EXPECT_EQ(mass.重复几遍, "1");
    EXPECT_EQ(mass.重复延时, "2000");
    EXPECT_TRUE(mass.监控日志);
    EXPECT_FALSE(platform::FileExists(Path()));  // reading never creates the file
    EXPECT_FALSE(settings.ai.启用);
    EXPECT_TRUE(settings.ai.好友);
    EXPECT_EQ(settings.ai.群, "1");
    EXPECT_EQ(settings.ai.上下文条数, "10");
    EXPECT_EQ(settings.ai.最长回复, "500");
    EXPECT_EQ(settings.ai.超时秒数, "30");
    EXPECT_EQ(settings.ai.每日上限, "500");
    EXPECT_NE(settings.ai.系统提示.find("[mkname]"), std::string::npos);

    // A file without our sections gives the defaults too.
    WriteText("[other]\r\nkey=1\r\n");
    EXPECT_EQ(LoadSettings(Path()), Settings{});
}

TEST_F(SettingsFileTest, OnlyZeroAndFalseWordReadFalse) {
    const std::vector<std::pair<std::string, bool>> words = {
        {"0", false}, {Gbk("假"), false}, {"1", true},  {Gbk("真"), true},
        {"", true},   {"false", true},    {"no", true}, {"00", true},
    };
    for (const BoolKey& key : SettingsBoolKeys()) {
        for (const auto& [word, expected] : words) {
            WriteText("[" + Gbk(key.section) + "]\r\n" + Gbk(key.key) + "=" + word + "\r\n");
            EXPECT_EQ(key.field(LoadSettings(Path())), expected) << key.key << " = " << word;
        }
    }
    for (const auto& [word, expected] : words) {
        WriteText("[" + Gbk("群发设置") + "]\n" + Gbk("监控日志") + "=" + word + "\n");
        EXPECT_EQ(LoadMassSettings(Path()).监控日志, expected) << word;
    }
}

TEST_F(SettingsFileTest, FileWithCrLfLineEndsReadsLikeLf) {
    std::string lf = "[" + Gbk("机器人设置") + "]\n" + Gbk("机器人姓名") + "=Bob\n" +
                     Gbk("好友学习") + "=0\n" + "[" + Gbk("回复设置") + "]\n" + Gbk("回复几率") +
                     "=35\n" + Gbk("群默认") + "=1\n" + Gbk("启用回复") + "=0\n" + "[" +
                     Gbk("群发设置") + "]\n" + Gbk("监控日志") + "=0\n" + Gbk("重复几遍") + "=3\n";
    WriteText(lf);
    const Settings from_lf = LoadSettings(Path());
    const MassSettings mass_from_lf = LoadMassSettings(Path());
    EXPECT_EQ(from_lf.机器人姓名, "Bob");
    EXPECT_FALSE(from_lf.好友学习);
    EXPECT_EQ(from_lf.回复几率, "35");

    std::string crlf;
    for (const char byte : lf) {
        crlf += byte == '\n' ? std::string("\r\n") : std::string(1, byte);
    }
    WriteText(crlf);
    // A kept CR would make "0\r" read as true and "Bob\r" a different name.
    EXPECT_EQ(LoadSettings(Path()), from_lf);
    EXPECT_EQ(LoadMassSettings(Path()), mass_from_lf);
    EXPECT_FALSE(mass_from_lf.监控日志);
    EXPECT_EQ(mass_from_lf.重复几遍, "3");
}

TEST_F(SettingsFileTest, SaveRoundTripsEveryFieldInTheKeyOrder) {
    const Settings changed = Changed();
    ASSERT_TRUE(SaveSettings(Path(), changed));
    EXPECT_EQ(LoadSettings(Path()), changed);

    // A fresh file holds the keys in the order they are written, each in its section.
    const std::string text = FileText();
    const std::vector<const char*> order = {
        "[屏蔽设置]",      "屏蔽uin=",        "[机器人设置]",  "机器人姓名=",
        "好友学习=",       "群学习=",         "显示消息=",     "自动重新登录=0",
        "自动登录上限=3",  "媒体下载=2",      "媒体上限MB=8",  "启用存档=0",
        "消息保留天数=30", "[插件设置]",      "开启列表=",     "列表词=",
        "[回复设置]",      "启用回复=",       "回复几率=",     "好友默认=",
        "群默认=",         "每分钟回复上限=", "回复过期秒数=", "[群管设置]",
        "启用群管=",       "群管_加=",        "群管_邀=",      "群管_移=",
        "[AI回复]",        "启用=",           "接口地址=",     "密钥=",
        "模型=",           "系统提示=",       "上下文条数=",   "最长回复=",
        "超时秒数=",       "好友=",           "群=",           "每日上限=",
        "触发前缀=",
    };
    std::size_t last = 0;
    for (const char* item : order) {
        const std::size_t pos = text.find(Gbk(item));
        ASSERT_NE(pos, std::string::npos) << item;
        EXPECT_GE(pos, last) << item;
        last = pos;
    }
    EXPECT_NE(text.find(Gbk("群默认=1")), std::string::npos);
    EXPECT_NE(text.find(Gbk("每分钟回复上限=5")), std::string::npos);
    EXPECT_NE(text.find(Gbk("好友默认=0")), std::string::npos);
    // It holds the model's key now: neither it nor its backup is for other users' eyes.
    for (const std::string& file : {Path(), platform::BackupPath(Path())}) {
        struct stat status {};
        ASSERT_EQ(::stat(file.c_str(), &status), 0) << file;
        EXPECT_EQ(status.st_mode & 0777, 0600u) << file;
    }

    // Saving the defaults over it brings every field back.
    ASSERT_TRUE(SaveSettings(Path(), Settings{}));
    EXPECT_EQ(LoadSettings(Path()), Settings{});
}

TEST_F(SettingsFileTest, SaveKeepsCommentsUnknownKeysAndOtherSections) {
    const std::string before = "; written by hand\r\n[" + Gbk("机器人设置") + "]\r\n" +
                               Gbk("未知键") + "=7\r\n" + Gbk("机器人姓名") + "=Old\r\n" +
                               "# another comment\r\n[" + Gbk("其它") + "]\r\n" +
                               Gbk("最小化提示") + "=1\r\n";
    WriteText(before);
    MassSettings mass;
    mass.消息延时 = "1500";
    mass.重复几遍 = "4";
    mass.重复延时 = "60000";
    mass.监控日志 = false;
    ASSERT_TRUE(SaveMassSettings(Path(), mass));
    ASSERT_TRUE(SaveSettings(Path(), Changed()));

    const std::string text = FileText();
    EXPECT_NE(text.find("; written by hand\r\n"), std::string::npos);
    EXPECT_NE(text.find("# another comment\r\n"), std::string::npos);
    EXPECT_EQ(platform::ReadIniItem(Path(), Gbk("机器人设置"), Gbk("未知键")), "7");
    EXPECT_EQ(text.find("Old"), std::string::npos);
    EXPECT_TRUE(MinimiseNoticeShown(Path()));
    // The file keeps its CR LF convention throughout.
    for (std::size_t pos = text.find('\n'); pos != std::string::npos;
         pos = text.find('\n', pos + 1)) {
        ASSERT_GT(pos, 0U);
        EXPECT_EQ(text[pos - 1], '\r') << "bare LF at " << pos;
    }
    EXPECT_EQ(LoadSettings(Path()), Changed());
    EXPECT_EQ(LoadMassSettings(Path()), mass);
    EXPECT_EQ(platform::ReadIniItem(Path(), Gbk("群发设置"), Gbk("监控日志")), "0");
}

TEST_F(SettingsFileTest, LineBreaksInTextsCannotBreakTheFile) {
    Settings settings = Changed();
    settings.群管_加 = Gbk("第一行\r\n第二行");
    settings.机器人姓名 = "Bob\nEvil=1";
    settings.屏蔽uin = "111\n222\r\n333\r\n";
    ASSERT_TRUE(SaveSettings(Path(), settings));

    const Settings loaded = LoadSettings(Path());
    EXPECT_EQ(loaded.群管_加, Gbk("第一行[enter]第二行"));
    EXPECT_EQ(loaded.机器人姓名, "Bob[enter]Evil=1");
    EXPECT_EQ(loaded.屏蔽uin, "111,222,333");
    // The items after them were written too.
    EXPECT_EQ(loaded.群管_移, settings.群管_移);
    EXPECT_FALSE(loaded.启用群管);
    EXPECT_TRUE(platform::ReadIniSection(Path(), "Evil").empty());
    EXPECT_EQ(platform::ReadIniItem(Path(), Gbk("机器人设置"), "Evil", "absent"), "absent");

    MassSettings mass;
    mass.重复几遍 = "2\r\n";
    ASSERT_TRUE(SaveMassSettings(Path(), mass));
    EXPECT_EQ(LoadMassSettings(Path()).重复几遍, "2[enter]");
    EXPECT_TRUE(LoadMassSettings(Path()).监控日志);
}

TEST_F(SettingsFileTest, FailedSaveSaysSoAndCreatesNothing) {
    const std::string missing_folder = Path() + ".d/sub/mzset.ini";
    EXPECT_FALSE(SaveSettings(missing_folder, Changed()));
    EXPECT_FALSE(SaveMassSettings(missing_folder, MassSettings{}));
    EXPECT_FALSE(SetMinimiseNoticeShown(missing_folder));
    EXPECT_FALSE(platform::FileExists(Path() + ".d"));
}

TEST_F(SettingsFileTest, AUtf8FileReadsRightAndItsSavesKeepTheOriginalAndEveryOtherLine) {
    // An editor's UTF-8 file: the robot's name, a comment and an unknown key.
    const std::string utf8 =
        "; \xE6\xB3\xA8\r\n[\xE6\x9C\xBA\xE5\x99\xA8\xE4\xBA\xBA\xE8\xAE\xBE\xE7\xBD\xAE]\r\n"
        "\xE6\x9C\xBA\xE5\x99\xA8\xE4\xBA\xBA\xE5\xA7\x93\xE5\x90\x8D=\xE5\xB0\x8F\xE6\xB3\xBD\r\n"
        "extra=kept\r\n";
    WriteText(utf8);
    EXPECT_EQ(LoadSettings(Path()).机器人姓名, Gbk("小泽"));
    const SettingsFile file = LoadSettingsFile(Path());
    EXPECT_EQ(file.settings.机器人姓名, Gbk("小泽"));
    EXPECT_EQ(file.report.state, platform::TextFileState::Converted);
    EXPECT_EQ(file.report.backup_path, Path() + ".utf8-backup");
    EXPECT_EQ(platform::ReadFile(file.report.backup_path), utf8);

    ASSERT_TRUE(SaveSettings(Path(), Changed()));
    EXPECT_EQ(LoadSettings(Path()), Changed());
    EXPECT_EQ(FileText().substr(0, 4), Gbk("; 注"));
    EXPECT_EQ(platform::ReadIniItem(Path(), Gbk("机器人设置"), "extra"), "kept");
    EXPECT_EQ(platform::ReadFile(platform::BackupPath(Path())), utf8);
    EXPECT_EQ(platform::ReadFile(file.report.backup_path), utf8);
    EXPECT_EQ(LoadSettingsFile(Path()).report.state, platform::TextFileState::Ok);

    // A file that cannot be decoded is reported and never saved over.
    const std::string utf16 = std::string("\xFF\xFE[\0x\0]\0", 8);
    WriteText(utf16);
    EXPECT_EQ(LoadSettingsFile(Path()).report.state, platform::TextFileState::Unreadable);
    EXPECT_FALSE(SaveSettings(Path(), Changed()));
    EXPECT_FALSE(SaveMassSettings(Path(), MassSettings{}));
    EXPECT_EQ(FileText(), utf16);
}

// A file caught while it is written gives nothing to a reload; one that merely lacks its
// last line break is whole.
TEST_F(SettingsFileTest, AReloadTakesNothingFromAFileCutOffWhileItWasWritten) {
    const std::string whole = Gbk("[屏蔽设置]\r\n屏蔽uin=1,2\r\n");
    const struct {
        std::string text;
        std::string problem;
    } cases[] = {
        {whole, ""},
        {whole + "; note", ""},
        {whole + Gbk("[机器人设置]"), ""},
        {whole + Gbk("机器人姓名=小助手"), ""},
        {"", "it is empty"},
        {whole + Gbk("[机器人"), "its last line is cut off"},
        {whole + Gbk("机器人姓"), "its last line is cut off"},
        {whole + Gbk("机器人姓名=小助手").substr(0, 16), "it ends inside a character"},
    };
    for (const auto& file : cases) {
        WriteText(file.text);
        const SettingsReload reload = ReloadSettingsFile(Path());
        EXPECT_EQ(reload.problem, file.problem) << file.text;
        EXPECT_EQ(reload.file.has_value(), file.problem.empty()) << file.text;
        if (reload.file) {
            EXPECT_EQ(reload.file->settings.屏蔽uin, "1,2");
        }
    }
    ASSERT_TRUE(platform::DeleteFile(Path()));
    EXPECT_EQ(ReloadSettingsFile(Path()).file->settings, Settings{});
}

TEST_F(SettingsFileTest, MinimiseNoticeIsShownOnceThenRecorded) {
    EXPECT_FALSE(MinimiseNoticeShown(Path()));
    WriteText("[" + Gbk("其它") + "]\r\n" + Gbk("最小化提示") + "=0\r\n");
    EXPECT_FALSE(MinimiseNoticeShown(Path()));
    ASSERT_TRUE(SaveSettings(Path(), Changed()));

    ASSERT_TRUE(SetMinimiseNoticeShown(Path()));
    EXPECT_TRUE(MinimiseNoticeShown(Path()));
    EXPECT_EQ(platform::ReadIniItem(Path(), Gbk("其它"), Gbk("最小化提示")), "1");
    ASSERT_TRUE(SetMinimiseNoticeShown(Path()));
    EXPECT_TRUE(MinimiseNoticeShown(Path()));
    EXPECT_EQ(LoadSettings(Path()), Changed());
}

}  // namespace
}  // namespace zelmo::config
