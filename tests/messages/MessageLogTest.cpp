#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <thread>
#include <vector>

#include "contacts/ContactStore.h"
#include "jobs/JobQueue.h"
#include "messages/MessageJobs.h"
#include "messages/MessageLog.h"
#include "platform/Files.h"
#include "platform/GbkLiteral.h"
#include "support/FakeClock.h"
#include "support/StubScreen.h"
#include "support/TestSupport.h"

namespace zelmo::test {
namespace {

// Cells of the recorded AddLogRow calls.
std::vector<std::vector<std::string>> RecordedRows(StubScreen& screen) {
    std::vector<std::vector<std::string>> rows;
    for (const std::string& text : screen.TextsOf("AddLogRow")) {
        std::vector<std::string> cells;
        std::size_t start = 0;
        for (;;) {
            const std::size_t tab = text.find('\t', start);
            cells.push_back(text.substr(start, tab - start));
            if (tab == std::string::npos) {
                break;
            }
            start = tab + 1;
        }
        rows.push_back(cells);
    }
    return rows;
}

// The log with the parts it reads: the contacts, the own profile, a clock and the screen.
class MessageLogTest : public ::testing::Test {
protected:
    void SetUp() override {
        own.UserName = "@me";
        own.NickName = platform::Gbk("我");
        contacts.AppendIfNew(Contact("@friend", "朋友", "男"));
        contacts.AppendIfNew(Contact("@@group", "群聊", "微群"));
    }
    void Log(std::string_view from, std::string_view to, std::string_view content) {
        messages::LogMessage(log, contacts, own, from, to, content);
    }

    TempDir dir;
    FakeClock clock;
    StubScreen screen;
    contacts::ContactStore contacts;
    protocol::OwnProfile own;
    messages::MessageLog log{screen, clock};
};

TEST_F(MessageLogTest, LabelsFollowTheDirection) {
    clock.SetUnixMs(LocalUnixMs(2024, 3, 5, 9, 5, 7));
    Log("@@group", "@me", "g");
    Log("@friend", "@me", "f");
    Log("@me", "@@group", "to group");
    Log("@me", "@me", "self");
    Log("@stranger", "@me", "x");
    Log("@me", "@stranger", "y");

    const std::string me = platform::Gbk("我");
    const std::string missing = platform::Gbk("未搜索到");
    const std::vector<std::vector<std::string>> expected = {
        {platform::Gbk("[↓]群"), "9:5:7", platform::Gbk("群聊"), me, "g"},
        {platform::Gbk("[↓]好友"), "9:5:7", platform::Gbk("朋友"), me, "f"},
        {platform::Gbk("[↑]好友"), "9:5:7", me, platform::Gbk("群聊"), "to group"},
        {platform::Gbk("[↓]系统"), "9:5:7", me, me, "self"},
        {platform::Gbk("[↓]好友"), "9:5:7", missing, me, "x"},
        {platform::Gbk("[↑]好友"), "9:5:7", me, missing, "y"},
    };
    EXPECT_EQ(RecordedRows(screen), expected);
    // The arrows are U+2193 and U+2191.
    EXPECT_EQ(platform::Gbk("[↓]群"), "[\xa1\xfd]\xc8\xba");
}

TEST_F(MessageLogTest, ReceivedContentReadsAsTextAndGroupMembersByTheirNames) {
    using platform::Gbk;
    contacts::ContactRecord friend_record = Contact("@bob", "Bob", "男");
    friend_record.RemarkName = Gbk("老王");
    contacts.AppendIfNew(friend_record);
    contacts.AppendIfNew(Contact("@carol", "Carol", "女"));
    contacts.SetGroupMembers(contacts.FindContactIndex("@@group"), "4", "",
                             {{"0", Gbk("大卫"), "@dave", Gbk("卫哥")},
                              {"0", "Bobby", "@bob", ""},
                              {"0", "", "@carol", ""},
                              {"0", "Eve", "@eve", ""}});
    const auto shown = [this](std::string_view from, std::string_view content) {
        return messages::ReadableContent(contacts, from, content);
    };
    // The group's name card, the own remark, the member's nickname, the contact's nickname.
    EXPECT_EQ(shown("@@group", "@dave:<br/>hi"), Gbk("卫哥: hi"));
    EXPECT_EQ(shown("@@group", "@bob:<br/>hi"), Gbk("老王: hi"));
    EXPECT_EQ(shown("@@group", "@eve:<br/>hi"), "Eve: hi");
    EXPECT_EQ(shown("@@group", "@carol:<br/>hi"), "Carol: hi");
    // An unknown member keeps the UserName, a labelled picture its sender.
    EXPECT_EQ(shown("@@group", "@f00d:<br/>" + Gbk("[图片]")), "@f00d: " + Gbk("[图片]"));
    EXPECT_EQ(shown("@@other", "@dave:<br/>hi"), "@dave: hi");
    // Breaks and entities, in one pass; an escaped break someone typed stays text.
    EXPECT_EQ(shown("@friend", "a &lt;b&gt; &amp;lt;<br/>c &lt;br/&gt; d"),
              "a <b> &lt;\r\nc <br/> d");
    // A friend's text is never taken for a member's.
    EXPECT_EQ(shown("@friend", "@dave:<br/>hi"), "@dave:\r\nhi");
    EXPECT_EQ(shown("@@group", Gbk("\"A\"邀请\"B\"加入了群聊")), Gbk("\"A\"邀请\"B\"加入了群聊"));
}

TEST_F(MessageLogTest, SentTextsBecomeRowsAsThePartnerReadsThemWhileMessagesAreShown) {
    jobs::JobQueue queue;
    config::Settings settings;
    settings.机器人姓名 = platform::Gbk("小精灵");
    messages::PostSentRow(queue, settings, "@me", "@friend",
                          platform::Gbk("我是[mkname][enter]好"));
    messages::PostSentRow(queue, settings, "@me", "@@group", "x", true);
    settings.显示消息 = false;
    messages::PostSentRow(queue, settings, "@me", "@friend", "hidden");
    std::vector<jobs::Job> jobs;
    while (std::optional<jobs::Job> job = queue.TryTake()) {
        jobs.push_back(*job);
    }
    ASSERT_EQ(jobs.size(), 2u);
    EXPECT_EQ(jobs[0].kind, messages::JOB_LOG_ENTRY);
    EXPECT_EQ(jobs[0].texts, (std::array<std::string, 4>{"@me", "@friend",
                                                         platform::Gbk("我是小精灵\r\n好"), ""}));
    EXPECT_EQ(jobs[1].texts[2], messages::DroppedReplyMark() + "x");
    // Through the log job, a sent text is the own account's row.
    Log(jobs[0].texts[0], jobs[0].texts[1], jobs[0].texts[2]);
    const auto rows = RecordedRows(screen);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0][0], platform::Gbk("[↑]好友"));
    EXPECT_EQ(rows[0][3], platform::Gbk("朋友"));
}

TEST_F(MessageLogTest, TimeTextHasNoLeadingZeros) {
    clock.SetUnixMs(LocalUnixMs(2024, 12, 31, 23, 0, 9));
    log.AddRow("l", "s", "d", "c");
    clock.SetUnixMs(LocalUnixMs(2024, 1, 1, 0, 10, 0));
    log.AddRow("l", "s", "d", "c");
    const auto rows = RecordedRows(screen);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0][1], "23:0:9");
    EXPECT_EQ(rows[1][1], "0:10:0");
}

TEST_F(MessageLogTest, RowsFromTwentyThreadsNeverMix) {
    constexpr int THREADS = 20;
    constexpr int ROWS = 300;
    std::vector<std::thread> threads;
    threads.reserve(THREADS);
    for (int t = 0; t < THREADS; ++t) {
        threads.emplace_back([this, t] {
            const std::string name = "t" + std::to_string(t);
            for (int n = 0; n < ROWS; ++n) {
                log.AddRow(name, name, name, name + "-" + std::to_string(n));
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    const auto rows = RecordedRows(screen);
    ASSERT_EQ(rows.size(), static_cast<std::size_t>(THREADS * ROWS));
    std::vector<int> next(THREADS, 0);
    for (const auto& row : rows) {
        ASSERT_EQ(row.size(), 5u);
        EXPECT_EQ(row[2], row[0]);
        EXPECT_EQ(row[3], row[0]);
        const int t = std::stoi(row[0].substr(1));
        EXPECT_EQ(row[4], row[0] + "-" + std::to_string(next[static_cast<std::size_t>(t)]));
        ++next[static_cast<std::size_t>(t)];
    }
}

TEST(MessageLogTextTest, DetailsAndExportFollowTheirLayouts) {
    const messages::LogRow first{platform::Gbk("[↓]好友"), "9:5:7", "Ann", platform::Gbk("我"),
                                 "hi"};
    const messages::LogRow second{"L", "10:0:0", "", "", ""};
    // Captions written as GBK bytes: 来源： 发至： 内容： and the full-width colon A3 BA.
    const std::string source = "\xc0\xb4\xd4\xb4\xa3\xba";
    const std::string destination = "\xb7\xa2\xd6\xc1\xa3\xba";
    const std::string content = "\xc4\xda\xc8\xdd\xa3\xba";
    EXPECT_EQ(messages::ExportText({first, second}),
              first.label + "---9:5:7\xa3\xba\r\n" + source + "Ann\r\n" + destination +
                  first.destination + "\r\n" + content + "hi\r\n" + "L---10:0:0\xa3\xba\r\n" +
                  source + "\r\n" + destination + "\r\n" + content + "\r\n");
    EXPECT_EQ(messages::ExportText({}), "");

    EXPECT_EQ(messages::RowDetails(first), first.label + platform::Gbk("  消息时间：") +
                                               "9:5:7\r\n" + source + "Ann\r\n" + destination +
                                               first.destination + "\r\n" + content + "hi");
    EXPECT_EQ(messages::RowDetails({}), platform::Gbk("  消息时间：") + "\r\n" + source + "\r\n" +
                                            destination + "\r\n" + content);
}

class ExportTest : public MessageLogTest {
protected:
    std::string Folder() {
        std::string folder = dir.Path() + "/export";
        platform::MakeDirectories(folder);
        return folder;
    }
};

TEST_F(ExportTest, EmptyLogWritesAnEmptyFileAndReportsSuccess) {
    const std::string folder = Folder();
    CurrentDir here(folder);
    const std::string path = messages::ExportMessageLog(screen, clock, {});
    // The notice names the whole path: the user need not know the current directory.
    const std::string name = path.substr(path.rfind('/') + 1);
    EXPECT_EQ(path, std::filesystem::current_path().string() + "/" + name);
    EXPECT_TRUE(platform::FileExists(folder + "/" + name));
    EXPECT_EQ(platform::ReadFile(folder + "/" + name), "");
    EXPECT_EQ(screen.TextsOf("ShowMessageBox"),
              std::vector<std::string>{platform::Gbk("提示\n导出完毕，文件名为\r\n") + path});
    // Nothing but the file itself is left behind.
    EXPECT_EQ(platform::FindFiles(folder, "*").size(), 1u);
}

TEST_F(ExportTest, TwoExportsInOneSecondGetDifferentNames) {
    clock.SetUnixMs(LocalUnixMs(2024, 3, 5, 9, 5, 7));
    const std::string folder = Folder();
    CurrentDir here(folder);
    const messages::LogRow row{"a", "b", "c", "d", "e"};
    const auto name_of = [](const std::string& path) { return path.substr(path.rfind('/') + 1); };
    const std::string first = name_of(messages::ExportMessageLog(screen, clock, {row}));
    const std::string second = name_of(messages::ExportMessageLog(screen, clock, {row, row}));
    ASSERT_FALSE(first.empty());
    ASSERT_FALSE(second.empty());
    EXPECT_NE(first, second);
    const std::regex shape("202435957[0-9]{8}\\.txt");
    EXPECT_TRUE(std::regex_match(first, shape)) << first;
    EXPECT_TRUE(std::regex_match(second, shape)) << second;
    EXPECT_EQ(platform::ReadFile(folder + "/" + first), messages::ExportText({row}));
    EXPECT_EQ(platform::ReadFile(folder + "/" + second), messages::ExportText({row, row}));
}

TEST_F(ExportTest, AFileThatCannotBeWrittenReportsFailure) {
    const std::string folder = Folder() + "/gone";
    platform::MakeDirectories(folder);
    CurrentDir here(folder);
    std::filesystem::remove(folder);  // no file can be created in a removed directory
    EXPECT_EQ(messages::ExportMessageLog(screen, clock, {{"a", "b", "c", "d", "e"}}), "");
    EXPECT_EQ(screen.TextsOf("ShowMessageBox"),
              std::vector<std::string>{platform::Gbk("提示\n导出失败。")});
}

}  // namespace
}  // namespace zelmo::test
