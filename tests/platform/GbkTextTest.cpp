#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <random>
#include <string>
#include <vector>

#include "platform/GbkText.h"

namespace zelmo::platform {
namespace {

constexpr auto NPOS = std::string_view::npos;

TEST(GbkTextTest, TrailByteThatLooksLikeALetterIsNoMatch) {
    EXPECT_FALSE(ContainsGbk("\x81\x61", "a"));
    EXPECT_FALSE(ContainsGbk("\x81\x61", "A", true));
    EXPECT_FALSE(ContainsGbk("\x81\x41", "a", true));
    EXPECT_EQ(FindGbk("\x81\x61"
                      "a",
                      "a"),
              2U);
    EXPECT_EQ(FindGbk("\x81\x61"
                      "A",
                      "a", 0, true),
              2U);
}

TEST(GbkTextTest, TrailByteBackslashIsNoBackslash) {
    EXPECT_EQ(FindGbk("\x95\x5C"
                      "n",
                      "\\n"),
              NPOS);
    EXPECT_EQ(ReplaceAllGbk("\x95\x5C"
                            "n\\n",
                            "\\n", "X"),
              "\x95\x5C"
              "nX");
}

TEST(GbkTextTest, CaseInsensitiveReplaceNeverCrossesCharacters) {
    // "\x81\x41" is one character whose trail byte reads "A".
    EXPECT_EQ(ReplaceAllGbk("\x81\x41"
                            "B",
                            "ab", "X", true),
              "\x81\x41"
              "B");
    EXPECT_EQ(ReplaceAllGbk("xAb\x81\x41"
                            "bAB",
                            "ab", "-", true),
              "x-\x81\x41"
              "b-");
    // Chinese bytes match exactly even when ignoring case.
    EXPECT_EQ(ReplaceAllGbk("\xD6\xD0Ok\xD6\xD0ok", "\xD6\xD0OK", "!", true), "!!");
}

TEST(GbkTextTest, NeedleMatchesWholeCharactersOnly) {
    // Straddling two characters of 啊啊.
    EXPECT_EQ(FindGbk("\xB0\xA1\xB0\xA1", "\xA1\xB0"), NPOS);
    // A lone lead byte in the needle must not take the text's pair apart.
    EXPECT_EQ(FindGbk("\x81\x40", "\x81"), NPOS);
    EXPECT_EQ(FindGbk("\x81 ", "\x81"), 0U);
    // Long runs of lead-capable bytes: parity over the whole run decides.
    const std::string paired = "A" + std::string(2000, '\xA1') + "x";
    EXPECT_EQ(FindGbk(paired, "\xA1x"), NPOS);
    EXPECT_EQ(FindGbk(paired, "\xA1\xA1", 3), 3U);
    const std::string lone_last = "A" + std::string(2001, '\xA1') + "x";
    EXPECT_EQ(FindGbk(lone_last, "\xA1x"), 2001U);
    EXPECT_EQ(FindGbk("AA" + std::string(2001, '\xA1') + "x", "\xA1x", 0, true), 2002U);
}

TEST(GbkTextTest, FindStartsAtFromAndEmptyNeedle) {
    EXPECT_EQ(FindGbk("abcabc", "abc", 1), 3U);
    EXPECT_EQ(FindGbk("abc", "", 2), 2U);
    EXPECT_EQ(FindGbk("abc", "a", 4), NPOS);
    EXPECT_EQ(ReplaceAllGbk("abc", "", "X"), "abc");
    EXPECT_EQ(ReplaceAllGbk("aaaa", "aa", "b"), "bb");
    EXPECT_EQ(ReplaceAllGbk("ab", "a", "aa"), "aab");
}

TEST(GbkTextTest, BoundariesAndTruncation) {
    const std::string text =
        "\x81\x61"
        "a";
    EXPECT_TRUE(IsGbkBoundary(text, 0));
    EXPECT_FALSE(IsGbkBoundary(text, 1));
    EXPECT_TRUE(IsGbkBoundary(text, 2));
    EXPECT_TRUE(IsGbkBoundary(text, 3));
    EXPECT_FALSE(IsGbkBoundary(text, 4));
    EXPECT_TRUE(IsGbkBoundary("\x81 ", 1));  // a lone lead byte is a character

    std::string chinese = "ab";
    for (int i = 0; i < 10; ++i) {
        chinese += "\xD6\xD0";
    }
    EXPECT_EQ(TruncateGbk(chinese, 19), chinese.substr(0, 18));
    EXPECT_EQ(TruncateGbk(chinese, 20), chinese.substr(0, 20));
    EXPECT_EQ(TruncateGbk(chinese, 100), chinese);
    EXPECT_EQ(TruncateGbk("\xD6\xD0", 1), "");
}

// A plain oracle: split the text into characters from its start, then compare.
std::size_t ReferenceFind(const std::string& text, const std::string& needle, bool fold) {
    auto is_lead = [](unsigned char b) { return b >= 0x81 && b <= 0xFE; };
    auto is_trail = [](unsigned char b) { return b >= 0x40 && b <= 0xFE && b != 0x7F; };
    std::vector<std::string> chars;
    std::vector<std::size_t> starts;
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t len =
            is_lead(text[i]) && i + 1 < text.size() && is_trail(text[i + 1]) ? 2 : 1;
        starts.push_back(i);
        std::string c = text.substr(i, len);
        if (fold && len == 1) {
            c[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(c[0])));
        }
        chars.push_back(c);
        i += len;
    }
    std::vector<std::string> wanted;
    for (std::size_t i = 0; i < needle.size();) {
        const std::size_t len =
            is_lead(needle[i]) && i + 1 < needle.size() && is_trail(needle[i + 1]) ? 2 : 1;
        std::string c = needle.substr(i, len);
        if (fold && len == 1) {
            c[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(c[0])));
        }
        wanted.push_back(c);
        i += len;
    }
    for (std::size_t i = 0; i + wanted.size() <= chars.size(); ++i) {
        if (std::equal(wanted.begin(), wanted.end(), chars.begin() + i)) {
            return starts[i];
        }
    }
    return NPOS;
}

TEST(GbkTextTest, AgreesWithCharacterByCharacterSearchOnRandomTexts) {
    const std::string alphabet = "aAbB \x81\x61\x41\xB0\xA1\x7F\xFF";
    std::mt19937 random(42);
    auto make = [&](std::size_t max) {
        std::string s(random() % max + 1, ' ');
        for (char& c : s) {
            c = alphabet[random() % alphabet.size()];
        }
        return s;
    };
    for (int round = 0; round < 20000; ++round) {
        const std::string text = make(24);
        const std::string needle = make(4);
        const bool fold = round % 2 == 1;
        ASSERT_EQ(FindGbk(text, needle, 0, fold), ReferenceFind(text, needle, fold))
            << "round " << round;
    }
}

}  // namespace
}  // namespace zelmo::platform
