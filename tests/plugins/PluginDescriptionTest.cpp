#include <gtest/gtest.h>

#include <string>

#include "platform/GbkLiteral.h"
#include "plugins/PluginDescription.h"

namespace zelmo::plugins {
namespace {

using platform::Gbk;

// One entry's ten lines joined by CR LF.
std::string Entry(const std::string& name, const std::string& function = "handler",
                  const std::string& listed = "1", const std::string& account = "",
                  const std::string& prefix = "p") {
    return name + "\r\n1.0\r\nauthor\r\nintro\r\n" + prefix + "\r\nhint\r\nsuffix\r\n" + function +
           "\r\n" + listed + "\r\n" + account;
}

std::string Join(std::initializer_list<std::string> entries) {
    std::string text;
    for (const std::string& entry : entries) {
        if (!text.empty()) {
            text += ENTRY_SEPARATOR;
        }
        text += entry;
    }
    return text;
}

TEST(PluginDescriptionTest, EveryLineGoesToItsFieldAndTheFileNameToEachRecord) {
    const std::string text =
        Gbk("天气预报\r\n1.2\r\n某人\r\n查询天气\r\n天气\r\n城市\r\n\r\nweather\r\n1\r\n真") +
        std::string(ENTRY_SEPARATOR) + Entry("second", "other", "2", "1");
    const PluginTable records = ParseDescription(text, "w.mzp.so");
    ASSERT_EQ(records.size(), 2u);
    const PluginRecord& first = records[0];
    EXPECT_EQ(first.Name, Gbk("天气预报"));
    EXPECT_EQ(first.Version, "1.2");
    EXPECT_EQ(first.Author, Gbk("某人"));
    EXPECT_EQ(first.Intro, Gbk("查询天气"));
    EXPECT_EQ(first.Prefix, Gbk("天气"));
    EXPECT_EQ(first.ParamHint, Gbk("城市"));
    EXPECT_EQ(first.Suffix, "");
    EXPECT_EQ(first.Function, "weather");
    EXPECT_EQ(first.Listed, 1);
    EXPECT_TRUE(first.WantsAccount);
    EXPECT_FALSE(first.Enabled);
    EXPECT_EQ(first.FileName, "w.mzp.so");
    EXPECT_EQ(records[1].Name, "second");
    EXPECT_EQ(records[1].Listed, 2);
    EXPECT_FALSE(records[1].WantsAccount);  // "1" is not "真"
    EXPECT_EQ(records[1].FileName, "w.mzp.so");
}

TEST(PluginDescriptionTest, InvalidEntriesAreSkippedAndTheOthersStillLoad) {
    const std::string text = Join({
        Entry("ok1"),
        Entry("eleven") + "\r\nextra",
        Entry("nine").substr(0, Entry("nine").rfind("\r\n")),
        Entry(""),
        Entry("nofunction", ""),
        Entry("zero", "f", "0"),
        Entry("three", "f", "3"),
        Entry("one-space", "f", "1 "),
        "only one line",
        "",
        Entry("ok2"),
    });
    const PluginTable records = ParseDescription(text, "x.mzp.so");
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].Name, "ok1");
    EXPECT_EQ(records[1].Name, "ok2");
}

TEST(PluginDescriptionTest, RequiredLinesAreNameVersionAuthorIntroAndFunction) {
    for (int required : {0, 1, 2, 3, 7}) {
        std::string lines[10] = {"n", "v", "a", "i", "", "", "", "f", "1", ""};
        lines[required].clear();
        std::string text;
        for (int i = 0; i < 10; ++i) {
            text += (i ? "\r\n" : "") + lines[i];
        }
        EXPECT_TRUE(ParseDescription(text, "x").empty()) << "line " << required + 1;
    }
    // Prefix, hint, suffix and line 10 may all be empty.
    EXPECT_EQ(ParseDescription("n\r\nv\r\na\r\ni\r\n\r\n\r\n\r\nf\r\n2\r\n", "x").size(), 1u);
}

TEST(PluginDescriptionTest, ATrailingLineBreakClosesTheLastEntryWithoutAddingALine) {
    EXPECT_EQ(ParseDescription(Entry("a", "f", "1", Gbk("真")) + "\r\n", "x").size(), 1u);
    EXPECT_TRUE(ParseDescription(Entry("a", "f", "1", Gbk("真")), "x")[0].WantsAccount);
    // Only at the very end: an empty eleventh line inside the text still rejects its entry.
    EXPECT_EQ(ParseDescription(Join({Entry("a") + "\r\n", Entry("b")}), "x").size(), 1u);
    // A second line break adds real lines.
    EXPECT_TRUE(ParseDescription(Entry("a", "f", "1", "x") + "\r\n\r\n", "x").empty());
}

TEST(PluginDescriptionTest, BrokenTextsGiveNothingOrWhatIsValid) {
    EXPECT_TRUE(ParseDescription("", "x").empty());
    EXPECT_TRUE(ParseDescription(std::string(ENTRY_SEPARATOR), "x").empty());
    EXPECT_TRUE(ParseDescription("\n\n\n\n\n\n\n\n\n", "x").empty());  // LF is not a line break
    std::string binary(64, '\xff');
    binary[10] = '\0';
    EXPECT_TRUE(ParseDescription(binary, "x").empty());
    // Lines are not trimmed: blanks stay part of the fields.
    const PluginTable records = ParseDescription(Entry(" n ", "f", "1", "", " p "), "x");
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].Name, " n ");
    EXPECT_EQ(records[0].Prefix, " p ");
}

}  // namespace
}  // namespace zelmo::plugins
