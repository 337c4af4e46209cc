#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "protocol/ServiceProfile.h"
#include "support/TestSupport.h"

namespace zelmo::protocol {
namespace {

TEST(ServiceProfileTest, DefaultsAreTheRealService) {
    const ServiceProfile profile;
    EXPECT_EQ(LoginHost(profile), "login.weixin.qq.com");
    EXPECT_EQ(WebHost(profile, ""), "wx.qq.com");
    EXPECT_EQ(WebHost(profile, "2"), "wx2.qq.com");
    EXPECT_EQ(PushHost(profile, ""), "webpush.weixin.qq.com");
    EXPECT_EQ(PushHost(profile, "2"), "webpush2.weixin.qq.com");
    EXPECT_EQ(FileHost(profile, ""), "file.wx.qq.com");
    EXPECT_EQ(FileHost(profile, "2"), "file.wx2.qq.com");
    EXPECT_EQ(profile.short_link_host, "url.cn");
    EXPECT_EQ(WebUrl(profile, "2"), "https://wx2.qq.com");
    EXPECT_EQ(LoginUrl(profile), "https://login.weixin.qq.com");
}

TEST(ServiceProfileTest, LoadsTheServiceSectionKeepingDefaults) {
    const test::TempDir dir;
    const std::string path = dir.Path() + "/service.ini";
    std::ofstream(path) << "[other]\nlogin_host=wrong\n"
                           "[service]\nweb_host = web{fun}.sim.test\npush_host=push{fun}.sim.test\n"
                           "port=8443\nconnect_to=127.0.0.1:8443\nca_file=/tmp/ca.pem\n";
    const ServiceProfile profile = LoadServiceProfile(path);
    EXPECT_EQ(profile.login_host, "login.weixin.qq.com");
    EXPECT_EQ(profile.short_link_host, "url.cn");
    EXPECT_EQ(WebHost(profile, "5"), "web5.sim.test");
    EXPECT_EQ(PushUrl(profile, ""), "https://push.sim.test:8443");
    // Without a file_host the file host follows the web host.
    EXPECT_EQ(FileUrl(profile, "5"), "https://file.web5.sim.test:8443");
    EXPECT_EQ(HostUrl(profile, "h"), "https://h:8443");
    const platform::WebClientConfig config = ClientConfig(profile);
    EXPECT_EQ(config.connect_to, "127.0.0.1:8443");
    EXPECT_EQ(config.ca_file, "/tmp/ca.pem");

    EXPECT_EQ(LoadServiceProfile(dir.Path() + "/missing.ini").web_host, "wx{fun}.qq.com");
    std::ofstream(path) << "[service]\nfile_host=up{fun}.sim.test\n";
    EXPECT_EQ(FileHost(LoadServiceProfile(path), "3"), "up3.sim.test");
    std::ofstream(path) << "[service]\nport=99999\n";
    EXPECT_EQ(LoadServiceProfile(path).port, 0);
    std::ofstream(path) << "[service]\nport=80x\n";
    EXPECT_EQ(LoadServiceProfile(path).port, 0);
}

TEST(ServiceProfileTest, DesktopModeIsTheDefaultAndTheFileMayChooseTheWebMode) {
    const test::TempDir dir;
    const std::string path = dir.Path() + "/service.ini";
    EXPECT_EQ(ServiceProfile{}.login_mode, LoginMode::Desktop);
    EXPECT_EQ(ServiceProfile{}.extspam, DESKTOP_EXTSPAM);
    EXPECT_EQ(DESKTOP_EXTSPAM.size(), 880u);
    std::ofstream(path) << "[service]\nlogin_mode = Web\nextspam=TOKEN\n";
    EXPECT_EQ(LoadServiceProfile(path).login_mode, LoginMode::Web);
    EXPECT_EQ(LoadServiceProfile(path).extspam, "TOKEN");
    std::ofstream(path) << "[service]\nlogin_mode=desktop\nextspam=\n";
    EXPECT_EQ(LoadServiceProfile(path).login_mode, LoginMode::Desktop);
    EXPECT_EQ(LoadServiceProfile(path).extspam, DESKTOP_EXTSPAM);
}

// A profile the user named is never replaced by the real service's hosts in silence.
TEST(ServiceProfileTest, CheckNamesWhatMakesAProfileFileUnusable) {
    const test::TempDir dir;
    const std::string path = dir.Path() + "/service.ini";
    const auto check = [&path](const std::string& text) {
        std::ofstream(path) << text;
        return CheckServiceProfile(path);
    };
    EXPECT_EQ(CheckServiceProfile(dir.Path() + "/missing.ini").problem, ProfileProblem::Unreadable);
    EXPECT_EQ(CheckServiceProfile(dir.Path() + "/missing.ini").detail, "No such file or directory");
    EXPECT_EQ(CheckServiceProfile(dir.Path()).problem, ProfileProblem::Unreadable);
    EXPECT_EQ(check("").problem, ProfileProblem::NoSection);
    EXPECT_EQ(check("[other]\nweb_host=x\n").problem, ProfileProblem::NoSection);
    EXPECT_EQ(check("[service]\nweb-host=x\nhost=y\n").problem, ProfileProblem::NoSection);
    const ProfileCheck empty_host = check("[service]\nweb_host=\n");
    EXPECT_EQ(empty_host.problem, ProfileProblem::EmptyHost);
    EXPECT_EQ(empty_host.detail, "web_host");
    const ProfileCheck mode = check("[service]\nlogin_mode=uos\n");
    EXPECT_EQ(mode.problem, ProfileProblem::BadLoginMode);
    EXPECT_EQ(mode.detail, "uos");
    EXPECT_EQ(check("[service]\nlogin_mode=web\n").problem, ProfileProblem::None);
    EXPECT_EQ(check("[service]\nport=8443\nconnect_to=127.0.0.1:8443\n").problem,
              ProfileProblem::None);
}

TEST(FunFromUrlTest, TakesTheVariantOfTheWebHost) {
    const ServiceProfile profile;
    EXPECT_EQ(FunFromUrl(profile, "https://wx2.qq.com/cgi-bin/mmwebwx-bin/webwxnewloginpage?a=1"),
              "2");
    EXPECT_EQ(FunFromUrl(profile, "https://wx.qq.com/cgi-bin/mmwebwx-bin/x?fun=new"), "");
    EXPECT_EQ(FunFromUrl(profile, "https://wx8.qq.com"), "8");
    EXPECT_EQ(FunFromUrl(profile, "https://wx2.qq.com:8443/x"), "2");
    EXPECT_EQ(FunFromUrl(profile, "HTTPS://WX2.QQ.COM?x"), "2");
}

TEST(FunFromUrlTest, OddInputGivesNoVariant) {
    const ServiceProfile profile;
    for (const std::string_view url :
         {"", "https://", "https:/", "wx2.qq.com", "http://wx2.qq.com/", "https://example.com/",
          "https://qq.com", "https://wx.evil.qq.com/", "https://wx2@evil.qq.com/",
          "https://login.weixin.qq.com/x", "https://webpush2.weixin.qq.com/"}) {
        EXPECT_EQ(FunFromUrl(profile, url), "") << url;
    }
    ServiceProfile custom;
    custom.web_host = "web{fun}.sim.test";
    EXPECT_EQ(FunFromUrl(custom, "https://web3.sim.test:4443/cgi-bin"), "3");
    EXPECT_EQ(FunFromUrl(custom, "https://wx2.qq.com/"), "");
    custom.web_host = "fixed.sim.test";
    EXPECT_EQ(FunFromUrl(custom, "https://fixed.sim.test/"), "");
    EXPECT_EQ(WebHost(custom, "9"), "fixed.sim.test");
}

}  // namespace
}  // namespace zelmo::protocol
