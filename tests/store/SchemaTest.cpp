#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/Files.h"
#include "store/Schema.h"
#include "store/StoreRig.h"
#include "support/FakeClock.h"
#include "support/TestSupport.h"

namespace zelmo::test {
namespace {

using namespace std::chrono_literals;
using store::StoreEvent;

// The schema as SQLite lists it, to compare two databases.
std::vector<std::string> SchemaOf(const std::string& path) {
    platform::SqliteConnection db = Connect(path);
    platform::SqliteStatement s = db.Prepare(
        "SELECT type || ' ' || name || ' ' || ifnull(sql, '') FROM sqlite_schema ORDER BY name");
    std::vector<std::string> schema;
    while (s.Step() == platform::SqliteStatus::Row) {
        schema.emplace_back(s.ColumnText(0));
    }
    return schema;
}

TEST(SchemaTest, ADatabaseOfEveryEarlierVersionOpensAtTheCurrentOneWithItsRows) {
    FakeClock clock;
    TempDir fresh;
    {
        RecordingPort port;
        store::Store archive(TestOptions(fresh.Path()), port, clock);
        ASSERT_TRUE(archive.Flush(10s));
    }
    const std::vector<std::string> current = SchemaOf(TestOptions(fresh.Path()).path);
    ASSERT_FALSE(current.empty());

    for (int version = 0; version <= store::SCHEMA_VERSION; ++version) {
        SCOPED_TRACE("version " + std::to_string(version));
        const std::string fixture =
            std::string(ZELMO_TEST_DATA_DIR) + "/store/v" + std::to_string(version) + ".sql";
        // A new version adds the fixture of its own schema, with rows, beside these.
        ASSERT_TRUE(platform::FileExists(fixture)) << fixture;
        TempDir dir;
        const std::string path = TestOptions(dir.Path()).path;
        std::vector<store::ArchiveRow> old_rows;
        {
            platform::SqliteConnection db = Connect(path);
            ASSERT_EQ(db.Exec(platform::ReadFile(fixture)), platform::SqliteStatus::Ok)
                << db.ErrorText();
        }
        if (version > 0) {
            old_rows = OpenReader(path).LastRows(1000).rows;
        }

        RecordingPort port;
        store::Store archive(TestOptions(dir.Path()), port, clock);
        archive.Append(Row(1, "迁移之后的第一条"));
        ASSERT_TRUE(archive.Flush(10s));
        EXPECT_EQ(port.Count(StoreEvent::Kind::Failed), 0u);
        EXPECT_EQ(port.Count(StoreEvent::Kind::MovedAside), 0u);
        EXPECT_EQ(Connect(path).QueryInt("PRAGMA user_version"), store::SCHEMA_VERSION);
        EXPECT_EQ(SchemaOf(path), current);
        EXPECT_EQ(CheckFile(path), "ok");

        store::ArchiveReader reader = OpenReader(path);
        const store::RowsRead rows = reader.LastRows(1000);
        ASSERT_EQ(rows.rows.size(), old_rows.size() + 1);
        for (std::size_t i = 0; i < old_rows.size(); ++i) {
            EXPECT_EQ(rows.rows[i].text, old_rows[i].text);
            EXPECT_EQ(rows.rows[i].recalled, old_rows[i].recalled);
            EXPECT_EQ(rows.rows[i].origin, old_rows[i].origin);
            EXPECT_EQ(rows.rows[i].media_path, old_rows[i].media_path);
            // The old rows are found through the index as well.
            store::SearchQuery query;
            query.text = old_rows[i].text;
            bool found = false;
            for (const store::ArchiveRow& row : reader.Search(query).rows) {
                found = found || row.id == old_rows[i].id;
            }
            EXPECT_TRUE(found) << old_rows[i].text;
        }
    }
}

TEST(SchemaTest, ADatabaseOfANewerVersionIsLeftAsItIs) {
    TempDir dir;
    FakeClock clock;
    const std::string path = TestOptions(dir.Path()).path;
    // Its schema uses what this SQLite cannot parse, which SQLite calls a damaged schema.
    ASSERT_EQ(Connect(path).Exec(
                  "CREATE TABLE future(x); PRAGMA user_version = 99; PRAGMA writable_schema = ON; "
                  "INSERT INTO sqlite_schema VALUES ('table', 'later', 'later', 0, "
                  "'CREATE TABLE later(x) WITH A FEATURE OF 2030');"),
              platform::SqliteStatus::Ok);
    const std::string bytes = platform::ReadFile(path);
    {
        RecordingPort port;
        store::Store archive(TestOptions(dir.Path()), port, clock);
        const std::optional<StoreEvent> failed = port.WaitFor(StoreEvent::Kind::Failed, 0ms);
        ASSERT_TRUE(failed);
        EXPECT_EQ(failed->failure, store::StoreFailure::TooNew);
        archive.Append(Row(1, "写不进去"));
        archive.Close();
        // What could not be written is said at the end.
        const std::optional<StoreEvent> lost = port.WaitFor(StoreEvent::Kind::RowsDropped, 0ms);
        ASSERT_TRUE(lost);
        EXPECT_EQ(lost->rows, 1u);
    }
    // Neither moved aside nor changed.
    EXPECT_EQ(platform::ReadFile(path), bytes);
}

}  // namespace
}  // namespace zelmo::test
