#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <ctime>
#include <string>
#include <thread>
#include <vector>

#include "platform/EventLog.h"
#include "platform/Files.h"
#include "platform/GbkLiteral.h"
#include "platform/RotatingFile.h"
#include "support/FakeClock.h"
#include "support/TestSupport.h"

namespace zelmo::platform {
namespace {

using Names = std::vector<std::string>;

// Fixed-size lines ("0001...\n"), so each file's share is easy to count.
std::string LineNumber(int n) {
    std::string line = std::to_string(10000 + n).substr(1);
    line.resize(9, '.');
    return line + "\n";
}

TEST(EventLogTest, RotatesAtTheSizeKeepingThreeFilesAndDroppingTheOldest) {
    const test::TempDir dir;
    const std::string path = dir.Path() + "/state/zelmo/zelmo.log";  // folders made on demand
    RotatingFile file(path, 50, 3);                                  // five lines per file
    for (int n = 0; n < 5; ++n) {
        ASSERT_TRUE(file.Append(LineNumber(n)));
    }
    EXPECT_EQ(FindFiles(dir.Path() + "/state/zelmo", "*"), Names{"zelmo.log"});
    ASSERT_TRUE(file.Append(LineNumber(5)));  // would make 60 bytes: rotate first
    EXPECT_EQ(FindFiles(dir.Path() + "/state/zelmo", "*"), (Names{"zelmo.log", "zelmo.log.1"}));
    EXPECT_EQ(ReadFile(path), LineNumber(5));

    for (int n = 6; n < 23; ++n) {
        ASSERT_TRUE(file.Append(LineNumber(n)));
    }
    // Lines 0..9 are gone; 10..14, 15..19, 20..22 remain, newest in the plain name.
    EXPECT_EQ(FindFiles(dir.Path() + "/state/zelmo", "*"),
              (Names{"zelmo.log", "zelmo.log.1", "zelmo.log.2"}));
    auto lines = [](int first, int last) {
        std::string text;
        for (int n = first; n <= last; ++n) {
            text += LineNumber(n);
        }
        return text;
    };
    EXPECT_EQ(ReadFile(path + ".2"), lines(10, 14));
    EXPECT_EQ(ReadFile(path + ".1"), lines(15, 19));
    EXPECT_EQ(ReadFile(path), lines(20, 22));
    struct stat status {};
    ASSERT_EQ(::stat(path.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0600u);

    // One append above the limit still lands whole, in a file of its own.
    const std::string big(120, 'x');
    ASSERT_TRUE(file.Append(big));
    EXPECT_EQ(ReadFile(path), big);
    EXPECT_EQ(ReadFile(path + ".1"), lines(20, 22));
    ASSERT_TRUE(file.Append(LineNumber(99)));
    EXPECT_EQ(ReadFile(path), LineNumber(99));
    EXPECT_EQ(ReadFile(path + ".1"), big);
}

TEST(EventLogTest, AFileRemovedOrRotatedElsewhereIsStartedAgainAndAppendsStayWhole) {
    const test::TempDir dir;
    const std::string path = dir.Path() + "/zelmo.log";
    // A second instance on the same log sees what the first one wrote.
    RotatingFile first(path, 1000, 3);
    RotatingFile second(path, 1000, 3);
    ASSERT_TRUE(first.Append("a\n"));
    ASSERT_TRUE(second.Append("b\n"));
    EXPECT_EQ(ReadFile(path), "a\nb\n");
    ASSERT_TRUE(DeleteFile(path));
    ASSERT_TRUE(first.Append("c\n"));
    EXPECT_EQ(ReadFile(path), "c\n");

    // Lines from many threads never mix.
    std::vector<std::thread> threads;
    threads.reserve(8);
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([&first, t] {
            const std::string line = std::string(30, static_cast<char>('A' + t)) + "\n";
            for (int n = 0; n < 200; ++n) {
                first.Append(line);
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    std::string all = ReadFile(path + ".2") + ReadFile(path + ".1") + ReadFile(path);
    std::size_t start = 0;
    int whole = 0;
    while (start < all.size()) {
        const std::size_t end = all.find('\n', start);
        ASSERT_NE(end, std::string::npos);
        const std::string line = all.substr(start, end - start);
        if (line != "c") {
            ASSERT_EQ(line, std::string(30, line[0]));
            ++whole;
        }
        start = end + 1;
    }
    EXPECT_GT(whole, 0);

    RotatingFile nowhere("", 1000, 3);
    EXPECT_FALSE(nowhere.Append("x\n"));
    RotatingFile blocked(path + "/below-a-file.log", 1000, 3);
    EXPECT_FALSE(blocked.Append("x\n"));
}

TEST(EventLogTest, LinesAreStampedEscapedCutAndNeverHoldTokensOrCookies) {
    const char* old_tz = std::getenv("TZ");
    const std::string saved = old_tz != nullptr ? old_tz : "";
    setenv("TZ", "UTC", 1);
    tzset();

    const test::TempDir dir;
    test::FakeClock clock;  // 2024-01-01 00:00:00 UTC
    clock.Advance(3723000);
    EventLog log(dir.Path() + "/zelmo.log", clock);
    ASSERT_TRUE(log.Write("box", Gbk("错误提示: 发送失败\r\n重试")));
    EXPECT_EQ(ReadFile(log.Path()),
              "2024-01-01 01:02:03 box \xe9\x94\x99\xe8\xaf\xaf\xe6\x8f\x90\xe7\xa4\xba: "
              "\xe5\x8f\x91\xe9\x80\x81\xe5\xa4\xb1\xe8\xb4\xa5\\r\\n\xe9\x87\x8d\xe8\xaf\x95\n");

    const std::string secrets =
        "GET /cgi-bin/mmwebwx-bin/synccheck?r=1&skey=@crypt_ab12_CD&sid=Xy9z&uin=123&"
        "pass_ticket=Q%2Bw ; Cookie: wxsid=abc; webwx_data_ticket=def\n"
        "{\"Skey\": \"@crypt_9f\\\"x\", \"Sid\":\"s1\", \"Uin\": 123} "
        "<error><ret>0</ret><skey>@crypt_77</skey><wxsid>w2</wxsid><wxuin>123</wxuin>"
        "<pass_ticket>p3</pass_ticket></error> set-cookie: webwx_auth_ticket=zz; Path=/\n"
        "uuid=ab_c== loose @crypt_dead_beef Authorization: Bearer sk-live_0123";
    const std::string masked = MaskSecrets(secrets);
    for (const char* secret : {"ab12", "Xy9z", "Q%2Bw", "abc", "def", "9f", "s1", "@crypt_77", "w2",
                               "p3", "zz", "ab_c", "dead_beef", "sk-live_0123"}) {
        EXPECT_EQ(masked.find(secret), std::string::npos) << secret << " in " << masked;
    }
    // What helps a reader stays.
    for (const char* kept :
         {"synccheck?r=1&skey=***&sid=***&uin=123&pass_ticket=***", "\"Uin\": 123",
          "<wxuin>123</wxuin>", "<ret>0</ret>", "loose", "Bearer ***"}) {
        EXPECT_NE(masked.find(kept), std::string::npos) << kept << " not in " << masked;
    }

    // A long text is cut at a character boundary; the line stays one line.
    std::string long_text;
    for (int n = 0; n < 1500; ++n) {
        long_text += "\xe5\xa5\xbd";  // "好"
    }
    const std::string line = EventLine(clock.UnixMs(), "row", long_text);
    EXPECT_LT(line.size(), 2100u);
    EXPECT_EQ(line.substr(line.size() - 5), " ...\n");
    EXPECT_EQ(line.find('\n'), line.size() - 1);
    EXPECT_EQ((line.size() - 5 - std::string("2024-01-01 01:02:03 row ").size()) % 3, 0u);

    if (old_tz != nullptr) {
        setenv("TZ", saved.c_str(), 1);
    } else {
        unsetenv("TZ");
    }
    tzset();
}

}  // namespace
}  // namespace zelmo::platform
