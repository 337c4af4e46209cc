#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/Regex.h"

namespace zelmo::platform {
namespace {

using Strings = std::vector<std::string>;

TEST(RegexTest, NonGreedyFindAllInOrderAcrossLines) {
    const std::string answer =
        "{\n\"MsgId\": \"1\",\n\"Content\": \"a\",\n\"Ticket\": \"t1\"\n},\n"
        "{\n\"MsgId\": \"2\",\n\"Content\": \"b\",\n\"Ticket\": \"t2\"\n}";
    const Strings matches = FindAllMatches(answer, "MsgId.*?Ticket\": \".*?\"");
    ASSERT_EQ(matches.size(), 2U);
    EXPECT_EQ(matches[0], "MsgId\": \"1\",\n\"Content\": \"a\",\n\"Ticket\": \"t1\"");
    EXPECT_EQ(matches[1].substr(0, 12), "MsgId\": \"2\",");
    EXPECT_EQ(FindAllMatches("a\nb", "a.b"), Strings{"a\nb"});
}

TEST(RegexTest, BytesAreLatin1AndCaseMatters) {
    // GBK text is not UTF-8; each byte is one character to the engine.
    EXPECT_EQ(FindAllMatches("x\xB0\xA1y", "x..y"), Strings{"x\xB0\xA1y"});
    EXPECT_EQ(FindAllMatches("\xD6\xD0 \xD6\xD0", "\xD6\xD0"), (Strings{"\xD6\xD0", "\xD6\xD0"}));
    EXPECT_TRUE(FindAllMatches("abc", "ABC").empty());
    const std::string span = "<span class=\"emoji emoji1f604\"></span>";
    EXPECT_EQ(FindAllMatches("hi" + span, "span.*?span"),
              Strings{"span class=\"emoji emoji1f604\"></span"});
}

TEST(RegexTest, QuotedLiteralMatchesItselfOnly) {
    const std::string literal =
        "\x95\x5C"
        "d+(1)";  // a trail byte 0x5C, then metacharacters
    const Strings matches = FindAllMatches("x" + literal +
                                               "y\x95"
                                               "123(1)",
                                           QuoteRegex(literal));
    EXPECT_EQ(matches, Strings{literal});
    EXPECT_EQ(FindAllMatches("a.b axb", QuoteRegex("a.b")), Strings{"a.b"});
    const std::string with_nul("a\0b", 3);
    EXPECT_EQ(FindAllMatches("xa" + std::string(1, '\0') + "b", QuoteRegex(with_nul)),
              Strings{with_nul});
}

TEST(RegexTest, InvalidPatternFindsNothing) {
    const Regex invalid("(unclosed");
    EXPECT_FALSE(invalid.Valid());
    EXPECT_TRUE(invalid.FindAll("(unclosed").empty());
    EXPECT_TRUE(FindAllMatches("abc", "a{2,1}").empty());
}

TEST(RegexTest, EmptyMatchesAdvanceOneByte) {
    const Regex stars("a*");
    const std::vector<std::string_view> matches = stars.FindAll("baab");
    ASSERT_EQ(matches.size(), 4U);
    EXPECT_EQ(matches[0], "");
    EXPECT_EQ(matches[1], "aa");
    EXPECT_EQ(matches[2], "");  // before the last "b"
    EXPECT_EQ(matches[3], "");  // at the end
    EXPECT_EQ(Regex("x*").FindAll("").size(), 1U);
}

TEST(RegexTest, MovedRegexKeepsWorking) {
    Regex first("b+");
    Regex second = std::move(first);
    EXPECT_TRUE(second.Valid());
    EXPECT_EQ(second.FindAll("abbbc").at(0), "bbb");
}

}  // namespace
}  // namespace zelmo::platform
