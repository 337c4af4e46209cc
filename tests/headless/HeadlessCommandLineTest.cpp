#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "headless/HeadlessCommandLine.h"

namespace zelmo::test {
namespace {

using headless::HeadlessCommandLine;
using headless::QrScheme;

bool NoFolders(const std::string&) {
    return false;
}

bool OnlyQrFolder(const std::string& path) {
    return path == "/srv/qr";
}

HeadlessCommandLine Parse(const std::vector<std::string_view>& args,
                          std::string_view scheme_env = {},
                          bool (*is_folder)(const std::string&) = NoFolders) {
    return headless::ParseHeadlessCommandLine(args, "", "/home/bot", scheme_env, is_folder);
}

TEST(HeadlessCommandLineTest, DefaultsPutTheQrImageInTheDataRootAndDrawForADarkTerminal) {
    const HeadlessCommandLine line = Parse({});
    EXPECT_EQ(line.common.error, "");
    EXPECT_EQ(line.common.options.data_root, "/home/bot/.local/share/zelmo");
    EXPECT_EQ(line.qr_file, "/home/bot/.local/share/zelmo/qrcode.png");
    EXPECT_EQ(line.qr_scheme, QrScheme::LightOnDark);
    EXPECT_EQ(line.common.options.auto_answer, app::AutoAnswer::Ask);

    const HeadlessCommandLine in_data_dir = Parse({"--data-dir", "/var/lib/zelmo"});
    EXPECT_EQ(in_data_dir.qr_file, "/var/lib/zelmo/qrcode.png");
}

TEST(HeadlessCommandLineTest, OwnOptionsInBothFormsAndTheCommonOnesAroundThem) {
    const HeadlessCommandLine line =
        Parse({"--service", "/etc/zelmo/service.ini", "--qr-file", "/tmp/login.png",
               "--auto-answer=no", "--qr-scheme=dark-on-light", "--data-dir=/d"});
    EXPECT_EQ(line.common.error, "");
    EXPECT_EQ(line.common.options.service_file, "/etc/zelmo/service.ini");
    EXPECT_EQ(line.common.options.data_root, "/d");
    EXPECT_EQ(line.common.options.auto_answer, app::AutoAnswer::No);
    EXPECT_EQ(line.qr_file, "/tmp/login.png");
    EXPECT_EQ(line.qr_scheme, QrScheme::DarkOnLight);

    EXPECT_EQ(Parse({"--qr-file=/srv/qr"}, {}, OnlyQrFolder).qr_file, "/srv/qr/qrcode.png");
    // A value of a common option is never taken for one of ours.
    const HeadlessCommandLine odd = Parse({"--data-dir", "--qr-file"});
    EXPECT_EQ(odd.common.error, "");
    EXPECT_EQ(odd.common.options.data_root, "--qr-file");
    EXPECT_EQ(odd.qr_file, "--qr-file/qrcode.png");
}

TEST(HeadlessCommandLineTest, TheVariableChoosesTheSchemeAndTheOptionWins) {
    EXPECT_EQ(Parse({}, "dark-on-light").qr_scheme, QrScheme::DarkOnLight);
    EXPECT_EQ(Parse({"--qr-scheme", "light-on-dark"}, "dark-on-light").qr_scheme,
              QrScheme::LightOnDark);
    EXPECT_EQ(Parse({}, "purple").common.error,
              "ZELMO_QR_SCHEME takes light-on-dark or dark-on-light");
    EXPECT_EQ(Parse({"--qr-scheme", "light-on-dark"}, "purple").common.error, "");
}

TEST(HeadlessCommandLineTest, MistakesAreReportedAndHelpIsShown) {
    EXPECT_EQ(Parse({"--qr-file"}).common.error, "--qr-file needs a value");
    EXPECT_EQ(Parse({"--qr-file="}).common.error, "--qr-file needs a value");
    EXPECT_EQ(Parse({"--qr-scheme", "dark"}).common.error,
              "--qr-scheme takes light-on-dark or dark-on-light");
    EXPECT_EQ(Parse({"--window"}).common.error, "unknown argument: --window");
    EXPECT_EQ(Parse({"--auto-answer", "maybe"}).common.error, "--auto-answer takes yes or no");
    EXPECT_TRUE(Parse({"--qr-file", "/x", "--help"}).common.show_help);
    // The version is printed even where a bad scheme in the environment would stop the run.
    const HeadlessCommandLine version = Parse({"--qr-file", "/x", "--version"}, "purple");
    EXPECT_TRUE(version.common.show_version);
    EXPECT_EQ(version.common.error, "");
    const std::string usage = headless::HeadlessUsageText();
    for (const char* option :
         {"--data-dir", "--service", "--auto-answer", "--qr-file", "--qr-scheme", "--version",
          "--help", "ZELMO_QR_SCHEME", "SIGHUP", "search TEXT", "export --format", "--uin"}) {
        EXPECT_NE(usage.find(option), std::string::npos) << option;
    }
}

}  // namespace
}  // namespace zelmo::test
