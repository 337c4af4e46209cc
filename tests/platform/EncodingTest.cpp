#include <gtest/gtest.h>

#include <random>
#include <string>

#include "platform/Encoding.h"

namespace zelmo::platform {
namespace {

const std::string gbk_zhongwen = "\xD6\xD0\xCE\xC4";           // 中文
const std::string utf8_zhongwen = "\xE4\xB8\xAD\xE6\x96\x87";  // 中文
const std::string utf8_grinning = "\xF0\x9F\x98\x80";          // U+1F600
const std::string utf8_trademark = "\xE2\x84\xA2";             // U+2122, not in GBK

TEST(EncodingTest, ChineseAndAsciiRoundTrip) {
    EXPECT_EQ(GbkToUtf8(gbk_zhongwen), utf8_zhongwen);
    EXPECT_EQ(Utf8ToGbk(utf8_zhongwen), gbk_zhongwen);
    // The euro sign is GBK's single byte 0x80.
    EXPECT_EQ(GbkToUtf8("\x80"), "\xE2\x82\xAC");
    EXPECT_EQ(Utf8ToGbk("\xE2\x82\xAC"), "\x80");

    // Chinese at every offset around the 8-byte ASCII fast path.
    std::mt19937 random(7);
    std::string gbk;
    std::string utf8;
    for (int piece = 0; piece < 2000; ++piece) {
        const std::string ascii(random() % 19, static_cast<char>('a' + random() % 26));
        gbk += ascii + gbk_zhongwen;
        utf8 += ascii + utf8_zhongwen;
    }
    EXPECT_EQ(GbkToUtf8(gbk), utf8);
    EXPECT_EQ(Utf8ToGbk(utf8), gbk);
}

TEST(EncodingTest, EveryDecodableGbkPairEncodesBackToItself) {
    int mapped = 0;
    for (int lead = 0x81; lead <= 0xFE; ++lead) {
        for (int trail = 0x40; trail <= 0xFE; ++trail) {
            if (trail == 0x7F) {
                continue;
            }
            const std::string pair{static_cast<char>(lead), static_cast<char>(trail)};
            const std::string utf8 = GbkToUtf8(pair);
            if (utf8 == "?") {
                continue;
            }
            ++mapped;
            ASSERT_EQ(Utf8ToGbk(utf8), pair) << std::hex << lead << " " << trail;
        }
    }
    EXPECT_GT(mapped, 21000);  // GBK holds about 21 900 two-byte characters
}

TEST(EncodingTest, EachUnmappableCharacterBecomesOneQuestionMark) {
    EXPECT_EQ(Utf8ToGbk("a" + utf8_grinning + "b" + utf8_trademark + "c"), "a?b?c");
    EXPECT_EQ(Utf8ToGbk(utf8_grinning + utf8_grinning + utf8_grinning), "???");
    EXPECT_EQ(Utf8ToGbk(utf8_grinning + utf8_zhongwen), "?" + gbk_zhongwen);
    // The dropping form leaves them out and keeps a "?" that was written.
    EXPECT_EQ(
        Utf8ToGbkDropping("a" + utf8_grinning + "b?" + utf8_trademark + "\x80" + utf8_zhongwen),
        "ab?" + gbk_zhongwen);
}

TEST(EncodingTest, InvalidUtf8GivesQuestionMarksAndKeepsWhatFollows) {
    EXPECT_EQ(Utf8ToGbk("\x80x"), "?x");                 // stray continuation byte
    EXPECT_EQ(Utf8ToGbk("\xE4\xB8x"), "?x");             // cut sequence: one "?"
    EXPECT_EQ(Utf8ToGbk("x\xE4\xB8"), "x?");             // cut at the very end
    EXPECT_EQ(Utf8ToGbk("\xC0\xAFx"), "??x");            // overlong "/"
    EXPECT_EQ(Utf8ToGbk("\xED\xA0\x80x"), "???x");       // a surrogate
    EXPECT_EQ(Utf8ToGbk("\xF5\x80\x80\x80x"), "????x");  // above U+10FFFF
    EXPECT_EQ(Utf8ToGbk("\xFF"), "?");
}

TEST(EncodingTest, InvalidGbkGivesQuestionMarks) {
    EXPECT_EQ(GbkToUtf8("x\x81"), "x?");    // lead byte at the end
    EXPECT_EQ(GbkToUtf8("\x81 x"), "? x");  // lead byte before a non-trail byte
    EXPECT_EQ(GbkToUtf8("\xFFx"), "?x");
    EXPECT_EQ(GbkToUtf8("\x81\x7F"), "?\x7F");  // 0x7F is no trail byte
}

TEST(EncodingTest, ConversionsEndAtTheFirstNul) {
    EXPECT_EQ(Utf8ToGbk(std::string("ab\0"
                                    "cd",
                                    5)),
              "ab");
    EXPECT_EQ(GbkToUtf8(std::string("\xD6\xD0\0\xCE\xC4", 5)), "\xE4\xB8\xAD");
    EXPECT_EQ(Utf8ToGbk(std::string("\0", 1)), "");
    EXPECT_EQ(GbkToUtf8(""), "");
}

}  // namespace
}  // namespace zelmo::platform
