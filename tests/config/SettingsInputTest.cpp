#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "config/SettingsInput.h"
#include "platform/GbkLiteral.h"

namespace zelmo::config {
namespace {

TEST(SettingsInputTest, ReplyChanceOutsideOneToHundredBecomesHundred) {
    const std::vector<std::string> outside = {
        "0",
        "-5",
        "-0",
        "101",
        "1000",
        "abc",
        "",
        "  ",
        "-",
        "99999999999999999999999",  // would overflow a naive int
        platform::Gbk("五十"),
    };
    for (const std::string& text : outside) {
        EXPECT_EQ(NormalizeReplyChance(text), "100") << text;
    }
}

TEST(SettingsInputTest, ReplyChanceInsideStaysAsItsDecimalValue) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"1", "1"},    {"50", "50"},    {"100", "100"}, {"007", "7"},
        {" 42", "42"}, {"12abc", "12"}, {"+3", "3"},    {"99.9", "99"},
    };
    for (const auto& [typed, stored] : cases) {
        EXPECT_EQ(NormalizeReplyChance(typed), stored) << typed;
    }
}

TEST(SettingsInputTest, ReplyExpiryKeepsWholeSecondsAndZeroAndElseTakesTheDefault) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"0", "0"},
        {"300", "300"},
        {" 45", "45"},
        {"007", "7"},
        {"12s", "12"},
        {"", "300"},
        {"abc", "300"},
        {"-5", "300"},
        {"+3", "300"},
        {"  ", "300"},
        {"99999999999999999999999", "9223372036854775807"},
        {platform::Gbk("五"), "300"},
    };
    for (const auto& [typed, stored] : cases) {
        EXPECT_EQ(NormalizeReplyExpiry(typed), stored) << typed;
    }
}

TEST(SettingsInputTest, ShieldListTypedOnLinesBecomesCommaSeparated) {
    EXPECT_EQ(JoinShieldLines("111\r\n222\r\n333"), "111,222,333");
    EXPECT_EQ(JoinShieldLines("111\n222\n333"), "111,222,333");
    EXPECT_EQ(JoinShieldLines("111\r222"), "111,222");
    // Breaks at the ends and blank lines would add empty items that match an empty uin.
    EXPECT_EQ(JoinShieldLines("\r\n111\r\n\r\n222\n\n333\r\n"), "111,222,333");
    EXPECT_EQ(JoinShieldLines("111,222"), "111,222");
    EXPECT_EQ(JoinShieldLines("111,222\n333"), "111,222,333");
    EXPECT_EQ(JoinShieldLines(""), "");
    EXPECT_EQ(JoinShieldLines("\r\n"), "");
}

TEST(SettingsInputTest, LineBreaksInFreeTextsBecomeTheStoredMarker) {
    EXPECT_EQ(StoredLineBreaks("a\r\nb\nc\rd"), "a[enter]b[enter]c[enter]d");
    EXPECT_EQ(StoredLineBreaks(platform::Gbk("欢迎[name]")), platform::Gbk("欢迎[name]"));
    EXPECT_EQ(StoredLineBreaks("a\r\n"), "a[enter]");
}

}  // namespace
}  // namespace zelmo::config
