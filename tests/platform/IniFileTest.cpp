#include <gtest/gtest.h>

#include <random>
#include <string>

#include "platform/Files.h"
#include "platform/IniFile.h"
#include "support/TestSupport.h"

namespace zelmo::platform {
namespace {

class IniFileTest : public ::testing::Test {
protected:
    test::TempDir m_dir;
    std::string m_path = m_dir.Path() + "/mzset.ini";
};

TEST_F(IniFileTest, WriteKeepsCommentsUnknownKeysAndOtherSections) {
    ASSERT_TRUE(WriteFileAtomic(m_path,
                                "; robot settings\r\n"
                                "[General]\r\n"
                                "unknown = keep me ; not a comment\r\n"
                                "Name=old\r\n"
                                "\r\n"
                                "[Other]\r\n"
                                "Name=other\r\n"));
    ASSERT_TRUE(WriteIniItem(m_path, "general", "NAME", "new"));
    ASSERT_TRUE(WriteIniItem(m_path, "General", "added", "1"));
    EXPECT_EQ(ReadFile(m_path),
              "; robot settings\r\n"
              "[General]\r\n"
              "unknown = keep me ; not a comment\r\n"
              "Name=new\r\n"
              "added=1\r\n"
              "\r\n"
              "[Other]\r\n"
              "Name=other\r\n");
    EXPECT_EQ(ReadIniItem(m_path, "General", "unknown"), "keep me ; not a comment");
}

TEST_F(IniFileTest, MissingFileSectionOrKeyGivesDefaultAndWriteCreatesThem) {
    EXPECT_EQ(ReadIniItem(m_path, "s", "k", "fallback"), "fallback");
    ASSERT_TRUE(WriteIniItem(m_path, "s", "k", "v"));
    EXPECT_EQ(ReadFile(m_path), "[s]\r\nk=v\r\n");
    ASSERT_TRUE(WriteIniItem(m_path, "t", "k2", "w"));
    EXPECT_EQ(ReadFile(m_path), "[s]\r\nk=v\r\n[t]\r\nk2=w\r\n");
    EXPECT_EQ(ReadIniItem(m_path, "s", "missing", "d"), "d");
    EXPECT_EQ(ReadIniItem(m_path, "missing", "k", "d"), "d");

    // A file whose last line has no line break.
    ASSERT_TRUE(WriteFileAtomic(m_path, "[s]\nk=v"));
    ASSERT_TRUE(WriteIniItem(m_path, "s", "k2", "x"));
    ASSERT_TRUE(WriteIniItem(m_path, "u", "k", "y"));
    EXPECT_EQ(ReadFile(m_path), "[s]\nk=v\nk2=x\n[u]\nk=y\n");
}

TEST_F(IniFileTest, LineEndingsAndBlanks) {
    ASSERT_TRUE(WriteFileAtomic(m_path, "[a]\nk = lf value \nj=1\n"));
    EXPECT_EQ(ReadIniItem(m_path, " A ", " K "), "lf value");
    ASSERT_TRUE(WriteIniItem(m_path, "a", "j", "2"));
    EXPECT_EQ(ReadFile(m_path), "[a]\nk = lf value \nj=2\n");

    ASSERT_TRUE(WriteFileAtomic(m_path, "[a]\r\nk=\tcrlf\t\r\n"));
    EXPECT_EQ(ReadIniItem(m_path, "a", "k"), "crlf");
    EXPECT_EQ(ReadIniItem(m_path, "a", "K", "d"), "crlf");
}

TEST_F(IniFileTest, BoolRules) {
    ASSERT_TRUE(WriteFileAtomic(m_path,
                                "[b]\nzero=0\nfalse_word=\xBC\xD9\nspaced= 0 \none=1\n"
                                "text=false\nempty=\nzero_zero=00\n"));
    EXPECT_FALSE(ReadIniBool(m_path, "b", "zero", true));
    EXPECT_FALSE(ReadIniBool(m_path, "b", "false_word", true));
    EXPECT_FALSE(ReadIniBool(m_path, "b", "spaced", true));
    EXPECT_TRUE(ReadIniBool(m_path, "b", "one", false));
    EXPECT_TRUE(ReadIniBool(m_path, "b", "text", false));  // only "0" and the word count
    EXPECT_TRUE(ReadIniBool(m_path, "b", "empty", false));
    EXPECT_TRUE(ReadIniBool(m_path, "b", "zero_zero", false));
    EXPECT_TRUE(ReadIniBool(m_path, "b", "missing", true));
    EXPECT_FALSE(ReadIniBool(m_path, "b", "missing", false));
    ASSERT_TRUE(WriteIniBool(m_path, "b", "one", false));
    ASSERT_TRUE(WriteIniBool(m_path, "b", "new", true));
    EXPECT_EQ(ReadIniItem(m_path, "b", "one"), "0");
    EXPECT_EQ(ReadIniItem(m_path, "b", "new"), "1");
}

TEST_F(IniFileTest, GbkNamesCompareByCharacter) {
    // "\x81\x41" and "\x81\x61" are different characters whose trail bytes read "A"/"a";
    // "\x81\x5D" ends in a byte that reads "]".
    ASSERT_TRUE(WriteIniItem(m_path, "\x81\x41", "\xC6\xE4", "upper"));
    ASSERT_TRUE(WriteIniItem(m_path, "\x81\x61", "\xC6\xE4", "lower"));
    ASSERT_TRUE(WriteIniItem(m_path, "\x81\x5D", "\xC6\xE4", "\xD6\xD0\xCE\xC4"));
    EXPECT_EQ(ReadIniItem(m_path, "\x81\x41", "\xC6\xE4"), "upper");
    EXPECT_EQ(ReadIniItem(m_path, "\x81\x61", "\xC6\xE4"), "lower");
    EXPECT_EQ(ReadIniItem(m_path, "\x81\x5D", "\xC6\xE4"), "\xD6\xD0\xCE\xC4");
    EXPECT_EQ(ReadIniSection(m_path, "\x81\x5D").size(), 1U);
}

TEST_F(IniFileTest, RefusesWritesThatWouldCorruptTheFile) {
    ASSERT_TRUE(WriteIniItem(m_path, "s", "k", "v"));
    const std::string before = ReadFile(m_path);
    EXPECT_FALSE(WriteIniItem(m_path, "s", "k", "two\r\nlines"));
    EXPECT_FALSE(WriteIniItem(m_path, "s", "k=x", "v"));
    EXPECT_FALSE(WriteIniItem(m_path, "s", "", "v"));
    EXPECT_FALSE(WriteIniItem(m_path, "a]b", "k", "v"));
    EXPECT_EQ(ReadFile(m_path), before);
}

// Such a key would read back as a section header or a comment, and every later write
// would append another copy of it.
TEST_F(IniFileTest, RefusesKeysThatReadAsHeaderOrComment) {
    ASSERT_TRUE(WriteIniItem(m_path, "plugins", "k", "v"));
    const std::string before = ReadFile(m_path);
    for (const char* key : {"[x]", "[x", ";x", "#x", "  ;x", "\t#x"}) {
        EXPECT_FALSE(WriteIniItem(m_path, "plugins", key, "1")) << key;
        std::string text = before;
        EXPECT_FALSE(SetIniTextItem(text, "plugins", key, "1")) << key;
        EXPECT_EQ(text, before) << key;
    }
    EXPECT_EQ(ReadFile(m_path), before);
    // The same bytes later in a key are harmless and read back.
    for (const char* key : {"a[1]", "x;y", "c#"}) {
        ASSERT_TRUE(WriteIniItem(m_path, "plugins", key, "1")) << key;
        ASSERT_TRUE(WriteIniItem(m_path, "plugins", key, "0")) << key;
        EXPECT_EQ(ReadIniItem(m_path, "plugins", key), "0") << key;
    }
    EXPECT_EQ(IniTextSection(ReadFile(m_path), "plugins").size(), 4u);
}

// Only a LF ends a line: an item added after a last line that ends in a lone CR, or in
// nothing, must start a line of its own.
TEST(IniTextTest, AddsAfterALastLineWithoutItsBreak) {
    for (const std::string& ending : {std::string("\r"), std::string(""), std::string("\r\n")}) {
        std::string text = "[s]\r\na=1" + ending;
        ASSERT_TRUE(SetIniTextItem(text, "s", "b", "2"));
        EXPECT_EQ(IniTextItem(text, "s", "a"), "1") << text;
        EXPECT_EQ(IniTextItem(text, "s", "b"), "2") << text;
        EXPECT_EQ(text, "[s]\r\na=1\r\nb=2" + std::string(ending == "\r\n" ? "\r\n" : ""));
        std::string other = "[s]\r\na=1" + ending;
        ASSERT_TRUE(SetIniTextItem(other, "t", "c", "3"));
        EXPECT_EQ(IniTextItem(other, "s", "a"), "1") << other;
        EXPECT_EQ(IniTextItem(other, "t", "c"), "3") << other;
    }
}

// "[" + "\xFE" + "]" reads as "[" and one GBK character: the header would never close.
TEST_F(IniFileTest, RefusesASectionWhoseLastByteWouldSwallowTheBracket) {
    ASSERT_TRUE(WriteIniItem(m_path, "s", "k", "v"));
    const std::string before = ReadFile(m_path);
    for (const char* section : {"\xFE", "a\xB2", "\xD6\xD0\xCE"}) {
        EXPECT_FALSE(WriteIniItem(m_path, section, "k", "v")) << section;
    }
    EXPECT_EQ(ReadFile(m_path), before);
    // Whole characters at the end are fine, "]" as a trail byte inside included.
    for (const char* section : {"\xD6\xD0", "\xFE]x", "\xB2\x01"}) {
        ASSERT_TRUE(WriteIniItem(m_path, section, "k", "1")) << section;
        ASSERT_TRUE(WriteIniItem(m_path, section, "k", "2")) << section;
        EXPECT_EQ(ReadIniItem(m_path, section, "k"), "2") << section;
    }

    // An existing path that cannot be read is not replaced.
    const std::string folder = m_dir.Path() + "/folder.ini";
    ASSERT_TRUE(MakeDirectories(folder));
    EXPECT_FALSE(WriteIniItem(folder, "s", "k", "v"));
}

TEST_F(IniFileTest, FirstSectionAndKeyWinAndSectionListsInOrder) {
    ASSERT_TRUE(WriteFileAtomic(m_path,
                                "orphan=0\n[p]\nb=2\n;c=comment\na=1\nb=3\nno equals\n"
                                "[q]\nz=9\n[P]\nlate=1\n"));
    EXPECT_EQ(ReadIniItem(m_path, "p", "b"), "2");
    EXPECT_EQ(ReadIniItem(m_path, "p", "late", "d"), "d");
    EXPECT_EQ(ReadIniItem(m_path, "p", "orphan", "d"), "d");
    const std::vector<IniEntry> entries = ReadIniSection(m_path, "P");
    ASSERT_EQ(entries.size(), 3U);
    EXPECT_EQ(entries[0].key, "b");
    EXPECT_EQ(entries[1].key, "a");
    EXPECT_EQ(entries[2].value, "3");
    ASSERT_TRUE(WriteIniItem(m_path, "p", "B", "4"));
    EXPECT_EQ(ReadIniItem(m_path, "p", "b"), "4");
    EXPECT_EQ(ReadIniSection(m_path, "p")[2].value, "3");
}

TEST(IniTextTest, SettingAnItemOnAnyTextChangesThatItemOnly) {
    const std::vector<std::string> pool = {"[s]",        " [S] ", "[t]",   "[s", "k=1",
                                           " K = 2 ",    "x=3",   "; k=c", "",   "junk",
                                           "[\x81\x5D]", "=v",    "k"};
    std::mt19937 random(11);
    for (int round = 0; round < 5000; ++round) {
        const std::string line_break = round % 2 == 0 ? "\n" : "\r\n";
        std::string text;
        const std::size_t lines = random() % 8;
        for (std::size_t i = 0; i < lines; ++i) {
            text += pool[random() % pool.size()];
            if (i + 1 < lines || random() % 2 == 0) {
                text += line_break;
            }
        }
        const std::vector<IniEntry> other_before = IniTextSection(text, "t");
        const std::string x_before = IniTextItem(text, "s", "x", "none");
        std::string changed = text;
        ASSERT_TRUE(SetIniTextItem(changed, "s", "k", "v")) << text;
        ASSERT_EQ(IniTextItem(changed, "s", "k"), "v") << text;
        ASSERT_EQ(IniTextItem(changed, "s", "x", "none"), x_before) << text;
        const std::vector<IniEntry> other_after = IniTextSection(changed, "t");
        ASSERT_EQ(other_after.size(), other_before.size()) << text;
        for (std::size_t i = 0; i < other_after.size(); ++i) {
            ASSERT_EQ(other_after[i].value, other_before[i].value) << text;
        }
        ASSERT_LE(changed.size(), text.size() + 10 + 2 * line_break.size()) << text;
    }
}

}  // namespace
}  // namespace zelmo::platform
