#include <gtest/gtest.h>

#include "config/AiSettings.h"
#include "platform/GbkLiteral.h"

namespace zelmo::config {
namespace {

TEST(AiSettingsTest, AddressIsHttpsOrPlainHttpToThisMachineOnly) {
    for (const char* fine :
         {"https://api.example.com/v1", "HTTPS://api.example.com", "http://127.0.0.1:11434/v1",
          "http://localhost:8080/v1", "http://[::1]:8000/v1", "http://user@127.0.0.1/v1"}) {
        EXPECT_EQ(CheckAiAddress(fine), "") << fine;
    }
    for (const char* wrong :
         {"", "api.example.com/v1", "ftp://api.example.com", "http://api.example.com/v1",
          "http://127.evil.example/v1", "http://192.168.1.5:11434/v1", "https:///v1",
          "https://api.example.com/v1 ", "https://api.exa\nmple.com"}) {
        const std::string fault = CheckAiAddress(wrong);
        EXPECT_NE(fault, "") << wrong;
        EXPECT_EQ(fault.rfind(platform::Gbk("AI回复："), 0), 0u) << wrong;
    }
    // Only the http case names the way out.
    EXPECT_NE(CheckAiAddress("http://api.example.com/v1").find("https://"), std::string::npos);

    AiSettings settings;
    EXPECT_EQ(CheckAiSettings(settings), "") << "off: nothing to complain about";
    settings.启用 = true;
    settings.接口地址 = "http://127.0.0.1:11434/v1";
    EXPECT_NE(CheckAiSettings(settings), "") << "no model";
    settings.模型 = "qwen2.5";
    EXPECT_EQ(CheckAiSettings(settings), "");
}

TEST(AiSettingsTest, NumbersOutsideTheirRangeGiveTheDefault) {
    AiSettings settings;
    settings.上下文条数 = " 0 ";
    settings.最长回复 = "0";
    settings.超时秒数 = "601";
    settings.群 = "2";
    settings.每日上限 = "0";
    AiNumbers numbers = ReadAiNumbers(settings);
    EXPECT_EQ(numbers.context_turns, 0);
    EXPECT_EQ(numbers.max_reply_chars, 500);
    EXPECT_EQ(numbers.timeout_s, 30);
    EXPECT_EQ(numbers.group, AiGroupMode::Always);
    EXPECT_EQ(numbers.daily_limit, 0);

    settings.上下文条数 = "12abc";
    settings.最长回复 = "80";
    settings.超时秒数 = "-5";
    settings.群 = "3";
    settings.每日上限 = "";
    numbers = ReadAiNumbers(settings);
    EXPECT_EQ(numbers.context_turns, 10);
    EXPECT_EQ(numbers.max_reply_chars, 80);
    EXPECT_EQ(numbers.timeout_s, 30);
    EXPECT_EQ(numbers.group, AiGroupMode::WhenAddressed);
    EXPECT_EQ(numbers.daily_limit, 500);
}

}  // namespace
}  // namespace zelmo::config
