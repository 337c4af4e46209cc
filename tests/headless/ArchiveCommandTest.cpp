#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <chrono>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "headless/ArchiveCommand.h"
#include "platform/Clock.h"
#include "platform/Files.h"
#include "platform/RunLock.h"
#include "platform/Sqlite.h"
#include "store/DatabaseFile.h"
#include "store/Store.h"
#include "support/ChildProcess.h"
#include "support/TestSupport.h"

namespace zelmo::test {
namespace {

using namespace std::chrono_literals;
using headless::ArchiveCommand;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

ArchiveCommand Parse(const std::vector<std::string_view>& args) {
    return headless::ParseArchiveCommand(args, "", "/home/bot");
}

TEST(ArchiveCommandTest, TheCommandIsFoundAmongTheOptionsAndItsOwnAreChecked) {
    // No command: the robot's own arguments, left to its parser.
    EXPECT_EQ(Parse({}).kind, ArchiveCommand::Kind::None);
    EXPECT_EQ(Parse({"--data-dir", "search"}).kind, ArchiveCommand::Kind::None);
    EXPECT_EQ(Parse({"--qr-file", "export", "--auto-answer=yes"}).kind, ArchiveCommand::Kind::None);

    const ArchiveCommand search =
        Parse({"--data-dir", "/d", "search", "天气", "--chat=同学", "--since", "2024-02-29",
               "--limit", "5", "--json", "--uin", "2100000001"});
    EXPECT_EQ(search.error, "");
    EXPECT_EQ(search.kind, ArchiveCommand::Kind::Search);
    EXPECT_EQ(search.data_root, "/d");
    EXPECT_EQ(search.text, "天气");
    EXPECT_EQ(search.chat, "同学");
    EXPECT_NE(search.since_ms, 0);
    EXPECT_EQ(search.limit, 5);
    EXPECT_TRUE(search.json);
    EXPECT_EQ(search.uin, "2100000001");
    EXPECT_EQ(Parse({"search", "--", "-_-"}).text, "-_-");
    EXPECT_EQ(Parse({"search", "x"}).data_root, "/home/bot/.local/share/zelmo");
    EXPECT_EQ(Parse({"search", "x"}).limit, 200);

    const ArchiveCommand json = Parse({"export", "--format", "json", "--data-dir=/d"});
    EXPECT_EQ(json.error, "");
    EXPECT_EQ(json.format, ArchiveCommand::Format::Json);
    EXPECT_EQ(Parse({"export", "--format=csv"}).format, ArchiveCommand::Format::Csv);
    EXPECT_TRUE(Parse({"search", "--help"}).show_help);

    for (const std::vector<std::string_view>& wrong :
         std::vector<std::vector<std::string_view>>{{"search"},
                                                    {"search", "a", "b"},
                                                    {"search", "a", "--since", "2024-02-30"},
                                                    {"search", "a", "--limit", "0"},
                                                    {"search", "a", "--service", "s.ini"},
                                                    {"search", "a", "--uin", "../x"},
                                                    {"export"},
                                                    {"export", "--format", "xml"},
                                                    {"export", "--format", "csv", "--json"}}) {
        EXPECT_NE(Parse(wrong).error, "") << testing::PrintToString(wrong);
    }
}

constexpr const char* UIN = "2100000001";
constexpr std::int64_t START_MS = 1704067200000;  // 2024-01-01 00:00:00 UTC
constexpr std::int64_t DAY_MS = std::int64_t{24} * 3600 * 1000;

class SilentPort final : public store::StorePort {
public:
    void OnStoreEvent(const store::StoreEvent&) override {}
};

struct Output {
    int exit_code = -1;
    std::vector<std::string> lines;
    std::string errors;
};

// zelmo-headless run as a user runs it, in UTC so that times read the same everywhere.
Output RunHeadless(const TempDir& dir, std::vector<std::string> args) {
    args.insert(args.begin(), std::string(ZELMO_BINARY_DIR) + "/src/headless/zelmo-headless");
    const std::string errors = dir.Path() + "/stderr.txt";
    ChildProcess child(args, {"TZ=UTC0"}, errors);
    Output output;
    const std::optional<int> status = child.WaitForExit(30s);
    if (status && WIFEXITED(*status)) {
        output.exit_code = WEXITSTATUS(*status);
    }
    output.lines = child.Lines();
    output.errors = platform::ReadFile(errors);
    return output;
}

// An account whose robot runs: its run lock is held and its store has the database open.
class RunningAccount {
public:
    explicit RunningAccount(const TempDir& dir)
        : m_lock(platform::RunLock::Acquire(dir.Path() + "/zelmo.lock")) {
        platform::MakeDirectories(dir.Path() + "/" + UIN);
        store::StoreOptions options;
        options.path = dir.Path() + "/" + UIN + "/" + std::string(store::DATABASE_FILE_NAME);
        m_store = std::make_unique<store::Store>(options, m_port, m_clock);
    }
    store::Store& Store() { return *m_store; }
    bool Locked() const { return m_lock.lock.has_value(); }

private:
    platform::RunLock::Result m_lock;
    platform::SystemClock m_clock;
    SilentPort m_port;
    std::unique_ptr<store::Store> m_store;
};

store::ArchiveRow Row(std::int64_t time_ms, store::Direction direction, std::string chat,
                      std::string sender, std::string text) {
    store::ArchiveRow row;
    row.time_ms = time_ms;
    row.direction = direction;
    row.kind = "文本";
    row.chat_key = chat == "高中同学" ? "cgroupaaaaa" : "cfriendaaaa";
    row.chat_name = std::move(chat);
    row.sender_key = "c" + std::to_string(sender.size());
    row.sender_name = std::move(sender);
    row.msg_id = std::to_string(time_ms);
    row.text = std::move(text);
    return row;
}

TEST(ArchiveCommandTest, SearchPrintsTheMatchingRowsNewestFirstBesideARunningRobot) {
    TempDir dir;
    RunningAccount account(dir);
    ASSERT_TRUE(account.Locked());
    account.Store().Append(
        Row(START_MS, store::Direction::In, "高中同学", "李雷", "明天天气好吗\n去爬山"));
    account.Store().Append(
        Row(START_MS + DAY_MS, store::Direction::Out, "韩梅梅", "Zelmo", "天气不错"));
    account.Store().Append(
        Row(START_MS + 2 * DAY_MS, store::Direction::In, "韩梅梅", "韩梅梅", "Weather OK"));
    ASSERT_TRUE(account.Store().Flush(10s));

    const Output two = RunHeadless(dir, {"--data-dir", dir.Path(), "search", "天气"});
    EXPECT_EQ(two.exit_code, headless::ARCHIVE_ROWS) << two.errors;
    EXPECT_THAT(two.lines,
                ElementsAre("2024-01-02 00:00:00 ↑ 韩梅梅 / Zelmo: 天气不错",
                            "2024-01-01 00:00:00 ↓ 高中同学 / 李雷: 明天天气好吗", "    去爬山"));
    // Three characters go through the index; ASCII letters in either case; the filters.
    EXPECT_EQ(RunHeadless(dir, {"search", "weather", "--data-dir", dir.Path()}).lines,
              std::vector<std::string>{"2024-01-03 00:00:00 ↓ 韩梅梅: Weather OK"});
    EXPECT_EQ(RunHeadless(dir, {"--data-dir", dir.Path(), "search", "天气", "--chat", "同学"})
                  .lines.size(),
              2u);
    EXPECT_EQ(RunHeadless(dir, {"--data-dir", dir.Path(), "search", "天气", "--since", "2024-01-02",
                                "--limit", "1"})
                  .lines.size(),
              1u);

    const Output json =
        RunHeadless(dir, {"--data-dir", dir.Path(), "--uin", UIN, "search", "天气", "--json"});
    ASSERT_EQ(json.lines.size(), 2u);
    const nlohmann::json first = nlohmann::json::parse(json.lines[1]);
    EXPECT_EQ(first["time"], "2024-01-01T00:00:00+00:00");
    EXPECT_EQ(first["direction"], "in");
    EXPECT_EQ(first["chat"], "高中同学");
    EXPECT_EQ(first["chat_key"], "cgroupaaaaa");
    EXPECT_EQ(first["sender"], "李雷");
    EXPECT_EQ(first["kind"], "文本");
    EXPECT_EQ(first["text"], "明天天气好吗\n去爬山");
    EXPECT_EQ(first["msg_id"], std::to_string(START_MS));
    EXPECT_EQ(first.size(), 9u);
    EXPECT_EQ(nlohmann::json::parse(json.lines[0])["direction"], "out");

    const Output none = RunHeadless(dir, {"--data-dir", dir.Path(), "search", "下雪"});
    EXPECT_EQ(none.exit_code, headless::ARCHIVE_NO_ROWS);
    EXPECT_TRUE(none.lines.empty());
}

TEST(ArchiveCommandTest, ExportWritesEveryRowOldestFirstAsCsvOrJsonLines) {
    TempDir dir;
    RunningAccount account(dir);
    account.Store().Append(Row(START_MS, store::Direction::In, "高中同学", "李雷", "普通的一句"));
    account.Store().Append(Row(START_MS + 1000, store::Direction::In, "高中同学", "李雷",
                               "=HYPERLINK(\"x\"), 第二行\r\n还有"));
    ASSERT_TRUE(account.Store().Flush(10s));
    {
        // Another program left bytes that are not UTF-8.
        platform::SqliteConnection db = std::move(
            *platform::SqliteConnection::Open(dir.Path() + "/" + UIN + "/zelmo.db",
                                              platform::SqliteConnection::Mode::ReadWriteCreate)
                 .connection);
        db.SetBusyTimeout(5000);
        ASSERT_EQ(db.Exec("INSERT INTO archive(time_ms, direction, text) "
                          "VALUES (1704067202000, 'in', CAST(x'41FF42C3' AS TEXT))"),
                  platform::SqliteStatus::Ok);
    }

    const Output csv = RunHeadless(dir, {"--data-dir", dir.Path(), "export", "--format", "csv"});
    EXPECT_EQ(csv.exit_code, headless::ARCHIVE_ROWS) << csv.errors;
    ASSERT_EQ(csv.lines.size(), 5u);  // the header, and the quoted cell's line break
    EXPECT_EQ(csv.lines[0],
              "time,direction,chat,chat_key,sender,sender_key,kind,text,msg_id,result,recalled,"
              "origin,media_path\r");
    EXPECT_EQ(csv.lines[1],
              "2024-01-01T00:00:00+00:00,in,高中同学,cgroupaaaaa,李雷,c6,文本,普通的一句,"
              "1704067200000,,0,,\r");
    EXPECT_THAT(csv.lines[2], HasSubstr(",\"'=HYPERLINK(\"\"x\"\"), 第二行\r"));
    EXPECT_THAT(csv.lines[3], HasSubstr("还有\",1704067201000,,0,,\r"));

    const Output json = RunHeadless(
        dir, {"export", "--format", "json", "--data-dir", dir.Path(), "--chat", "cgroupaaaaa"});
    ASSERT_EQ(json.lines.size(), 2u);
    const nlohmann::json second = nlohmann::json::parse(json.lines[1]);
    EXPECT_EQ(second["text"], "=HYPERLINK(\"x\"), 第二行\r\n还有");
    EXPECT_EQ(second["result"], "");
    EXPECT_EQ(second["recalled"], false);
    EXPECT_EQ(second["origin"], "");
    EXPECT_EQ(second["media_path"], "");
    const Output all = RunHeadless(dir, {"export", "--format", "json", "--data-dir", dir.Path()});
    ASSERT_EQ(all.lines.size(), 3u);
    EXPECT_EQ(nlohmann::json::parse(all.lines[2])["text"], "A\uFFFDB\uFFFD");
}

TEST(ArchiveCommandTest, NoDatabaseEndsWithThreeAndCreatesNoneAndSeveralAccountsNeedAUin) {
    TempDir dir;
    ASSERT_TRUE(platform::MakeDirectories(dir.Path() + "/" + UIN + "/config"));
    const Output none = RunHeadless(dir, {"--data-dir", dir.Path(), "search", "天气"});
    EXPECT_EQ(none.exit_code, headless::ARCHIVE_NO_DATABASE);
    EXPECT_THAT(none.errors, HasSubstr("no database"));
    EXPECT_EQ(
        RunHeadless(dir, {"--data-dir", dir.Path(), "--uin", UIN, "export", "--format", "csv"})
            .exit_code,
        headless::ARCHIVE_NO_DATABASE);
    EXPECT_FALSE(platform::FileExists(dir.Path() + "/" + UIN + "/zelmo.db"));

    SilentPort port;
    platform::SystemClock clock;
    for (const std::string uin : {"2100000001", "2100000002"}) {
        platform::MakeDirectories(dir.Path() + "/" + uin);
        store::StoreOptions options;
        options.path = dir.Path() + "/" + uin + "/zelmo.db";
        store::Store archive(options, port, clock);
        archive.Append(Row(START_MS, store::Direction::In, "韩梅梅", "韩梅梅", "帐号 " + uin));
    }
    const Output several = RunHeadless(dir, {"--data-dir", dir.Path(), "search", "帐号"});
    EXPECT_EQ(several.exit_code, headless::ARCHIVE_USAGE);
    EXPECT_THAT(several.errors, HasSubstr("--uin"));
    const Output chosen =
        RunHeadless(dir, {"--data-dir", dir.Path(), "search", "帐号", "--uin", "2100000002"});
    EXPECT_THAT(chosen.lines, ElementsAre("2024-01-01 00:00:00 ↓ 韩梅梅: 帐号 2100000002"));
}

}  // namespace
}  // namespace zelmo::test
