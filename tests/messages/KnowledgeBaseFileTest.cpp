#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "messages/Intake.h"
#include "messages/KnowledgeBase.h"
#include "platform/Files.h"
#include "platform/GbkLiteral.h"
#include "platform/TextDecoding.h"
#include "support/FakeClock.h"
#include "support/TestSupport.h"

namespace zelmo::messages {
namespace {

using platform::Gbk;
using platform::TextFileState;

class KnowledgeBaseFileTest : public ::testing::Test {
protected:
    std::string Read(const std::string& path) const { return platform::ReadFile(path); }
    std::string SideFileOf(const ReplyBaseSave& saved) const {
        return saved.path.substr(0, (m_path + ".new-").size());
    }
    test::TempDir m_dir;
    std::string m_path = m_dir.Path() + "/reply.ini";
    config::Settings m_settings;
    test::FakeClock m_clock;
};

TEST_F(KnowledgeBaseFileTest, AFileThatCannotBeReadIsNeverWrittenAndSavesGoBesideIt) {
    ASSERT_TRUE(platform::MakeDirectories(m_path + "/inside"));
    KnowledgeBase base;
    const platform::TextFileReport report = base.Load(m_path);
    EXPECT_EQ(report.state, TextFileState::Unreadable);
    EXPECT_EQ(report.path, m_path);
    EXPECT_EQ(report.reason, "Is a directory");
    EXPECT_EQ(base.PairCount(), 0u);

    // Learning goes on in memory; the save names the new file it wrote.
    base.LearnPair("q1", "a1");
    EXPECT_EQ(base.LookupReply("q1", CHAT_FRIEND, m_settings, m_clock), "a1");
    const ReplyBaseSave first = base.Save(m_path);
    ASSERT_TRUE(first);
    EXPECT_TRUE(first.redirected);
    EXPECT_EQ(SideFileOf(first), m_path + ".new-");
    EXPECT_EQ(Read(first.path), "q1\r\na1");
    EXPECT_FALSE(base.Dirty());
    // Later saves of that path write the same new file again.
    base.LearnPair("q2", "a2");
    const ReplyBaseSave second = base.Save(m_path);
    ASSERT_TRUE(second);
    EXPECT_EQ(second.path, first.path);
    EXPECT_EQ(Read(second.path), "q1\r\na1\r\n\r\nq2\r\na2");
    EXPECT_TRUE(platform::FileExists(m_path + "/inside"));

    // A save to another path is not redirected; a load of a readable file ends it all.
    const ReplyBaseSave elsewhere = base.Save(m_dir.Path() + "/copy.ini");
    EXPECT_FALSE(elsewhere.redirected);
    EXPECT_EQ(Read(elsewhere.path), "q1\r\na1\r\n\r\nq2\r\na2");
    EXPECT_EQ(base.Load(elsewhere.path).state, TextFileState::Ok);
    EXPECT_FALSE(base.Save(elsewhere.path).redirected);
}

// Exit codes of the child below, for the failure message.
enum ChildResult { CHILD_OK, CHILD_READ_IT, CHILD_NO_REASON, CHILD_NOT_REDIRECTED, CHILD_NO_SAVE };

// A file the process really may not read (mode 000, read by a process without root's
// privileges) is reported, left alone, and the learned pairs go beside it.
TEST_F(KnowledgeBaseFileTest, AFileThisProcessMayNotReadIsLeftAlone) {
    const std::string original = "k\r\nr";
    ASSERT_TRUE(platform::WriteFileAtomic(m_path, original));
    ASSERT_EQ(::chmod(m_path.c_str(), 0), 0);
    ASSERT_EQ(::chmod(m_dir.Path().c_str(), 0777), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // Root reads any file: drop to "nobody" first.
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) {
            ::_exit(100);
        }
        KnowledgeBase base;
        const platform::TextFileReport report = base.Load(m_path);
        if (report.state != TextFileState::Unreadable) {
            ::_exit(CHILD_READ_IT);
        }
        if (report.reason != "Permission denied") {
            ::_exit(CHILD_NO_REASON);
        }
        base.LearnPair(Gbk("早安"), Gbk("早上好呀"));
        const ReplyBaseSave saved = base.Save(m_path);
        if (!saved.redirected) {
            ::_exit(CHILD_NOT_REDIRECTED);
        }
        ::_exit(saved && platform::ReadFile(saved.path) == Gbk("早安\r\n早上好呀") ? CHILD_OK
                                                                                   : CHILD_NO_SAVE);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 100) {
        GTEST_SKIP() << "cannot drop root's privileges here";
    }
    EXPECT_EQ(WEXITSTATUS(status), CHILD_OK)
        << "1: read it, 2: no reason, 3: not redirected, 4: no save";
    ASSERT_EQ(::chmod(m_path.c_str(), 0600), 0);
    EXPECT_EQ(Read(m_path), original);
    EXPECT_EQ(platform::FindFiles(m_dir.Path(), "reply.ini.new-*").size(), 1u);
}

TEST_F(KnowledgeBaseFileTest, AUtf8FileIsConvertedAndItsOriginalKept) {
    // "你好\r\n您好" in UTF-8 with a byte-order mark, as an editor may save it.
    const std::string utf8 = std::string(platform::UTF8_BOM) +
                             "\xE4\xBD\xA0\xE5\xA5\xBD\r\n\xE6\x82\xA8\xE5\xA5\xBD\r\n";
    ASSERT_TRUE(platform::WriteFileAtomic(m_path, utf8));
    KnowledgeBase base;
    const platform::TextFileReport report = base.Load(m_path);
    EXPECT_EQ(report.state, TextFileState::Converted);
    EXPECT_EQ(report.backup_path, m_path + ".utf8-backup");
    EXPECT_EQ(Read(report.backup_path), utf8);
    EXPECT_EQ(base.LookupReply(Gbk("你好啊"), CHAT_FRIEND, m_settings, m_clock), Gbk("您好"));

    // Written back as GBK; the UTF-8 file stays as the backup and as the .bak.
    base.LearnPair("q", "a");
    ASSERT_TRUE(base.Save(m_path));
    EXPECT_EQ(Read(m_path), Gbk("你好\r\n您好\r\n\r\nq\r\na\r\n"));
    EXPECT_EQ(Read(report.backup_path), utf8);
    EXPECT_EQ(Read(platform::BackupPath(m_path)), utf8);
    EXPECT_EQ(base.Load(m_path).state, TextFileState::Ok);
}

TEST_F(KnowledgeBaseFileTest, BytesThatHoldNoPairStayThroughALearnedPair) {
    // One long line (no pair in it), with bytes of every kind.
    std::string line;
    for (int i = 0; i < 1 << 20; ++i) {
        line += static_cast<char>(i % 251 == 10 || i % 251 == 13 ? 'x' : i % 251);
    }
    line += "\r";
    ASSERT_TRUE(platform::WriteFileAtomic(m_path, line));
    KnowledgeBase base;
    base.Load(m_path);
    EXPECT_EQ(base.PairCount(), 0u);
    base.LearnPair("q", "a");
    ASSERT_TRUE(base.Save(m_path));
    // The line's last CR stays a byte of the line.
    EXPECT_EQ(Read(m_path), line + "\r\n\r\nq\r\na");
    KnowledgeBase reread;
    reread.Load(m_path);
    ASSERT_EQ(reread.PairCount(), 1u);
    EXPECT_EQ(reread.Pair(0)->keyword, "q");
}

TEST_F(KnowledgeBaseFileTest, EditorChangesRewriteOnlyTheBlocksTheyTouch) {
    // Blocks apart by one, two and three empty lines, a note line without replies, the
    // file's own line breaks (LF) and no final line break.
    const std::string file = "a\n1\n2\n\nnote\n\n\nb\n3\n\n\n\nc\n4\n5\n\nd\n6\n7";
    ASSERT_TRUE(platform::WriteFileAtomic(m_path, file));
    KnowledgeBase base;
    base.Load(m_path);
    // A second empty line starts the next block: "b" is a reply to an empty keyword.
    ASSERT_EQ(base.PairCount(), 8u);
    ASSERT_EQ(base.Row(2)->keyword, "");
    ASSERT_EQ(base.Row(2)->reply, "b");

    base.SetRowReply(5, "five");    // c's second reply: c stays one block
    base.InsertRow(0, "new", "0");  // before a
    base.DeleteRow(7);              // d's first reply (rows moved by one)
    base.LearnPair("q", "a");
    ASSERT_TRUE(base.Save(m_path));
    EXPECT_EQ(Read(m_path),
              "new\n0\n\na\n1\n2\n\nnote\n\n\nb\n3\n\n\n\nc\n4\nfive\n\nd\n7\n\nq\na");
    // The base is now what the file holds.
    EXPECT_EQ(base.PairCount(), 9u);
    EXPECT_EQ(base.Pair(6)->reply, "five");
    EXPECT_FALSE(base.Dirty());
}

}  // namespace
}  // namespace zelmo::messages
