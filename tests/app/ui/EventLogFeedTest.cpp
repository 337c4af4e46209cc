#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "app/ui/QtUiPort.h"
#include "platform/EventLog.h"
#include "platform/Files.h"
#include "platform/GbkLiteral.h"
#include "support/FakeClock.h"
#include "support/TestSupport.h"

namespace zelmo::test {
namespace {

// Each line without its time stamp ("2024-01-01 00:00:00 ").
std::vector<std::string> Events(const std::string& path) {
    std::vector<std::string> events;
    std::istringstream lines(platform::ReadFile(path));
    for (std::string line; std::getline(lines, line);) {
        events.push_back(line.size() > 20 ? line.substr(20) : line);
    }
    return events;
}

TEST(EventLogFeedTest, BackgroundEventsReachTheFileOnceEachAndChatTrafficNever) {
    TempDir dir;
    FakeClock clock;
    platform::EventLog events(dir.Path() + "/state/zelmo/zelmo.log", clock);
    app::QtUiPort screen(app::AutoAnswer::Yes, &events);

    // A caption is logged when it changes, not each time the heartbeat sets it again.
    screen.SetLoginCaption(platform::Gbk("等待手机微信扫码"));
    screen.SetLoginCaption(platform::Gbk("等待手机微信扫码"));
    screen.SetLoginCaption(platform::Gbk("扫码成功,等待手机确认"));
    screen.ShowStatus(platform::Gbk("[1/5] 初始化"), false);
    screen.CloseStatus();
    screen.SetMainCaption(platform::Gbk("Zelmo 5.3  在线"));
    screen.SetMainCaption(platform::Gbk("Zelmo 5.3  在线"));
    screen.SetMainCaption(platform::Gbk("Zelmo 5.3  离线"));
    screen.ShowMessageBox(platform::Gbk("错误提示"),
                          "https://wx2.qq.com/cgi-bin/x?skey=@crypt_5f&pass_ticket=Pq7");
    EXPECT_TRUE(screen.AskYesNo(platform::Gbk("提示"), platform::Gbk("确定要退出吗")));
    screen.AddLogRow(platform::Gbk("[↓]好友"), "9:5:7", "Ann", "me", "a private chat text");
    screen.AddLogRow(platform::Gbk("[↑]好友"), "9:5:8", "me", "Ann", "the private answer");
    screen.AddLogRow(platform::Gbk("[×]发送失败"), "9:5:9", "me", "Ann", "ret 1101");
    screen.LogEvent("save", platform::Gbk("词库已保存"));

    EXPECT_EQ(Events(events.Path()),
              (std::vector<std::string>{
                  "login 等待手机微信扫码",
                  "login 扫码成功,等待手机确认",
                  "status [1/5] 初始化",
                  "main Zelmo 5.3  在线",
                  "main Zelmo 5.3  离线",
                  "box 错误提示: https://wx2.qq.com/cgi-bin/x?skey=***&pass_ticket=***",
                  "ask 提示: 确定要退出吗 -> yes",
                  "row [×]发送失败 me -> Ann: ret 1101",
                  "save 词库已保存",
              }));
}

}  // namespace
}  // namespace zelmo::test
