#include <gtest/gtest.h>

#include "app/CommandLine.h"
#include "app/StatusLine.h"
#include "platform/GbkLiteral.h"

namespace zelmo::app {
namespace {

CommandLine Parse(const std::vector<std::string_view>& args) {
    return ParseCommandLine(args, "/xdg", "/home/me");
}

TEST(CommandLineTest, DefaultsFollowXdgThenHome) {
    EXPECT_EQ(ParseCommandLine({}, "/xdg", "/home/me").options.data_root, "/xdg/zelmo");
    EXPECT_EQ(ParseCommandLine({}, "", "/home/me").options.data_root,
              "/home/me/.local/share/zelmo");
    // A relative XDG value is not a base directory.
    EXPECT_EQ(ParseCommandLine({}, "rel", "/home/me").options.data_root,
              "/home/me/.local/share/zelmo");
    // The program's own files go the same way; without any home there are none.
    EXPECT_EQ(EventLogFile("/st", "/home/me"), "/st/zelmo/zelmo.log");
    EXPECT_EQ(EventLogFile("rel", "/home/me"), "/home/me/.local/state/zelmo/zelmo.log");
    EXPECT_EQ(EventLogFile("", ""), "");
    EXPECT_EQ(WindowPlacesFile("/cfg", "/home/me"), "/cfg/zelmo/windows.ini");
    EXPECT_EQ(WindowPlacesFile("", "/home/me"), "/home/me/.config/zelmo/windows.ini");
    const CommandLine plain = Parse({});
    EXPECT_TRUE(plain.error.empty());
    EXPECT_TRUE(plain.options.service_file.empty());
    EXPECT_EQ(plain.options.auto_answer, AutoAnswer::Ask);
    EXPECT_FALSE(plain.show_help);
    EXPECT_FALSE(plain.show_version);
}

TEST(CommandLineTest, ReadsEveryOptionInBothSpellings) {
    const CommandLine spaced =
        Parse({"--data-dir", "/d", "--service", "/s.ini", "--auto-answer", "yes"});
    EXPECT_TRUE(spaced.error.empty());
    EXPECT_EQ(spaced.options.data_root, "/d");
    EXPECT_EQ(spaced.options.service_file, "/s.ini");
    EXPECT_EQ(spaced.options.auto_answer, AutoAnswer::Yes);

    const CommandLine joined = Parse({"--data-dir=/e", "--auto-answer=no"});
    EXPECT_TRUE(joined.error.empty());
    EXPECT_EQ(joined.options.data_root, "/e");
    EXPECT_EQ(joined.options.auto_answer, AutoAnswer::No);
    EXPECT_TRUE(Parse({"--help"}).show_help);

    const CommandLine version = Parse({"--data-dir", "/d", "--version"});
    EXPECT_TRUE(version.error.empty());
    EXPECT_TRUE(version.show_version);
    EXPECT_FALSE(version.show_help);
    // "--version" is a flag: it never takes the next argument as its value.
    EXPECT_EQ(Parse({"--version", "--data-dir", "/f"}).options.data_root, "/f");
    EXPECT_FALSE(Parse({"--version=1"}).error.empty());
    const std::string usage = UsageText();
    for (const char* option : {"--data-dir", "--service", "--auto-answer", "--version", "--help"}) {
        EXPECT_NE(usage.find(option), std::string::npos) << option;
    }
}

TEST(CommandLineTest, RejectsWhatItDoesNotKnow) {
    EXPECT_FALSE(Parse({"--verbose"}).error.empty());
    EXPECT_FALSE(Parse({"--service"}).error.empty());
    EXPECT_FALSE(Parse({"--data-dir="}).error.empty());
    EXPECT_FALSE(Parse({"--auto-answer", "maybe"}).error.empty());
    EXPECT_FALSE(Parse({"stray"}).error.empty());
}

TEST(StatusLineTest, CutsAtNineteenBytesOnCharacterBoundaries) {
    EXPECT_EQ(StatusLine(std::string(18, 'a')), std::string(18, 'a'));
    EXPECT_EQ(StatusLine(std::string(19, 'a')), std::string(16, 'a') + "...");
    // Eight two-byte characters and "xyz": the 16th byte ends a character.
    const std::string chinese = platform::Gbk("微信机器人载入中") + "xyz";
    ASSERT_EQ(chinese.size(), 19u);
    EXPECT_EQ(StatusLine(chinese), platform::Gbk("微信机器人载入中") + "...");
    // One ASCII byte in front: the 16th byte would split a character, so 15 stay.
    const std::string shifted = "a" + platform::Gbk("微信机器人载入中") + "xy";
    ASSERT_EQ(shifted.size(), 19u);
    EXPECT_EQ(StatusLine(shifted), "a" + platform::Gbk("微信机器人载入") + "...");
}

}  // namespace
}  // namespace zelmo::app
