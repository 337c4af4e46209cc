#include <gtest/gtest.h>

#include <map>
#include <string>
#include <thread>
#include <vector>

#include "messages/Intake.h"
#include "messages/KnowledgeBase.h"
#include "platform/Files.h"
#include "platform/GbkLiteral.h"
#include "support/FakeClock.h"
#include "support/TestSupport.h"

namespace zelmo::messages {
namespace {

using platform::Gbk;

// A base loaded from the given file text.
class LoadedBase {
public:
    explicit LoadedBase(const std::string& file_text) {
        platform::WriteFileAtomic(Path(), file_text);
        base.Load(Path());
    }
    std::string Path() const { return dir.Path() + "/reply.ini"; }
    std::string FileText() const { return platform::ReadFile(Path()); }

    test::TempDir dir;
    KnowledgeBase base;
};

std::string Block(const std::string& keyword, const std::string& reply) {
    return keyword + "\r\n" + reply;
}

TEST(KnowledgeBaseTest, TheLongestMatchingKeywordWinsByBytes) {
    // "天气" is 4 bytes, "今天天气" 8 bytes, "ab" 2 bytes.
    LoadedBase loaded(Block(Gbk("天气"), "short") + "\r\n\r\n" + Block(Gbk("今天天气"), "long") +
                      "\r\n\r\n" + Block("ab", "latin"));
    const config::Settings settings;
    test::FakeClock clock;
    EXPECT_EQ(loaded.base.LookupReply(Gbk("今天天气不错ab"), CHAT_FRIEND, settings, clock), "long");
    EXPECT_EQ(loaded.base.LookupReply(Gbk("天气不错ab"), CHAT_FRIEND, settings, clock), "short");
    EXPECT_EQ(loaded.base.LookupReply("xxabxx", CHAT_FRIEND, settings, clock), "latin");
}

TEST(KnowledgeBaseTest, EquallyLongKeywordsShareTheChanceAndShorterOnesNeverWin) {
    // Two replies for a two-character Chinese keyword (4 bytes) and a four-letter Latin
    // keyword (also 4 bytes): three equal candidates; a 2-letter keyword never wins.
    LoadedBase loaded(Block(Gbk("你好"), "cn1\r\ncn2") + "\r\n\r\n" + Block("HIYA", "latin4") +
                      "\r\n\r\n" + Block("hi", "latin2"));
    const config::Settings settings;
    test::FakeClock clock;
    const std::string message = Gbk("hiya你好");

    // The draw picks by file order: 1 and 2 the Chinese replies, 3 the Latin one.
    clock.ScriptRandom({1, 2, 3});
    EXPECT_EQ(loaded.base.LookupReply(message, CHAT_FRIEND, settings, clock), "cn1");
    EXPECT_EQ(loaded.base.LookupReply(message, CHAT_FRIEND, settings, clock), "cn2");
    EXPECT_EQ(loaded.base.LookupReply(message, CHAT_FRIEND, settings, clock), "latin4");

    std::map<std::string, int> seen;
    constexpr int DRAWS = 3000;
    for (int i = 0; i < DRAWS; ++i) {
        ++seen[loaded.base.LookupReply(message, CHAT_FRIEND, settings, clock)];
    }
    EXPECT_EQ(seen.count("latin2"), 0u);
    ASSERT_EQ(seen.size(), 3u);
    for (const auto& [reply, count] : seen) {
        EXPECT_GT(count, DRAWS / 3 - 150) << reply;
        EXPECT_LT(count, DRAWS / 3 + 150) << reply;
    }
}

TEST(KnowledgeBaseTest, CaseIsIgnoredForAsciiLettersOnlyAndMatchesStartOnCharacters) {
    // 0xB0 0x41 and 0xB0 0x61 are two different characters whose second bytes look like
    // "A" and "a"; folding must not make them equal, and "a" must not match inside them.
    const std::string upper_char = "\xB0\x41";
    const std::string lower_char = "\xB0\x61";
    LoadedBase loaded(Block("HeLLo", "greeting") + "\r\n\r\n" + Block(upper_char, "char") +
                      "\r\n\r\n" + Block("A", "letter"));
    const config::Settings settings;
    test::FakeClock clock;
    EXPECT_EQ(loaded.base.LookupReply("say hello!", CHAT_FRIEND, settings, clock), "greeting");
    EXPECT_EQ(loaded.base.LookupReply("SAY HELLO!", CHAT_FRIEND, settings, clock), "greeting");
    EXPECT_EQ(loaded.base.LookupReply(upper_char, CHAT_FRIEND, settings, clock), "char");
    // Neither the other character nor its "a"-looking second byte answers.
    EXPECT_EQ(loaded.base.MatchingPairs(lower_char), std::vector<std::uint32_t>{});
    EXPECT_EQ(loaded.base.MatchingPairs("x" + lower_char + "x"),
              loaded.base.MatchingPairsByScan("x" + lower_char + "x"));
    EXPECT_EQ(loaded.base.LookupReply(lower_char + "a", CHAT_FRIEND, settings, clock), "letter");
}

TEST(KnowledgeBaseTest, ReplyChanceSilencesGroupsOnlyAndNonNumbersCountAsZero) {
    LoadedBase loaded(Block("hi", "hello"));
    config::Settings settings;
    test::FakeClock clock;
    for (const char* chance : {"0", "abc", ""}) {
        settings.回复几率 = chance;
        EXPECT_EQ(loaded.base.LookupReply("hi", CHAT_GROUP, settings, clock), "") << chance;
        EXPECT_EQ(loaded.base.LookupReply("hi", CHAT_FRIEND, settings, clock), "hello") << chance;
    }
    settings.回复几率 = "50";
    // The chance is drawn first, then the pick among the candidates.
    clock.ScriptRandom({50, 1, 51});
    EXPECT_EQ(loaded.base.LookupReply("hi", CHAT_GROUP, settings, clock), "hello");
    EXPECT_EQ(loaded.base.LookupReply("hi", CHAT_GROUP, settings, clock), "");
    settings.回复几率 = "100";
    clock.ScriptRandom({100, 1});
    EXPECT_EQ(loaded.base.LookupReply("hi", CHAT_GROUP, settings, clock), "hello");
    EXPECT_EQ(clock.RandomCalls(), 2 * 3 + 5);
}

TEST(KnowledgeBaseTest, DefaultAnswersComeFromExactNoWordPairsWhenTheChatTypeWantsThem) {
    config::Settings settings;  // friend default on, group default off
    test::FakeClock clock;
    {
        LoadedBase without(Block("hey", "hello") + "\r\n\r\n" + Block("[NOWORD]", "shouted"));
        EXPECT_EQ(without.base.LookupReply("xyz", CHAT_FRIEND, settings, clock), "");
    }
    LoadedBase loaded(Block("hey", "hello") + "\r\n\r\n" + Block("[noword]", "pardon?"));
    EXPECT_EQ(loaded.base.LookupReply("xyz", CHAT_FRIEND, settings, clock), "pardon?");
    EXPECT_EQ(loaded.base.LookupReply("xyz", CHAT_GROUP, settings, clock), "");
    settings.群默认 = true;
    settings.好友默认 = false;
    EXPECT_EQ(loaded.base.LookupReply("xyz", CHAT_GROUP, settings, clock), "pardon?");
    EXPECT_EQ(loaded.base.LookupReply("xyz", CHAT_FRIEND, settings, clock), "");
    // A match never falls back to the default.
    EXPECT_EQ(loaded.base.LookupReply("hey", CHAT_GROUP, settings, clock), "hello");
}

TEST(KnowledgeBaseTest, TheFileFormatLoadsAndAnUnchangedBaseSavesByteForByte) {
    // A keyword with two replies, a block without a reply line, a keyword with one reply,
    // and a final line break.
    const std::string file = "k1\r\nr1\r\nr2\r\n\r\nlonely\r\n\r\nk2\r\nr3\r\n";
    LoadedBase loaded(file);
    EXPECT_EQ(loaded.base.PairCount(), 3u);
    EXPECT_EQ(loaded.base.RowCount(), 3u);
    EXPECT_FALSE(loaded.base.Dirty());
    ASSERT_TRUE(loaded.base.Pair(1));
    EXPECT_EQ(loaded.base.Pair(1)->keyword, "k1");
    EXPECT_EQ(loaded.base.Pair(1)->reply, "r2");

    const ReplyBaseSave saved = loaded.base.Save(loaded.Path());
    ASSERT_TRUE(saved);
    EXPECT_EQ(saved.path, loaded.Path());
    EXPECT_FALSE(saved.redirected);
    EXPECT_EQ(loaded.FileText(), file);
    // The file it replaced stays as its .bak; no temporary file is left beside them.
    EXPECT_EQ(platform::ReadFile(platform::BackupPath(loaded.Path())), file);
    EXPECT_EQ(platform::FindFiles(loaded.dir.Path(), "*"),
              (std::vector<std::string>{"reply.ini", "reply.ini.bak"}));

    // Learned pairs go after the last block, before the final line break, in the file's
    // own line breaks.
    loaded.base.LearnPair("q", "a");
    ASSERT_TRUE(loaded.base.Save(loaded.Path()));
    EXPECT_EQ(loaded.FileText(), "k1\r\nr1\r\nr2\r\n\r\nlonely\r\n\r\nk2\r\nr3\r\n\r\nq\r\na\r\n");
    EXPECT_EQ(platform::ReadFile(platform::BackupPath(loaded.Path())), file);

    // A missing file is an empty base.
    KnowledgeBase empty;
    EXPECT_EQ(empty.Load(loaded.dir.Path() + "/missing.ini").state,
              platform::TextFileState::Missing);
    EXPECT_EQ(empty.PairCount(), 0u);
}

TEST(KnowledgeBaseTest, LinesEndingInBareLineFeedsAndEmptyRepliesKeepTheFileIntact) {
    // A file written by a Unix editor, with a trailing line break.
    LoadedBase unix_file("k1\nr1\n\nk2\nr2\n");
    EXPECT_EQ(unix_file.base.PairCount(), 2u);
    const config::Settings settings;
    test::FakeClock clock;
    EXPECT_EQ(unix_file.base.LookupReply("k2", CHAT_FRIEND, settings, clock), "r2");

    // An emptied reply cannot be written without swallowing the next block: it is left
    // out, and the untouched block keeps its bytes.
    unix_file.base.SetRowReply(0, "");
    unix_file.base.LearnPair("q", "a");
    ASSERT_TRUE(unix_file.base.Save(unix_file.Path()));
    EXPECT_EQ(unix_file.FileText(), "k2\nr2\n\nq\na\n");
    KnowledgeBase reread;
    reread.Load(unix_file.Path());
    ASSERT_EQ(reread.PairCount(), 2u);
    EXPECT_EQ(reread.Pair(0)->keyword, "k2");
    EXPECT_EQ(unix_file.base.PairCount(), 2u);
    EXPECT_FALSE(unix_file.base.Dirty());
}

TEST(KnowledgeBaseTest, AFailedSaveKeepsTheBaseDirtyAndTheOldFile) {
    LoadedBase loaded(Block("k", "r"));
    loaded.base.LearnPair("q", "a");
    EXPECT_FALSE(loaded.base.Save(loaded.dir.Path() + "/no/such/folder/reply.ini"));
    EXPECT_TRUE(loaded.base.Dirty());
    ASSERT_TRUE(loaded.base.Save(loaded.Path()));
    EXPECT_FALSE(loaded.base.Dirty());
    EXPECT_EQ(loaded.FileText(), "k\r\nr\r\n\r\nq\r\na");
}

TEST(KnowledgeBaseTest, LearnedPairsAnswerAtOnceAndSurviveTheEditorsCancel) {
    LoadedBase loaded(Block("k", "r"));
    int changes = 0;
    loaded.base.SetChangeListener([&changes] { ++changes; });
    const config::Settings settings;
    test::FakeClock clock;

    loaded.base.LearnPair(Gbk("天气"), Gbk("晴\r\n多云\n有雨"));
    EXPECT_EQ(changes, 1);
    EXPECT_TRUE(loaded.base.Dirty());
    EXPECT_EQ(loaded.base.RowCount(), 2u);
    EXPECT_EQ(loaded.base.LookupReply(Gbk("今天天气"), CHAT_FRIEND, settings, clock),
              Gbk("晴[enter]多云[enter]有雨"));
    // The file is not written by learning; an empty answer is not learned.
    EXPECT_EQ(loaded.FileText(), Block("k", "r"));
    loaded.base.LearnPair("empty", "");
    EXPECT_EQ(loaded.base.PairCount(), 2u);

    // The editor's cancel drops its own changes, not what was learned meanwhile, before
    // or after them.
    loaded.base.SetRowKeyword(0, "edited");
    loaded.base.InsertRow(0, "added", "row");
    loaded.base.LearnPair("q", "a");
    EXPECT_EQ(loaded.base.RowCount(), 4u);
    const std::uint64_t generation = loaded.base.RowsGeneration();
    loaded.base.DiscardEdits();
    EXPECT_GT(loaded.base.RowsGeneration(), generation);
    ASSERT_EQ(loaded.base.RowCount(), 3u);
    EXPECT_EQ(loaded.base.Row(0)->keyword, "k");
    EXPECT_EQ(loaded.base.Row(2)->keyword, "q");
    EXPECT_TRUE(loaded.base.Dirty());
    EXPECT_EQ(loaded.base.LookupReply("q", CHAT_FRIEND, settings, clock), "a");
    ASSERT_TRUE(loaded.base.Save(loaded.Path()));
    EXPECT_EQ(loaded.FileText(), Block("k", "r") + "\r\n\r\n" +
                                     Block(Gbk("天气"), Gbk("晴[enter]多云[enter]有雨")) +
                                     "\r\n\r\n" + Block("q", "a"));

    // Edits alone are all the cancel leaves nothing unsaved of.
    loaded.base.SetRowReply(1, "changed");
    EXPECT_TRUE(loaded.base.Dirty());
    loaded.base.DiscardEdits();
    EXPECT_FALSE(loaded.base.Dirty());
    EXPECT_EQ(loaded.base.Row(1)->reply, Gbk("晴[enter]多云[enter]有雨"));
}

TEST(KnowledgeBaseTest, EditorRowsChangeTheBaseOnlyWhenSaved) {
    LoadedBase loaded(Block("k1", "r1") + "\r\n\r\n" + Block("k2", "r2"));
    const config::Settings settings;
    test::FakeClock clock;

    loaded.base.SetRowKeyword(0, "changed");
    EXPECT_TRUE(loaded.base.Dirty());
    EXPECT_EQ(loaded.base.Row(0)->keyword, "changed");
    // A reload would drop the editor's changes: refused.
    EXPECT_FALSE(loaded.base.Reload(loaded.Path()).done);
    EXPECT_EQ(loaded.base.Row(0)->keyword, "changed");
    // Lookups still answer from the base as loaded.
    EXPECT_EQ(loaded.base.LookupReply("k1", CHAT_FRIEND, settings, clock), "r1");
    EXPECT_EQ(loaded.base.LookupReply("changed", CHAT_FRIEND, settings, clock), "");

    loaded.base.InsertRow(1, "mid", "line one\nline two");
    loaded.base.DeleteRow(2);  // k2
    loaded.base.InsertRow(99, "end", "last");
    loaded.base.DeleteRow(99);  // out of range: ignored
    loaded.base.SetRowReply(99, "ignored");
    // Learning while the rows differ reaches both.
    loaded.base.LearnPair("q", "a");
    EXPECT_EQ(loaded.base.RowCount(), 4u);
    EXPECT_EQ(loaded.base.LookupReply("q", CHAT_FRIEND, settings, clock), "a");

    ASSERT_TRUE(loaded.base.Save(loaded.Path()));
    EXPECT_EQ(
        loaded.FileText(),
        "changed\r\nr1\r\n\r\nmid\r\nline one[enter]line two\r\n\r\nend\r\nlast\r\n\r\nq\r\na");
    EXPECT_EQ(loaded.base.LookupReply("changed", CHAT_FRIEND, settings, clock), "r1");
    EXPECT_EQ(loaded.base.LookupReply("k2", CHAT_FRIEND, settings, clock), "");
    EXPECT_EQ(loaded.base.PairCount(), 4u);
}

TEST(KnowledgeBaseTest, EmptyKeywordsNeverAnswer) {
    LoadedBase loaded("\r\nreply for nothing\r\n\r\nk\r\nr");
    const config::Settings settings;
    test::FakeClock clock;
    EXPECT_EQ(loaded.base.PairCount(), 2u);
    EXPECT_EQ(loaded.base.LookupReply("anything", CHAT_FRIEND, settings, clock), "");
    EXPECT_EQ(loaded.base.LookupReply("k", CHAT_FRIEND, settings, clock), "r");
}

// A reload in between carries every pair learned, whenever it was learned.
TEST(KnowledgeBaseTest, LookupsRunWhileOtherThreadsLearnAndTheFileIsReadAgain) {
    LoadedBase loaded(Block("seed", "s"));
    const config::Settings settings;
    std::vector<std::thread> threads;
    threads.reserve(3);
    for (int t = 0; t < 3; ++t) {
        threads.emplace_back([&loaded, t] {
            for (int i = 0; i < 300; ++i) {
                loaded.base.LearnPair("q" + std::to_string(t) + "_" + std::to_string(i), "a");
            }
        });
    }
    std::size_t reloads = 0;
    std::thread reloader([&loaded, &reloads] {
        for (int i = 0; i < 20; ++i) {
            reloads += loaded.base.Reload(loaded.Path()).done ? 1 : 0;
        }
    });
    bool answered = true;
    std::thread reader([&] {
        test::FakeClock clock;
        for (int i = 0; i < 2000; ++i) {
            answered =
                answered && loaded.base.LookupReply("seed", CHAT_FRIEND, settings, clock) == "s";
        }
    });
    for (std::thread& thread : threads) {
        thread.join();
    }
    reader.join();
    reloader.join();
    EXPECT_TRUE(answered);
    EXPECT_EQ(reloads, 20u);
    EXPECT_EQ(loaded.base.PairCount(), 901u);
    EXPECT_TRUE(loaded.base.Dirty());
    test::FakeClock clock;
    EXPECT_EQ(loaded.base.LookupReply("xq2_299x", CHAT_FRIEND, settings, clock), "a");
}

TEST(ReplyChanceTest, ReadsTheLeadingNumberAndDrawsOnceEveryTime) {
    test::FakeClock clock;
    clock.ScriptRandom({1, 100, 30, 31, 1});
    EXPECT_FALSE(PassesReplyChance("0", clock));
    EXPECT_TRUE(PassesReplyChance("100", clock));
    EXPECT_TRUE(PassesReplyChance(" 30%", clock));
    EXPECT_FALSE(PassesReplyChance("30", clock));
    EXPECT_FALSE(PassesReplyChance("-5", clock));
    EXPECT_EQ(clock.RandomCalls(), 5);
}

}  // namespace
}  // namespace zelmo::messages
