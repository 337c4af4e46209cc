#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/fs.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "platform/Files.h"
#include "store/StoreRig.h"
#include "support/FakeClock.h"
#include "support/TestSupport.h"

namespace zelmo::test {
namespace {

using namespace std::chrono_literals;
using store::StoreEvent;
using store::StoreFailure;

std::string FileBytes(const std::string& path) {
    return platform::ReadFile(path);
}

TEST(StoreFailureTest, ALockedDatabaseKeepsRowsInMemoryUpToTheBoundUntilTheLockGoes) {
    TempDir dir;
    FakeClock clock;
    RecordingPort port;
    store::StoreOptions options = TestOptions(dir.Path());
    options.max_waiting = 5;
    store::Store archive(options, port, clock);
    ASSERT_TRUE(archive.Flush(10s));

    platform::SqliteConnection other = Connect(options.path);
    ASSERT_EQ(other.Exec("BEGIN EXCLUSIVE"), platform::SqliteStatus::Ok);
    for (int i = 0; i < 8; ++i) {
        archive.Append(Row(i, "锁住时的消息 " + std::to_string(i)));
    }
    const std::optional<StoreEvent> failed = port.WaitFor(StoreEvent::Kind::Failed);
    ASSERT_TRUE(failed);
    EXPECT_EQ(failed->failure, StoreFailure::Locked);
    EXPECT_EQ(failed->path, options.path);
    const std::optional<StoreEvent> dropped = port.WaitFor(StoreEvent::Kind::RowsDropped);
    ASSERT_TRUE(dropped);
    EXPECT_GE(dropped->rows, 1u);  // reported at the first drop, with what was dropped by then
    EXPECT_FALSE(archive.Flush(1ms));
    EXPECT_EQ(archive.Stats().waiting, 5u);
    EXPECT_EQ(archive.Stats().dropped, 3u);
    EXPECT_EQ(port.Count(StoreEvent::Kind::RowsDropped), 1u);

    ASSERT_EQ(other.Exec("COMMIT"), platform::SqliteStatus::Ok);
    const std::optional<StoreEvent> recovered = port.WaitFor(StoreEvent::Kind::Recovered);
    ASSERT_TRUE(recovered);
    EXPECT_EQ(recovered->rows, 5u);
    ASSERT_TRUE(archive.Flush(10s));
    EXPECT_EQ(CountRows(options.path), 5);
    // Said once, however many tries failed meanwhile.
    EXPECT_EQ(port.Count(StoreEvent::Kind::Failed), 1u);
    EXPECT_FALSE(store::StoreEventText(*failed).empty());
}

TEST(StoreFailureTest, AFileThatIsNotADatabaseOrIsDamagedIsMovedAsideAndANewOneStarted) {
    TempDir dir;
    FakeClock clock;
    const std::string path = TestOptions(dir.Path()).path;

    // Not a database at all: found at the open, before the constructor returns.
    std::string junk;
    for (int i = 0; i < 2000; ++i) {
        junk += "this is a text file, not a database " + std::to_string(i) + "\n";
    }
    ASSERT_TRUE(platform::WriteFileAtomic(path, junk));
    {
        RecordingPort port;
        store::Store archive(TestOptions(dir.Path()), port, clock);
        const std::optional<StoreEvent> aside = port.WaitFor(StoreEvent::Kind::MovedAside, 0ms);
        ASSERT_TRUE(aside);
        EXPECT_EQ(aside->failure, StoreFailure::NotADatabase);
        EXPECT_TRUE(aside->aside_path.starts_with(path + ".corrupt-")) << aside->aside_path;
        EXPECT_EQ(FileBytes(aside->aside_path), junk);
        archive.Append(Row(1, "新库的第一条"));
        ASSERT_TRUE(archive.Flush(10s));
        EXPECT_EQ(port.Count(StoreEvent::Kind::Failed), 0u);
    }
    EXPECT_EQ(CountRows(path), 1);

    // Damaged pages inside a sound header: the page check on the writer finds them.
    {
        RecordingPort port;
        store::Store archive(TestOptions(dir.Path()), port, clock);
        for (int i = 0; i < 3000; ++i) {
            archive.Append(Row(i, "一条足够长的消息，让表有好几页 " + std::to_string(i)));
        }
        ASSERT_TRUE(archive.Flush(10s));
    }
    std::int64_t root = 0;
    std::int64_t page_size = 0;
    {
        platform::SqliteConnection db = Connect(path);
        root = db.QueryInt("SELECT rootpage FROM sqlite_schema WHERE name = 'archive'").value_or(0);
        page_size = db.QueryInt("PRAGMA page_size").value_or(0);
    }
    ASSERT_GT(root, 1);
    {
        const int fd = ::open(path.c_str(), O_WRONLY);
        ASSERT_GE(fd, 0);
        const char garbage[16] = {0x7F, 0x7F, 0x7F, 0x7F, 0x7F, 0x7F, 0x7F, 0x7F,
                                  0x7F, 0x7F, 0x7F, 0x7F, 0x7F, 0x7F, 0x7F, 0x7F};
        ASSERT_EQ(::pwrite(fd, garbage, sizeof garbage, (root - 1) * page_size), 16);
        ::close(fd);
    }
    const std::string damaged = FileBytes(path);
    RecordingPort port;
    store::Store archive(TestOptions(dir.Path()), port, clock);
    archive.Append(Row(1, "损坏之后的第一条"));
    const std::optional<StoreEvent> aside = port.WaitFor(StoreEvent::Kind::MovedAside);
    ASSERT_TRUE(aside);
    EXPECT_EQ(aside->failure, StoreFailure::Corrupt);
    EXPECT_EQ(FileBytes(aside->aside_path), damaged);
    ASSERT_TRUE(archive.Flush(10s));
    EXPECT_EQ(CountRows(path), 1);
    EXPECT_EQ(CheckFile(path), "ok");
    // Never deleted: both damaged files are still there, under different names.
    int kept = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path())) {
        kept += entry.path().filename().string().starts_with("zelmo.db.corrupt-") &&
                        !entry.path().string().ends_with("-wal") &&
                        !entry.path().string().ends_with("-shm")
                    ? 1
                    : 0;
    }
    EXPECT_EQ(kept, 2);
}

// Makes a file refuse writes as a user's chmod would; root ignores modes and gets the
// immutable flag instead. Undone when it dies.
class ReadOnlyFile {
public:
    explicit ReadOnlyFile(std::string path) : m_path(std::move(path)) {
        if (::geteuid() != 0) {
            m_chmod = ::chmod(m_path.c_str(), 0444) == 0;
        } else {
            m_fd = ::open(m_path.c_str(), O_RDONLY);
            int flags = 0;
            if (m_fd >= 0 && ::ioctl(m_fd, FS_IOC_GETFLAGS, &flags) == 0) {
                flags |= FS_IMMUTABLE_FL;
                m_immutable = ::ioctl(m_fd, FS_IOC_SETFLAGS, &flags) == 0;
            }
        }
        const int probe = ::open(m_path.c_str(), O_RDWR);
        m_works = (m_chmod || m_immutable) && probe < 0;
        if (probe >= 0) {
            ::close(probe);
        }
    }
    ~ReadOnlyFile() {
        Undo();
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    bool Works() const { return m_works; }
    void Undo() {
        if (m_chmod) {
            ::chmod(m_path.c_str(), 0644);
            m_chmod = false;
        }
        if (m_immutable) {
            int flags = 0;
            ::ioctl(m_fd, FS_IOC_GETFLAGS, &flags);
            flags &= ~FS_IMMUTABLE_FL;
            ::ioctl(m_fd, FS_IOC_SETFLAGS, &flags);
            m_immutable = false;
        }
    }

private:
    std::string m_path;
    int m_fd = -1;
    bool m_chmod = false;
    bool m_immutable = false;
    bool m_works = false;
};

TEST(StoreFailureTest, AReadOnlyFileOrAMissingFolderIsReportedOnceAndWrittenWhenItWorksAgain) {
    TempDir dir;
    FakeClock clock;
    {
        // The folder is missing: no file can be made until it is there.
        RecordingPort port;
        store::StoreOptions options = TestOptions(dir.Path() + "/later");
        store::Store archive(options, port, clock);
        const std::optional<StoreEvent> failed = port.WaitFor(StoreEvent::Kind::Failed, 0ms);
        ASSERT_TRUE(failed);
        EXPECT_EQ(failed->failure, StoreFailure::CannotOpen);
        archive.Append(Row(1, "文件夹还没有"));
        ASSERT_TRUE(platform::MakeDirectories(dir.Path() + "/later"));
        ASSERT_TRUE(port.WaitFor(StoreEvent::Kind::Recovered));
        ASSERT_TRUE(archive.Flush(10s));
        EXPECT_EQ(CountRows(options.path), 1);
    }

    const std::string path = TestOptions(dir.Path()).path;
    {
        RecordingPort port;
        store::Store archive(TestOptions(dir.Path()), port, clock);
        archive.Append(Row(1, "只读之前"));
        ASSERT_TRUE(archive.Flush(10s));
    }
    ReadOnlyFile read_only(path);
    if (!read_only.Works()) {
        GTEST_SKIP() << "this file system cannot make " << path << " read-only here";
    }
    RecordingPort port;
    store::Store archive(TestOptions(dir.Path()), port, clock);
    const std::optional<StoreEvent> failed = port.WaitFor(StoreEvent::Kind::Failed, 0ms);
    ASSERT_TRUE(failed);
    EXPECT_EQ(failed->failure, StoreFailure::ReadOnly);
    archive.Append(Row(2, "只读期间"));
    EXPECT_FALSE(archive.Flush(1ms));
    // Reading still works meanwhile.
    EXPECT_EQ(OpenReader(path).LastRows(5).rows.size(), 1u);
    read_only.Undo();
    ASSERT_TRUE(port.WaitFor(StoreEvent::Kind::Recovered));
    ASSERT_TRUE(archive.Flush(10s));
    EXPECT_EQ(CountRows(path), 2);
    EXPECT_EQ(port.Count(StoreEvent::Kind::Failed), 1u);
}

long long LargestFile(const std::string& path) {
    long long largest = 0;
    for (const char* suffix : {"", "-wal", "-shm"}) {
        struct stat info {};
        if (::stat((path + suffix).c_str(), &info) == 0) {
            largest = std::max<long long>(largest, info.st_size);
        }
    }
    return largest;
}

TEST(StoreFailureTest, AFullDiskKeepsRowsInMemoryAndWritesThemWhenThereIsRoom) {
    TempDir dir;
    FakeClock clock;
    RecordingPort port;
    const store::StoreOptions options = TestOptions(dir.Path());
    store::Store archive(options, port, clock);
    archive.Append(Row(0, "第一条"));
    ASSERT_TRUE(archive.Flush(10s));

    // The file-size limit stands for a full disk: a write past it fails (EFBIG), with
    // SIGXFSZ ignored as a long-running program would.
    rlimit old_limit{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old_limit), 0);
    rlimit limit = old_limit;
    limit.rlim_cur = static_cast<rlim_t>(LargestFile(options.path) + 64LL * 1024);
    if (old_limit.rlim_cur != RLIM_INFINITY && old_limit.rlim_cur < limit.rlim_cur) {
        GTEST_SKIP() << "the file-size limit is already lower than the test needs";
    }
    struct sigaction ignore {};
    struct sigaction old_action {};
    ignore.sa_handler = SIG_IGN;
    ::sigaction(SIGXFSZ, &ignore, &old_action);
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limit), 0);
    for (int i = 1; i <= 400; ++i) {
        archive.Append(Row(i, std::string(300, 'x') + " 磁盘满了 " + std::to_string(i)));
    }
    const std::optional<StoreEvent> failed = port.WaitFor(StoreEvent::Kind::Failed);
    const rlimit raised = old_limit;
    ::setrlimit(RLIMIT_FSIZE, &raised);
    ::sigaction(SIGXFSZ, &old_action, nullptr);
    ASSERT_TRUE(failed);
    EXPECT_EQ(failed->failure, StoreFailure::Full) << failed->detail;

    ASSERT_TRUE(port.WaitFor(StoreEvent::Kind::Recovered));
    ASSERT_TRUE(archive.Flush(10s));
    EXPECT_EQ(CountRows(options.path), 401);
    EXPECT_EQ(CheckFile(options.path), "ok");
}

class SilentPort final : public store::StorePort {
public:
    void OnStoreEvent(const StoreEvent&) override {}
};

// The child: appends numbered rows at a steady pace and tells the parent, after each
// hundred, how far it got. Runs until it is killed.
[[noreturn]] void AppendUntilKilled(const std::string& folder, std::int64_t first, int report) {
    platform::SystemClock clock;
    SilentPort port;
    store::Store archive(TestOptions(folder), port, clock);
    for (std::int64_t i = first;; ++i) {
        archive.Append(Row(i, "第 " + std::to_string(i) + " 行"));
        if (i % 100 == 0) {
            const std::string line = std::to_string(i) + "\n";
            if (::write(report, line.data(), line.size()) < 0) {
                ::_exit(1);
            }
            // A burst of about 5,000 rows a second.
            std::this_thread::sleep_for(20ms);
        }
    }
}

TEST(StoreFailureTest, KillNineDuringABurstLosesAtMostTheLastSecondAndNeverTheFile) {
    TempDir dir;
    const std::string path = TestOptions(dir.Path()).path;
    using Clock = std::chrono::steady_clock;
    for (int round = 0; round < 3; ++round) {
        const std::int64_t first = round == 0 ? 1 : CountRows(path) + 1;
        int pipe_fds[2];
        ASSERT_EQ(::pipe(pipe_fds), 0);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ::close(pipe_fds[0]);
            AppendUntilKilled(dir.Path(), first, pipe_fds[1]);
        }
        ::close(pipe_fds[1]);
        // What the child had appended, and when the parent learnt it.
        std::vector<std::pair<Clock::time_point, std::int64_t>> reports;
        std::string pending;
        // A different moment each round.
        const Clock::time_point kill_at = Clock::now() + 1500ms + round * 230ms;
        while (Clock::now() < kill_at) {
            pollfd poll_fd{pipe_fds[0], POLLIN, 0};
            if (::poll(&poll_fd, 1, 10) <= 0) {
                continue;
            }
            char buffer[256];
            const ssize_t got = ::read(pipe_fds[0], buffer, sizeof buffer);
            if (got <= 0) {
                break;
            }
            pending.append(buffer, static_cast<std::size_t>(got));
            for (std::size_t end = pending.find('\n'); end != std::string::npos;
                 end = pending.find('\n')) {
                reports.emplace_back(Clock::now(), std::stoll(pending.substr(0, end)));
                pending.erase(0, end + 1);
            }
        }
        const Clock::time_point killed = Clock::now();
        ::kill(child, SIGKILL);
        int status = 0;
        ::waitpid(child, &status, 0);
        ::close(pipe_fds[0]);
        ASSERT_TRUE(WIFSIGNALED(status)) << "the child ended on its own: " << status;

        std::int64_t safe = first - 1;
        for (const auto& [when, appended] : reports) {
            if (when <= killed - 1s) {
                safe = appended;
            }
        }
        ASSERT_GT(reports.size(), 5u);
        EXPECT_EQ(CheckFile(path), "ok") << "round " << round;
        platform::SqliteConnection db = Connect(path);
        const std::int64_t count = db.QueryInt("SELECT count(*) FROM archive").value_or(-1);
        EXPECT_GE(count, safe) << "round " << round;
        // What is there is everything up to some row: nothing missing, nothing out of order.
        EXPECT_EQ(db.QueryInt("SELECT max(id) FROM archive").value_or(-1), count);
        EXPECT_EQ(db.QueryInt("SELECT count(*) FROM archive WHERE time_ms <> id OR "
                              "text <> '第 ' || id || ' 行'")
                      .value_or(-1),
                  0);
    }
}

}  // namespace
}  // namespace zelmo::test
