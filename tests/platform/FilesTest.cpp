#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "platform/Files.h"
#include "support/TestSupport.h"

namespace zelmo::platform {
namespace {

using Names = std::vector<std::string>;

TEST(FilesTest, AtomicWriteReplacesAndLeavesNoTemporaryFile) {
    const test::TempDir dir;
    const std::string path = dir.Path() + "/reply.ini";
    EXPECT_EQ(ReadFile(path), "");
    EXPECT_FALSE(FileExists(path));
    ASSERT_TRUE(WriteFileAtomic(path, "old"));
    ASSERT_TRUE(WriteFileAtomic(path, std::string("new\0bytes", 9)));
    EXPECT_EQ(ReadFile(path), std::string("new\0bytes", 9));
    EXPECT_EQ(FindFiles(dir.Path(), "*"), Names{"reply.ini"});
    ASSERT_TRUE(WriteFileAtomic(path, ""));
    EXPECT_TRUE(FileExists(path));
    EXPECT_EQ(ReadFile(path), "");
}

mode_t ModeOf(const std::string& path) {
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 ? status.st_mode & 0777 : 0;
}

// A file kept private (or shared) stays so when it is replaced.
TEST(FilesTest, AtomicWriteKeepsTheReplacedFilesPermissions) {
    const test::TempDir dir;
    const std::string path = dir.Path() + "/mzset.ini";
    for (const mode_t mode : {mode_t{0600}, mode_t{0640}, mode_t{0444}}) {
        ASSERT_TRUE(WriteFileAtomic(path, "old"));
        ASSERT_EQ(::chmod(path.c_str(), mode), 0);
        ASSERT_TRUE(WriteFileAtomic(path, "new"));
        EXPECT_EQ(ModeOf(path), mode);
        EXPECT_EQ(ReadFile(path), "new");
        ASSERT_EQ(::chmod(path.c_str(), 0644), 0);
    }
    // A new file gets what the umask leaves of 0666.
    const mode_t mask = ::umask(0022);
    ::umask(mask);
    const std::string fresh = dir.Path() + "/fresh.ini";
    ASSERT_TRUE(WriteFileAtomic(fresh, "x"));
    EXPECT_EQ(ModeOf(fresh), 0666 & ~mask);
}

TEST(FilesTest, FailedAtomicWriteKeepsTheOldStateAndCleansUp) {
    const test::TempDir dir;
    // The target folder is gone.
    EXPECT_FALSE(WriteFileAtomic(dir.Path() + "/vanished/file.ini", "x"));
    EXPECT_FALSE(FileExists(dir.Path() + "/vanished"));
    // The rename cannot replace a non-empty folder: it stays, and no temporary is left.
    const std::string blocked = dir.Path() + "/blocked";
    ASSERT_TRUE(MakeDirectories(blocked + "/inner"));
    EXPECT_FALSE(WriteFileAtomic(blocked, "x"));
    EXPECT_TRUE(FileExists(blocked + "/inner"));
    EXPECT_TRUE(FindFiles(dir.Path(), "*").empty());
    EXPECT_FALSE(WriteFileAtomic("", "x"));
}

TEST(FilesTest, ReadingSomethingThatIsNoFile) {
    const test::TempDir dir;
    std::string bytes = "stale";
    EXPECT_FALSE(TryReadFile(dir.Path(), bytes));
    EXPECT_EQ(bytes, "");
    EXPECT_TRUE(TryReadFile(dir.Path() + "/missing", bytes));
    EXPECT_EQ(ReadFile(dir.Path()), "");
}

TEST(FilesTest, FindFilesMatchesWildcardsAndSortsNames) {
    const test::TempDir dir;
    for (const char* name : {"b.mzp.so", "a.mzp.so", "a.mzp.so.ini", "x.so", "ab.so", ".mzp.so"}) {
        ASSERT_TRUE(WriteFileAtomic(dir.Path() + "/" + name, "x"));
    }
    ASSERT_TRUE(MakeDirectories(dir.Path() + "/dir.mzp.so"));
    EXPECT_EQ(FindFiles(dir.Path(), "*.mzp.so"), (Names{".mzp.so", "a.mzp.so", "b.mzp.so"}));
    EXPECT_EQ(FindFiles(dir.Path(), "?.so"), Names{"x.so"});
    EXPECT_EQ(FindFiles(dir.Path(), "a*.ini"), Names{"a.mzp.so.ini"});
    EXPECT_TRUE(FindFiles(dir.Path() + "/missing", "*").empty());

    EXPECT_TRUE(MatchWildcard("", "*"));
    EXPECT_TRUE(MatchWildcard("abcbc", "a*bc"));
    EXPECT_TRUE(MatchWildcard("a.mzp.so", "*.*.so"));
    EXPECT_FALSE(MatchWildcard("a.mzp.so.ini", "*.mzp.so"));
    EXPECT_FALSE(MatchWildcard("A.MZP.SO", "*.mzp.so"));
    EXPECT_FALSE(MatchWildcard("", "?"));
    EXPECT_FALSE(MatchWildcard(std::string(200, 'a'), std::string(50, '*') + "b"));
}

TEST(FilesTest, DirectoriesAndDeletion) {
    const test::TempDir dir;
    const std::string nested = dir.Path() + "/acct/config";
    // Folders made for the robot's data are the user's alone; one already there stays.
    const mode_t mask = ::umask(0022);
    ASSERT_EQ(::chmod(dir.Path().c_str(), 0755), 0);
    EXPECT_TRUE(MakeDirectories(nested));
    ::umask(mask);
    EXPECT_EQ(ModeOf(dir.Path()), 0755u);
    EXPECT_EQ(ModeOf(dir.Path() + "/acct"), 0700u);
    EXPECT_EQ(ModeOf(nested), 0700u);
    EXPECT_TRUE(MakeDirectories(nested));  // already there
    ASSERT_TRUE(WriteFileAtomic(dir.Path() + "/file", "x"));
    EXPECT_FALSE(MakeDirectories(dir.Path() + "/file"));
    EXPECT_FALSE(MakeDirectories(dir.Path() + "/file/sub"));
    EXPECT_EQ(MakePrivateDirectories(dir.Path() + "/file/sub"), "Not a directory");

    EXPECT_TRUE(DeleteFile(dir.Path() + "/file"));
    EXPECT_FALSE(FileExists(dir.Path() + "/file"));
    EXPECT_FALSE(DeleteFile(dir.Path() + "/file"));
    EXPECT_FALSE(DeleteFile(nested));  // folders are not files
    EXPECT_TRUE(FileExists(nested));
}

}  // namespace
}  // namespace zelmo::platform
