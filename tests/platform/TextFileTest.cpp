#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <ctime>
#include <random>
#include <string>
#include <vector>

#include "platform/Encoding.h"
#include "platform/Files.h"
#include "platform/IniFile.h"
#include "platform/TextDecoding.h"
#include "platform/TextFile.h"
#include "support/TestSupport.h"

namespace zelmo::platform {
namespace {

using Names = std::vector<std::string>;

const std::string gbk_text = "\xC4\xE3\xBA\xC3 hello \xD6\xD0\xCE\xC4";  // 你好 hello 中文
const std::string utf8_text =
    "\xE4\xBD\xA0\xE5\xA5\xBD hello \xE4\xB8\xAD\xE6\x96\x87";  // the same

TEST(TextDecodingTest, OnlyWholeUtf8WithCjkOrAMarkIsTakenForUtf8) {
    std::string reason;
    EXPECT_EQ(DetectTextEncoding("", reason), TextEncoding::Gbk);
    EXPECT_EQ(DetectTextEncoding("plain ascii\r\n", reason), TextEncoding::Gbk);
    EXPECT_EQ(DetectTextEncoding(gbk_text, reason), TextEncoding::Gbk);
    EXPECT_EQ(DetectTextEncoding(utf8_text, reason), TextEncoding::Utf8);
    // One stray GBK byte makes the whole file GBK, wherever it is.
    EXPECT_EQ(DetectTextEncoding(utf8_text + "\xD6", reason), TextEncoding::Gbk);
    EXPECT_EQ(DetectTextEncoding(utf8_text + gbk_text, reason), TextEncoding::Gbk);
    // Two-byte sequences alone are what short GBK text looks like.
    EXPECT_EQ(DetectTextEncoding("caf\xC3\xA9", reason), TextEncoding::Gbk);
    EXPECT_EQ(DetectTextEncoding("emoji \xF0\x9F\x98\x80", reason), TextEncoding::Utf8);
    // Overlong forms and surrogates are not UTF-8.
    EXPECT_EQ(DetectTextEncoding("a\xC0\xAF", reason), TextEncoding::Gbk);
    EXPECT_EQ(DetectTextEncoding("a\xED\xA0\x80", reason), TextEncoding::Gbk);
    // A mark before ASCII is UTF-8; before GBK it cannot be decoded.
    EXPECT_EQ(DetectTextEncoding(std::string(UTF8_BOM) + "k=v", reason), TextEncoding::Utf8);
    EXPECT_EQ(DetectTextEncoding(std::string(UTF8_BOM) + gbk_text, reason),
              TextEncoding::Undecodable);
    EXPECT_NE(reason.find("not UTF-8"), std::string::npos);
    for (const std::string& mark :
         {std::string("\xFF\xFE"), std::string("\xFE\xFF"), std::string("\x00\x00\xFE\xFF", 4)}) {
        EXPECT_EQ(DetectTextEncoding(mark + std::string("k\0=\0v\0", 6), reason),
                  TextEncoding::Undecodable);
        EXPECT_NE(reason.find("UTF-16"), std::string::npos);
    }

    // Chinese GBK text of a few characters is not taken for UTF-8 (one in a thousand of
    // these is valid two-byte UTF-8).
    std::mt19937 random(5);
    int taken_for_utf8 = 0;
    for (int round = 0; round < 2000; ++round) {
        std::string text;
        for (int i = 0; i < 4; ++i) {
            const int index = static_cast<int>(random() % 3500);
            text += static_cast<char>(0xB0 + index / 94);
            text += static_cast<char>(0xA1 + index % 94);
        }
        taken_for_utf8 += DetectTextEncoding(text, reason) == TextEncoding::Utf8 ? 1 : 0;
    }
    EXPECT_EQ(taken_for_utf8, 0);
}

TEST(TextDecodingTest, Utf8IsConvertedWithoutItsMarkAndKeepsNulBytes) {
    DecodedText decoded = DecodeAccountText(std::string(UTF8_BOM) + utf8_text);
    EXPECT_EQ(decoded.encoding, TextEncoding::Utf8);
    EXPECT_EQ(decoded.text, gbk_text);
    decoded = DecodeAccountText(utf8_text + std::string("\0x\0", 3) + utf8_text);
    EXPECT_EQ(decoded.text, gbk_text + std::string("\0x\0", 3) + gbk_text);
    // An emoji GBK cannot hold becomes one "?".
    EXPECT_EQ(DecodeAccountText(utf8_text + "\xF0\x9F\x98\x80").text, gbk_text + "?");
    decoded = DecodeAccountText(gbk_text);
    EXPECT_EQ(decoded.encoding, TextEncoding::Gbk);
    EXPECT_EQ(decoded.text, gbk_text);
    decoded = DecodeAccountText(std::string("\xFF\xFEk\0", 4));
    EXPECT_EQ(decoded.encoding, TextEncoding::Undecodable);
    EXPECT_EQ(decoded.text, "");
}

class TextFileTest : public ::testing::Test {
protected:
    std::string PathOf(const std::string& name) const { return m_dir.Path() + "/" + name; }
    test::TempDir m_dir;
    std::string m_path = PathOf("reply.ini");
};

TEST_F(TextFileTest, ReadsSayWhatTheyFoundAndOnlyUpdatesKeepTheUtf8Original) {
    TextFile file = ReadTextFile(m_path);
    EXPECT_EQ(file.report.state, TextFileState::Missing);
    EXPECT_EQ(file.report.path, m_path);
    EXPECT_TRUE(MayReplace(file.report));

    ASSERT_TRUE(WriteFileAtomic(m_path, gbk_text));
    file = ReadTextFile(m_path);
    EXPECT_EQ(file.report.state, TextFileState::Ok);
    EXPECT_EQ(file.text, gbk_text);

    ASSERT_TRUE(WriteFileAtomic(m_path, utf8_text));
    file = ReadTextFile(m_path);
    EXPECT_EQ(file.report.state, TextFileState::Converted);
    EXPECT_EQ(file.text, gbk_text);
    EXPECT_EQ(file.report.backup_path, "");
    EXPECT_EQ(FindFiles(m_dir.Path(), "*"), Names{"reply.ini"});

    file = ReadTextFileForUpdate(m_path);
    EXPECT_EQ(file.report.state, TextFileState::Converted);
    EXPECT_EQ(file.report.backup_path, m_path + ".utf8-backup");
    EXPECT_EQ(ReadFile(file.report.backup_path), utf8_text);
    EXPECT_TRUE(MayReplace(file.report));
    // The same original again is kept once; another one never replaces it.
    EXPECT_EQ(ReadTextFileForUpdate(m_path).report.backup_path, m_path + ".utf8-backup");
    // A private original stays private in its copy.
    ASSERT_TRUE(WriteFileAtomic(m_path, utf8_text + "!"));
    ASSERT_EQ(::chmod(m_path.c_str(), 0600), 0);
    file = ReadTextFileForUpdate(m_path);
    EXPECT_EQ(file.report.backup_path, m_path + ".utf8-backup-2");
    struct stat status {};
    ASSERT_EQ(::stat(file.report.backup_path.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0600u);
    EXPECT_EQ(ReadFile(m_path + ".utf8-backup"), utf8_text);
    EXPECT_EQ(ReadFile(m_path + ".utf8-backup-2"), utf8_text + "!");

    // Where the original cannot be kept, the file must not be replaced.
    for (int number = 3; number <= 9; ++number) {
        ASSERT_TRUE(WriteFileAtomic(m_path + ".utf8-backup-" + std::to_string(number), "other"));
    }
    ASSERT_TRUE(WriteFileAtomic(m_path, utf8_text + "?"));
    file = ReadTextFileForUpdate(m_path);
    EXPECT_EQ(file.report.state, TextFileState::Converted);
    EXPECT_EQ(file.report.backup_path, "");
    EXPECT_NE(file.report.reason.find("could not be kept"), std::string::npos);
    EXPECT_FALSE(MayReplace(file.report));
    EXPECT_EQ(file.text, gbk_text + "?");
}

TEST_F(TextFileTest, WhatCannotBeReadOrDecodedSaysWhyAndMustNotBeReplaced) {
    ASSERT_TRUE(MakeDirectories(m_path));
    TextFile file = ReadTextFile(m_path);
    EXPECT_EQ(file.report.state, TextFileState::Unreadable);
    EXPECT_EQ(file.report.reason, "Is a directory");
    EXPECT_FALSE(MayReplace(file.report));

    const std::string utf16 = PathOf("lang.ini");
    ASSERT_TRUE(WriteFileAtomic(utf16, std::string("\xFF\xFE[\0a\0]\0", 8)));
    file = ReadTextFileForUpdate(utf16);
    EXPECT_EQ(file.report.state, TextFileState::Unreadable);
    EXPECT_NE(file.report.reason.find("UTF-16"), std::string::npos);
    EXPECT_EQ(file.text, "");

    const std::string large = PathOf("mass.ini");
    ASSERT_TRUE(WriteFileAtomic(large, std::string(100, 'x')));
    file = ReadTextFile(large, 99);
    EXPECT_EQ(file.report.state, TextFileState::Unreadable);
    EXPECT_EQ(file.report.reason, "larger than 99 bytes");
    EXPECT_EQ(ReadTextFile(large, 100).text, std::string(100, 'x'));
}

TEST_F(TextFileTest, AReplacedFileStaysAsItsBackupForOneGeneration) {
    const std::vector<std::string_view> pieces = {"new ", "", "bytes"};
    ASSERT_TRUE(WriteFileKeepingBackup(m_path, pieces));
    // Nothing was there to keep.
    EXPECT_EQ(FindFiles(m_dir.Path(), "*"), Names{"reply.ini"});
    EXPECT_EQ(ReadFile(m_path), "new bytes");

    ASSERT_EQ(::chmod(m_path.c_str(), 0640), 0);
    ASSERT_TRUE(WriteFileKeepingBackup(m_path, "second"));
    ASSERT_TRUE(WriteFileKeepingBackup(m_path, "third"));
    EXPECT_EQ(ReadFile(m_path), "third");
    EXPECT_EQ(ReadFile(BackupPath(m_path)), "second");
    EXPECT_EQ(FindFiles(m_dir.Path(), "*"), (Names{"reply.ini", "reply.ini.bak"}));
    struct stat status {};
    ASSERT_EQ(::stat(BackupPath(m_path).c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0640u);

    // A failed write leaves both as they were.
    const std::string blocked = PathOf("blocked");
    ASSERT_TRUE(MakeDirectories(blocked + "/inner"));
    EXPECT_FALSE(WriteFileKeepingBackup(blocked, "x"));
    EXPECT_FALSE(WriteFileKeepingBackup(PathOf("gone/reply.ini"), "x"));
    EXPECT_EQ(ReadFile(BackupPath(m_path)), "second");
    EXPECT_EQ(FindFiles(m_dir.Path(), "*"), (Names{"reply.ini", "reply.ini.bak"}));

    // Many small pieces arrive whole and in order.
    std::vector<std::string> numbers;
    std::string expected;
    for (int i = 0; i < 50000; ++i) {
        numbers.push_back(std::to_string(i) + ",");
        expected += numbers.back();
    }
    numbers.push_back(std::string(200000, 'z'));
    expected += numbers.back();
    const std::vector<std::string_view> views(numbers.begin(), numbers.end());
    ASSERT_TRUE(WriteFileKeepingBackup(m_path, views));
    EXPECT_EQ(ReadFile(m_path), expected);
    EXPECT_EQ(ReadFile(BackupPath(m_path)), "third");
}

TEST_F(TextFileTest, SidePathsAreDatedAndNeverNameAFileThatIsThere) {
    std::tm local{};
    local.tm_year = 2024 - 1900;
    local.tm_mon = 2;
    local.tm_mday = 5;
    local.tm_hour = 7;
    local.tm_min = 8;
    local.tm_sec = 9;
    local.tm_isdst = -1;
    const std::time_t when = std::mktime(&local);
    const std::string first = FreeSidePath(m_path, "new", when);
    EXPECT_EQ(first, m_path + ".new-20240305-070809");
    ASSERT_TRUE(WriteFileAtomic(first, "x"));
    EXPECT_EQ(FreeSidePath(m_path, "new", when), first + "-2");
}

TEST_F(TextFileTest, IniItemsOfAUtf8FileReadRightAndItsWritesKeepTheOriginal) {
    // "[机器人设置]" and "机器人姓名=小泽" in UTF-8, with an unknown key and a mark.
    const std::string utf8_file =
        std::string(UTF8_BOM) +
        "[\xE6\x9C\xBA\xE5\x99\xA8\xE4\xBA\xBA\xE8\xAE\xBE\xE7\xBD\xAE]\r\n"
        "\xE6\x9C\xBA\xE5\x99\xA8\xE4\xBA\xBA\xE5\xA7\x93\xE5\x90\x8D="
        "\xE5\xB0\x8F\xE6\xB3\xBD\r\n"
        "unknown=kept\r\n";
    ASSERT_TRUE(WriteFileAtomic(m_path, utf8_file));
    const std::string section =
        Utf8ToGbk("\xE6\x9C\xBA\xE5\x99\xA8\xE4\xBA\xBA\xE8\xAE\xBE\xE7\xBD\xAE");
    const std::string key =
        Utf8ToGbk("\xE6\x9C\xBA\xE5\x99\xA8\xE4\xBA\xBA\xE5\xA7\x93\xE5\x90\x8D");
    EXPECT_EQ(ReadIniItem(m_path, section, key), Utf8ToGbk("\xE5\xB0\x8F\xE6\xB3\xBD"));
    EXPECT_TRUE(ReadIniBool(m_path, section, "unknown", false));
    EXPECT_EQ(ReadIniSection(m_path, section).size(), 2u);

    ASSERT_TRUE(WriteIniItem(m_path, section, "added", "1"));
    EXPECT_EQ(ReadFile(m_path), Utf8ToGbk(utf8_file.substr(UTF8_BOM.size())) + "added=1\r\n");
    EXPECT_EQ(ReadFile(m_path + ".utf8-backup"), utf8_file);
    EXPECT_EQ(ReadFile(BackupPath(m_path)), utf8_file);
    EXPECT_EQ(ReadIniItem(m_path, section, key), Utf8ToGbk("\xE5\xB0\x8F\xE6\xB3\xBD"));

    // A file that cannot be decoded is left alone.
    const std::string utf16 = std::string("\xFF\xFE[\0s\0]\0", 8);
    ASSERT_TRUE(WriteFileAtomic(m_path, utf16));
    EXPECT_FALSE(WriteIniItem(m_path, "s", "k", "v"));
    EXPECT_EQ(ReadFile(m_path), utf16);
}

}  // namespace
}  // namespace zelmo::platform
