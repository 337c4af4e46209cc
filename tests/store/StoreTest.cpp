#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "store/ArchiveReader.h"
#include "store/Store.h"
#include "store/StoreRig.h"
#include "support/FakeClock.h"
#include "support/TestSupport.h"

namespace zelmo::test {
namespace {

using namespace std::chrono_literals;
using store::ArchiveRow;
using store::ContactKeyRecord;
using store::Direction;
using store::StoreEvent;

constexpr std::int64_t DAY_MS = std::int64_t{24} * 3600 * 1000;

void ExpectSameRow(const ArchiveRow& got, const ArchiveRow& want) {
    EXPECT_EQ(got.time_ms, want.time_ms);
    EXPECT_EQ(got.direction, want.direction);
    EXPECT_EQ(got.kind, want.kind);
    EXPECT_EQ(got.chat_key, want.chat_key);
    EXPECT_EQ(got.chat_name, want.chat_name);
    EXPECT_EQ(got.sender_key, want.sender_key);
    EXPECT_EQ(got.sender_name, want.sender_name);
    EXPECT_EQ(got.msg_id, want.msg_id);
    EXPECT_EQ(got.text, want.text);
    EXPECT_EQ(got.result, want.result);
}

TEST(StoreTest, ARestartKeepsTheRowsTheirRecallsAndTheContactKeys) {
    TempDir dir;
    FakeClock clock;
    RecordingPort port;
    const store::StoreOptions options = TestOptions(dir.Path());

    std::vector<ArchiveRow> rows;
    rows.push_back(Row(1000, "大家好😂 第一行\n第二行"));
    rows.back().msg_id = "4512398234982734982";
    ArchiveRow sent = Row(2000, "收到，马上到", "cfriend0001", "张三");
    sent.direction = Direction::Out;
    sent.result = "ok";
    sent.msg_id = "m-sent";
    rows.push_back(sent);
    ArchiveRow failed = Row(3000, "[mkname]在线", "cfriend0001", "张三");
    failed.direction = Direction::Out;
    failed.result = "服务拒绝（1101）";
    rows.push_back(failed);

    ContactKeyRecord group;
    group.key = "cgroup00001";
    group.kind = "group";
    group.nick_name = "相亲相爱一家人";
    group.member_names = {"王伟", "名字里有\"引号\"和\\", "两行\n的名字", ""};
    group.first_seen_ms = 10;
    group.last_seen_ms = 20;
    ContactKeyRecord member;
    member.key = "cmember0001";
    member.kind = "member";
    member.group_key = group.key;
    member.display_name = "伟哥";
    member.nick_name = "王伟";
    ContactKeyRecord friend_key;
    friend_key.key = "cfriend0001";
    friend_key.kind = "friend";
    friend_key.uin = "123456";
    friend_key.alias = "zhangsan";
    friend_key.remark_name = "老张";
    friend_key.nick_name = "张三";
    friend_key.sex = "男";
    friend_key.province = "广东";
    friend_key.city = "深圳";
    friend_key.signature = "签名";
    {
        store::Store archive(options, port, clock);
        for (const ArchiveRow& row : rows) {
            archive.Append(row);
        }
        archive.MarkRecalled("m-sent");
        archive.SaveContactKeys({group, member, friend_key});
        ASSERT_TRUE(archive.Flush(10s));
    }
    EXPECT_EQ(port.Count(StoreEvent::Kind::Failed), 0u);

    store::Store archive(options, port, clock);
    store::ArchiveReader reader = OpenReader(options.path);
    const store::RowsRead all = reader.LastRows(10);
    ASSERT_EQ(all.error, "");
    ASSERT_EQ(all.rows.size(), rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        ExpectSameRow(all.rows[i], rows[i]);
        EXPECT_EQ(all.rows[i].recalled, i == 1) << i;
    }
    const store::RowsRead last = reader.LastRows(1, "cfriend0001");
    ASSERT_EQ(last.rows.size(), 1u);
    EXPECT_EQ(last.rows[0].text, failed.text);

    // A changed key replaces its record; the others stay.
    friend_key.nick_name = "张三丰";
    friend_key.last_seen_ms = 99;
    archive.SaveContactKeys({friend_key});
    ASSERT_TRUE(archive.Flush(10s));
    store::KeysRead keys = reader.LoadContactKeys();
    ASSERT_EQ(keys.error, "");
    ASSERT_EQ(keys.keys.size(), 3u);
    std::sort(keys.keys.begin(), keys.keys.end(),
              [](const ContactKeyRecord& a, const ContactKeyRecord& b) { return a.key < b.key; });
    EXPECT_EQ(keys.keys[0].key, "cfriend0001");
    EXPECT_EQ(keys.keys[0].nick_name, "张三丰");
    EXPECT_EQ(keys.keys[0].remark_name, "老张");
    EXPECT_EQ(keys.keys[0].uin, "123456");
    EXPECT_EQ(keys.keys[0].signature, "签名");
    EXPECT_EQ(keys.keys[0].last_seen_ms, 99);
    EXPECT_EQ(keys.keys[1].member_names, group.member_names);
    EXPECT_EQ(keys.keys[1].first_seen_ms, 10);
    EXPECT_EQ(keys.keys[2].group_key, group.key);
    EXPECT_EQ(keys.keys[2].display_name, "伟哥");
}

// What a search must find: every row whose text holds the query, ASCII letters in either
// case, newest first.
std::vector<std::int64_t> Expected(const std::vector<ArchiveRow>& rows, const std::string& query) {
    const auto fold = [](std::string text) {
        for (char& c : text) {
            if (c >= 'A' && c <= 'Z') {
                c = static_cast<char>(c - 'A' + 'a');
            }
        }
        return text;
    };
    std::vector<std::int64_t> ids;
    for (auto it = rows.rbegin(); it != rows.rend(); ++it) {
        if (fold(it->text).find(fold(query)) != std::string::npos) {
            ids.push_back(it->id);
        }
    }
    return ids;
}

std::vector<std::int64_t> AllPages(store::ArchiveReader& reader, store::SearchQuery query) {
    std::vector<std::int64_t> ids;
    do {
        const store::SearchPage page = reader.Search(query);
        EXPECT_EQ(page.error, "");
        EXPECT_LE(page.rows.size(), static_cast<std::size_t>(query.limit));
        for (const ArchiveRow& row : page.rows) {
            ids.push_back(row.id);
        }
        query.before_id = page.next_before_id;
    } while (query.before_id != 0);
    return ids;
}

TEST(StoreTest, SearchFindsWhatASubstringTestFindsPageByPageWhateverTheLength) {
    TempDir dir;
    FakeClock clock;
    RecordingPort port;
    const store::StoreOptions options = TestOptions(dir.Path());
    // Few letters, so that every query of one to five characters has many matches; the
    // index (three and more) and the scan (fewer) must agree with a plain substring test.
    const std::vector<std::string> alphabet = {"天", "气", "好", "哈", "A", "b",
                                               "%",  "_",  " ",  "😂",  "\\"};
    std::mt19937 random(7);
    std::vector<ArchiveRow> rows;
    for (int i = 0; i < 1500; ++i) {
        std::string text;
        const int length = static_cast<int>(random() % 12);
        for (int c = 0; c < length; ++c) {
            text += alphabet[random() % alphabet.size()];
        }
        rows.push_back(Row(1000 + i, text, i % 3 == 0 ? "cgroup" : "cfriend",
                           i % 3 == 0 ? "高中同学群" : "张三"));
        rows.back().id = i + 1;
    }
    {
        store::Store archive(options, port, clock);
        for (const ArchiveRow& row : rows) {
            archive.Append(row);
        }
        ASSERT_TRUE(archive.Flush(30s));
    }
    store::ArchiveReader reader = OpenReader(options.path);
    std::vector<std::string> queries = {"天气", "天气好", "ab",  "AB",  "a",   "%",        "_",
                                        "\\",   "%_",     "b%_", "😂哈", "哈 ", "天气好哈A"};
    for (int i = 0; i < 40; ++i) {
        const std::string& text = rows[random() % rows.size()].text;
        if (!text.empty()) {
            // A piece of a row's text, cut at character boundaries.
            std::vector<std::size_t> starts;
            for (std::size_t p = 0; p < text.size(); ++p) {
                if ((static_cast<unsigned char>(text[p]) & 0xC0) != 0x80) {
                    starts.push_back(p);
                }
            }
            starts.push_back(text.size());
            const std::size_t from = random() % (starts.size() - 1);
            const std::size_t to =
                from + 1 + random() % std::min<std::size_t>(5, starts.size() - 1 - from);
            queries.push_back(text.substr(starts[from], starts[to] - starts[from]));
        }
    }
    for (const std::string& query : queries) {
        store::SearchQuery search;
        search.text = query;
        search.limit = 97;
        EXPECT_EQ(AllPages(reader, search), Expected(rows, query)) << "query \"" << query << "\"";
    }

    // Filters: a chat by key or part of its name, and a start time.
    store::SearchQuery search;
    search.text = "天气";
    search.chat = "同学";
    std::vector<std::int64_t> in_group = AllPages(reader, search);
    search.chat = "cgroup";
    EXPECT_EQ(AllPages(reader, search), in_group);
    ASSERT_FALSE(in_group.empty());
    for (const std::int64_t id : in_group) {
        EXPECT_EQ(rows[static_cast<std::size_t>(id - 1)].chat_key, "cgroup");
    }
    search.chat = "";
    search.since_ms = 2000;
    std::vector<std::int64_t> recent = AllPages(reader, search);
    std::vector<std::int64_t> want = Expected(rows, "天气");
    want.erase(std::remove_if(want.begin(), want.end(), [](std::int64_t id) { return id <= 1000; }),
               want.end());
    EXPECT_EQ(recent, want);
    // No text: every row, newest first, 200 at a time.
    store::SearchQuery everything;
    const store::SearchPage first = reader.Search(everything);
    ASSERT_EQ(first.rows.size(), 200u);
    EXPECT_EQ(first.rows.front().id, 1500);
    EXPECT_EQ(first.next_before_id, 1301);
}

TEST(StoreTest, RetentionDeletesOldRowsInSmallBatchesAndTheTextIndexFollows) {
    TempDir dir;
    FakeClock clock;
    RecordingPort port;
    const store::StoreOptions options = TestOptions(dir.Path());
    const std::int64_t now = clock.UnixMs();
    store::Store archive(options, port, clock);
    // More old rows than one batch deletes, then a few recent ones.
    for (int i = 0; i < 1234; ++i) {
        archive.Append(Row(now - 40 * DAY_MS + i, "旧消息 old " + std::to_string(i)));
    }
    for (int i = 0; i < 5; ++i) {
        archive.Append(Row(now - DAY_MS + i, "新消息 new " + std::to_string(i)));
    }
    ASSERT_TRUE(archive.Flush(10s));
    ASSERT_EQ(CountRows(options.path), 1239);

    archive.SetRetentionDays(30);
    ASSERT_TRUE(archive.Flush(10s));
    EXPECT_EQ(CountRows(options.path), 5);
    EXPECT_EQ(CheckFile(options.path), "ok");
    store::ArchiveReader reader = OpenReader(options.path);
    store::SearchQuery query;
    query.text = "消息";
    EXPECT_EQ(reader.Search(query).rows.size(), 5u);
    query.text = "旧消息";
    EXPECT_TRUE(reader.Search(query).rows.empty());

    // 0 keeps everything from then on.
    archive.SetRetentionDays(0);
    clock.Advance(10 * DAY_MS);
    archive.Append(Row(clock.UnixMs(), "再来一条"));
    ASSERT_TRUE(archive.Flush(10s));
    EXPECT_EQ(CountRows(options.path), 6);
}

}  // namespace
}  // namespace zelmo::test
