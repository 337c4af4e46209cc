#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "platform/Regex.h"
#include "protocol/TextHelpers.h"
#include "support/FakeClock.h"

namespace zelmo::protocol {
namespace {

// GBK "丂" (0x81 0x41): its trail byte reads as the ASCII letter "A".
constexpr std::string_view TRAIL_A = "\x81\x41";
// A GBK character whose trail byte is 0x5D, the bracket "]".
constexpr std::string_view TRAIL_BRACKET = "\x81\x5D";

TEST(ExtractBetweenTest, CutsBetweenMarkersAndNeedsBoth) {
    EXPECT_EQ(ExtractBetween("<skey>abc</skey>", "<skey>", "</skey>"), "abc");
    EXPECT_EQ(ExtractBetween("\"Sex\": 1,\n", "\"Sex\": ", ","), "1");
    EXPECT_EQ(ExtractBetween("<skey>abc", "<skey>", "</skey>"), "");
    EXPECT_EQ(ExtractBetween("abc</skey>", "<skey>", "</skey>"), "");
    EXPECT_EQ(ExtractBetween("<a></a>", "<a>", "</a>"), "");
    EXPECT_EQ(ExtractBetween("", "<a>", "</a>"), "");
}

TEST(ExtractBetweenTest, StartCountsFromOneAndBoundsTheSearch) {
    const std::string text = "k=1;k=2;";
    EXPECT_EQ(ExtractBetween(text, "k=", ";", 1), "1");
    EXPECT_EQ(ExtractBetween(text, "k=", ";", 0), "1");
    EXPECT_EQ(ExtractBetween(text, "k=", ";", 2), "2");
    EXPECT_EQ(ExtractBetween(text, "k=", ";", 5), "2");
    EXPECT_EQ(ExtractBetween(text, "k=", ";", 6), "");
    EXPECT_EQ(ExtractBetween(text, "k=", ";", text.size()), "");
    EXPECT_EQ(ExtractBetween(text, "k=", ";", text.size() + 1), "");
    EXPECT_EQ(ExtractBetween(text, "k=", ";", std::string::npos), "");
}

TEST(ExtractBetweenTest, AfterMarkerIsNeverATrailByte) {
    // The "]" inside the nickname's character must not end the list early.
    const std::string text = std::string("[x") + std::string(TRAIL_BRACKET) + "y]z";
    EXPECT_EQ(ExtractBetween(text, "[", "]"), std::string("x") + std::string(TRAIL_BRACKET) + "y");
    const std::string letters = std::string(TRAIL_A) + "B=1;AB=2;";
    EXPECT_EQ(ExtractBetween(letters, "AB=", ";"), "2");
}

TEST(TextAfterTest, FoldsAsciiCaseAndRespectsCharacters) {
    EXPECT_EQ(TextAfter("\"Val\": 123\n", "\"val\": "), "123\n");
    EXPECT_EQ(TextAfter("a WINDOW.code=200;", "window.CODE="), "200;");
    EXPECT_EQ(TextAfter("abc", "x"), "");
    EXPECT_EQ(TextAfter("abc", ""), "abc");
    // "a" folded must not match the trail byte 0x41 of the GBK character.
    const std::string text = std::string(TRAIL_A) + "bc|abc|tail";
    EXPECT_EQ(TextAfter(text, "abc|"), "tail");
}

TEST(TextBeforeTest, TakesTextUpToMarkerFromStart) {
    EXPECT_EQ(TextBefore("sender:<br/>hello", ":<br/>"), "sender");
    EXPECT_EQ(TextBefore("no marker here", ":<br/>"), "");
    EXPECT_EQ(TextBefore("a,b,c", ",", 3), "a,b");
    EXPECT_EQ(TextBefore("a,b,c", ",", 0), "a");
    EXPECT_EQ(TextBefore("a,b,c", ",", 99), "");
    EXPECT_EQ(TextBefore("Hello World", "WORLD", 0, true), "Hello ");
    EXPECT_EQ(TextBefore("Hello World", "WORLD", 0, false), "");
    const std::string text = std::string(TRAIL_A) + ":x A:";
    EXPECT_EQ(TextBefore(text, "A:"), std::string(TRAIL_A) + ":x ");
}

TEST(TimeStampTest, UnixMillisecondsWithRandomMillisecondPart) {
    test::FakeClock clock(1'700'000'000'123);
    clock.ScriptRandom({7, 999});
    EXPECT_EQ(TimeStamp(clock), "1700000000007");
    clock.Advance(500);
    EXPECT_EQ(TimeStamp(clock), "1700000000999");
}

TEST(TimeStampTest, TwoStampsInOneSecondShareAllButTheLastThreeDigits) {
    test::FakeClock clock(1'700'000'000'000);
    const std::string first = TimeStamp(clock);
    clock.Advance(999);
    const std::string second = TimeStamp(clock);
    ASSERT_EQ(first.size(), 13U);
    ASSERT_EQ(second.size(), 13U);
    EXPECT_EQ(first.substr(0, 10), second.substr(0, 10));
}

TEST(TimeStampTest, MatchesTheWallClockInAnyTimeZone) {
    const char* old_tz = std::getenv("TZ");
    const std::string saved = old_tz ? old_tz : "";
    setenv("TZ", "America/New_York", 1);
    tzset();
    platform::SystemClock clock;
    const std::int64_t before_s = clock.UnixMs() / 1000;
    const std::string stamp = TimeStamp(clock);
    const std::int64_t after_s = clock.UnixMs() / 1000;
    if (old_tz) {
        setenv("TZ", saved.c_str(), 1);
    } else {
        unsetenv("TZ");
    }
    tzset();
    ASSERT_EQ(stamp.size(), 13U);
    const std::int64_t stamp_s = std::stoll(stamp) / 1000;
    EXPECT_GE(stamp_s, before_s);
    EXPECT_LE(stamp_s, after_s);
}

TEST(StripSpanTagsTest, RemovesEmojiElementsAndQuestionMarks) {
    EXPECT_EQ(StripSpanTags("Tom<span class=\"emoji emoji1f639\"></span>!"), "Tom!");
    EXPECT_EQ(StripSpanTags("<span class=\"emoji emoji1f639\"></span>a"
                            "<span class=\"emoji emoji1f604\"></span>b"
                            "<span class=\"emoji emoji1f639\"></span>c"),
              "abc");
    EXPECT_EQ(StripSpanTags("who?"), "who");
    EXPECT_EQ(StripSpanTags("a?b??"), "ab");
    EXPECT_EQ(StripSpanTags("plain"), "plain");
    EXPECT_EQ(StripSpanTags(""), "");
    // A match that is not wrapped as an element leaves the text alone.
    EXPECT_EQ(StripSpanTags("span and span"), "span and span");
}

TEST(StripSpanTagsTest, KeepsGbkTextAroundTheElement) {
    const std::string name = "\xD6\xD0<span class=\"emoji emoji1f604\"></span>\xCE\xC4?";
    EXPECT_EQ(StripSpanTags(name), "\xD6\xD0\xCE\xC4");
}

// The elements are the matches of "span.*?span" (non-greedy, "." any byte): each "<" +
// match + ">" goes, the longest first where several begin at one "<".
std::string StripByPattern(std::string_view text) {
    const std::vector<std::string> matches = platform::FindAllMatches(text, "span.*?span");
    std::string out;
    std::size_t pos = 0;
    while (pos < text.size()) {
        if (text[pos] == '?') {
            ++pos;
            continue;
        }
        std::size_t removed = 0;
        for (const std::string& match : matches) {
            const std::size_t close = pos + 1 + match.size();
            if (text[pos] == '<' && text.substr(pos + 1).starts_with(match) &&
                close < text.size() && text[close] == '>') {
                removed = std::max(removed, match.size() + 2);
            }
        }
        if (removed != 0) {
            pos += removed;
            continue;
        }
        out.push_back(text[pos++]);
    }
    return out;
}

TEST(StripSpanTagsTest, FindsTheElementsTheNonGreedyPatternMatches) {
    const std::string pieces[] = {"span", "<span", "span>", "<",  ">",       "sp",      "an",
                                  "?",    "x",     "\xb0",  "\n", "</span>", "<span a>"};
    std::mt19937 random(11);
    for (int round = 0; round < 3000; ++round) {
        std::string text;
        const int count = 1 + static_cast<int>(random() % 30);
        for (int i = 0; i < count; ++i) {
            text += pieces[random() % std::size(pieces)];
        }
        ASSERT_EQ(StripSpanTags(text), StripByPattern(text)) << text;
    }
}

TEST(StripSpanTagsTest, StaysFastOnManyDistinctSpans) {
    std::string text;
    for (int i = 0; i < 20000; ++i) {
        text += "<span class=\"emoji emoji" + std::to_string(i) + "\"></span>x";
    }
    EXPECT_EQ(StripSpanTags(text), std::string(20000, 'x'));
}

TEST(IntegerValueTest, ReadsTheLeadingNumberAndSaturates) {
    EXPECT_EQ(IntegerValue("42"), 42);
    EXPECT_EQ(IntegerValue(" 7,"), 7);
    EXPECT_EQ(IntegerValue("-3x"), -3);
    EXPECT_EQ(IntegerValue("+5"), 5);
    EXPECT_EQ(IntegerValue(""), 0);
    EXPECT_EQ(IntegerValue("abc"), 0);
    EXPECT_EQ(IntegerValue("99999999999999999999999"), std::numeric_limits<long long>::max());
    EXPECT_EQ(IntegerValue("-99999999999999999999999"), -std::numeric_limits<long long>::max());
}

TEST(DecodeHtmlEntitiesTest, NamesReadAsTheirCharactersInOnePass) {
    EXPECT_EQ(DecodeHtmlEntities("Carol &amp; &lt;Co&gt;"), "Carol & <Co>");
    EXPECT_EQ(DecodeHtmlEntities("&quot;B&quot; &#39;x&apos; &#60;&#x3E;"), "\"B\" 'x' <>");
    // One pass: an escaped entity comes out as the entity's text.
    EXPECT_EQ(DecodeHtmlEntities("&amp;lt;"), "&lt;");
    // A numeric entity outside ASCII becomes GBK ("中" is U+4E2D).
    EXPECT_EQ(DecodeHtmlEntities("&#20013;"), "\xd6\xd0");
    for (const char* kept : {"a & b", "&unknown;", "&;", "&#;", "&#xZZ;", "&#0;", "&#55296;",
                             "&#99999999;", "trailing &", "&amp"}) {
        EXPECT_EQ(DecodeHtmlEntities(kept), kept) << kept;
    }
    // A GBK trail byte that looks like "&" (0x26 is no trail byte) cannot occur; a lead byte
    // followed by "&" keeps both.
    EXPECT_EQ(DecodeHtmlEntities("\xd6\xd0&amp;"), "\xd6\xd0&");
}

}  // namespace
}  // namespace zelmo::protocol
