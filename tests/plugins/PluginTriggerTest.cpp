#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "platform/GbkLiteral.h"
#include "plugins/PluginTrigger.h"

namespace zelmo::plugins {
namespace {

using platform::Gbk;

PluginRecord Trigger(std::string prefix, std::string hint, std::string suffix) {
    PluginRecord record;
    record.Prefix = std::move(prefix);
    record.ParamHint = std::move(hint);
    record.Suffix = std::move(suffix);
    return record;
}

TEST(PluginTriggerTest, ABlankPrefixSeesEveryMessageWhole) {
    EXPECT_EQ(SelectArgument(Trigger("", "", ""), "anything"), "anything");
    EXPECT_EQ(SelectArgument(Trigger("  ", "hint", "]"), "a[b]c"), "a[b]c");
    EXPECT_EQ(SelectArgument(Trigger("", "", ""), ""), "");
}

TEST(PluginTriggerTest, APrefixAloneMatchesIgnoringCaseAndPassesTheWholeMessage) {
    EXPECT_EQ(SelectArgument(Trigger("hello", "", ""), "Hello"), "Hello");
    EXPECT_EQ(SelectArgument(Trigger("hello", " ", "\t"), "say HELLO there"), "say HELLO there");
    EXPECT_EQ(SelectArgument(Trigger("hello", "", ""), "hell o"), std::nullopt);
}

TEST(PluginTriggerTest, APrefixWithAHintPassesWhatFollowsItsFirstOccurrence) {
    const PluginRecord weather = Trigger(Gbk("天气"), Gbk("城市"), "");
    EXPECT_EQ(SelectArgument(weather, Gbk("天气北京")), Gbk("北京"));
    EXPECT_EQ(SelectArgument(weather, Gbk("天气")), "");  // empty, but still offered
    EXPECT_EQ(SelectArgument(weather, Gbk("今天天气上海天气")), Gbk("上海天气"));
    EXPECT_EQ(SelectArgument(weather, Gbk("北京")), std::nullopt);
    EXPECT_EQ(SelectArgument(Trigger("Go", "x", ""), "let's go home"), " home");
}

TEST(PluginTriggerTest, APrefixAndSuffixPassTheTextBetweenWithCaseKept) {
    const PluginRecord bracket = Trigger("[", "", "]");
    EXPECT_EQ(SelectArgument(bracket, "a[b]c"), "b");
    EXPECT_EQ(SelectArgument(bracket, "a[]c"), std::nullopt);
    EXPECT_EQ(SelectArgument(bracket, "a[b"), std::nullopt);
    EXPECT_EQ(SelectArgument(bracket, "a]b[c"), std::nullopt);  // no "]" after the "["
    EXPECT_EQ(SelectArgument(bracket, "[x][y]"), "x");
    EXPECT_EQ(SelectArgument(Trigger("<A>", "", "</A>"), "<a>b</a>"), std::nullopt);
    EXPECT_EQ(SelectArgument(Trigger("<A>", "", "</A>"), "<A>b</A>"), "b");
}

TEST(PluginTriggerTest, SearchesUseTheUntrimmedFieldsAndGbkCharacterBoundaries) {
    EXPECT_EQ(SelectArgument(Trigger(" hi", "", ""), "hi there"), std::nullopt);
    EXPECT_EQ(SelectArgument(Trigger(" hi", "", ""), "oh hi"), "oh hi");
    // A trail byte may look like '[': "羀" is 0xC1 0x5B in GBK.
    const std::string trail_bracket = "\xc1\x5b";
    EXPECT_EQ(SelectArgument(Trigger("[", "", "]"), trail_bracket + "b]"), std::nullopt);
    // ASCII folding never folds a trail byte that looks like a letter ("谹" is 0xD8 0x41).
    EXPECT_EQ(SelectArgument(Trigger("a", "", ""), "\xd8\x41"), std::nullopt);
}

}  // namespace
}  // namespace zelmo::plugins
