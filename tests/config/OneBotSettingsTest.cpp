// The [OneBot] section: read with its defaults, written back keeping every other line, and
// a listener that other machines can reach is refused without an access token.
#include <gtest/gtest.h>

#include "config/OneBotSettings.h"
#include "platform/Encoding.h"
#include "platform/Files.h"
#include "platform/GbkLiteral.h"
#include "support/TestSupport.h"

namespace zelmo::test {
namespace {

using platform::Gbk;

TEST(OneBotSettingsTest, ReadsTheDefaultsAndWritesTheSectionKeepingTheRestOfTheFile) {
    TempDir dir;
    const std::string path = dir.Path() + "/mzset.ini";
    EXPECT_EQ(config::LoadOneBotSettings(path), config::OneBotSettings());
    const config::OneBotSettings defaults;
    EXPECT_FALSE(defaults.启用);
    EXPECT_EQ(defaults.心跳间隔, "5000");
    EXPECT_EQ(defaults.重连间隔, "3000");
    EXPECT_EQ(defaults.事件缓冲, "1000");

    const std::string before =
        Gbk("; 注释\r\n[回复设置]\r\n启用回复=1\r\n[OneBot]\r\n未知=留着\r\nHTTP事件=假\r\n");
    ASSERT_TRUE(platform::WriteFileAtomic(path, before));
    EXPECT_FALSE(config::LoadOneBotSettings(path).HTTP事件);

    config::OneBotSettings settings;
    settings.启用 = true;
    settings.WS地址 = "127.0.0.1:6700";
    settings.反向WS = "ws://127.0.0.1:8080/onebot/v12/";
    settings.访问令牌 = Gbk("令牌");
    settings.接管回复 = true;
    settings.HTTP事件 = true;
    settings.文件目录 = "/srv/bot";
    ASSERT_TRUE(config::SaveOneBotSettings(path, settings));
    EXPECT_EQ(config::LoadOneBotSettings(path), settings);
    const std::string after = platform::ReadFile(path);
    EXPECT_NE(after.find(Gbk("; 注释\r\n[回复设置]\r\n启用回复=1\r\n")), std::string::npos);
    EXPECT_NE(after.find(Gbk("未知=留着")), std::string::npos);
    EXPECT_NE(after.find(Gbk("访问令牌=令牌")), std::string::npos);
}

TEST(OneBotSettingsTest, AListenerOthersCanReachNeedsATokenAndWhatIsRefusedIsTurnedOff) {
    config::OneBotSettings settings;
    settings.启用 = true;
    settings.HTTP地址 = "0.0.0.0:5700";
    settings.WS地址 = "[::1]:6700";
    settings.反向WS = "wss://example.com/ws";
    settings.Webhook = "http://192.168.1.5/hook;https://example.com/hook";
    settings.重连间隔 = "0";
    const std::vector<config::OneBotSettingsError> errors = config::CheckOneBotSettings(settings);
    ASSERT_EQ(errors.size(), 4U);
    EXPECT_EQ(errors[0].key, Gbk("HTTP地址"));
    EXPECT_NE(errors[0].text.find(Gbk("访问令牌")), std::string::npos);
    EXPECT_EQ(errors[1].key, Gbk("反向WS"));
    EXPECT_EQ(errors[2].key, Gbk("Webhook"));
    EXPECT_EQ(errors[3].key, Gbk("重连间隔"));
    const config::OneBotSettings sound = config::WithoutRefused(settings, errors);
    EXPECT_EQ(sound.HTTP地址, "");
    EXPECT_EQ(sound.WS地址, "[::1]:6700");
    EXPECT_EQ(sound.反向WS, "");
    EXPECT_EQ(sound.Webhook, "");
    EXPECT_EQ(sound.重连间隔, "3000");
    EXPECT_TRUE(config::CheckOneBotSettings(sound).empty());

    settings.访问令牌 = "t";
    settings.反向WS.clear();
    settings.Webhook.clear();
    settings.重连间隔 = "100";
    EXPECT_TRUE(config::CheckOneBotSettings(settings).empty());
    settings.HTTP地址 = "localhost";
    EXPECT_EQ(config::CheckOneBotSettings(settings).size(), 1U);
    settings.启用 = false;
    EXPECT_TRUE(config::CheckOneBotSettings(settings).empty());

    for (const std::string_view local : {"127.0.0.1", "127.8.9.10", "::1", "[::1]", "LocalHost"}) {
        EXPECT_TRUE(config::IsLoopbackHost(local)) << local;
    }
    for (const std::string_view other :
         {"0.0.0.0", "", "127.0.0", "127.0.0.1.5", "1270.0.0.1", "localhost.example.com", "::"}) {
        EXPECT_FALSE(config::IsLoopbackHost(other)) << other;
    }
}

}  // namespace
}  // namespace zelmo::test
