#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "messages/KeywordIndex.h"
#include "messages/KnowledgeBase.h"
#include "platform/Files.h"
#include "support/TestSupport.h"

namespace zelmo::messages {
namespace {

// Pieces that random texts are made of: letters in both cases, a backslash, Chinese
// characters (two whose second bytes look like "A" and "a", one whose second byte is a
// backslash), a lone lead byte that pairs with whatever follows it, so keywords and
// matches straddle characters, and the bytes the index's slots treat specially (0x00,
// 0x01 and 0xFF).
const std::vector<std::string>& Atoms() {
    static const std::vector<std::string> atoms = [] {
        std::vector<std::string> list = {
            "a",        "B",        "c",        "D",        "1",        "[",
            "\\",       "\xC4\xE3", "\xBA\xC3", "\xB0\x41", "\xB0\x61", "\x9C\x5C",
            "\x81\x40", "\xB0",     "A",        "b",        "\x01",     "\xFF",
        };
        list.emplace_back(1, '\0');
        return list;
    }();
    return atoms;
}

class RandomTexts {
public:
    explicit RandomTexts(unsigned seed) : m_random(seed) {}

    std::string Text(int min_atoms, int max_atoms) {
        std::uniform_int_distribution<int> count(min_atoms, max_atoms);
        std::uniform_int_distribution<std::size_t> atom(0, Atoms().size() - 1);
        std::string text;
        for (int n = count(m_random); n > 0; --n) {
            text += Atoms()[atom(m_random)];
        }
        return text;
    }
    // A message that mostly holds a few known keywords among random pieces.
    std::string Message(const std::vector<std::string>& keywords) {
        std::string message = Text(0, 6);
        std::uniform_int_distribution<std::size_t> pick(0, keywords.size() - 1);
        for (int n = std::uniform_int_distribution<int>(0, 3)(m_random); n > 0; --n) {
            message += keywords[pick(m_random)] + Text(0, 3);
        }
        return message;
    }

private:
    std::mt19937 m_random;
};

std::string FileOf(const std::vector<std::string>& keywords, RandomTexts& texts) {
    std::string file;
    for (const std::string& keyword : keywords) {
        if (!file.empty()) {
            file += "\r\n\r\n";
        }
        file += keyword + "\r\n" + "reply" + texts.Text(1, 2);
    }
    return file;
}

// Compares the index with the plain scan over many messages, every eighth one long enough
// for the index to search it in segments side by side; the failing message on error.
void ExpectIndexAgreesWithScan(const KnowledgeBase& base, const std::vector<std::string>& keywords,
                               RandomTexts& texts, int messages) {
    int matched = 0;
    for (int i = 0; i < messages; ++i) {
        std::string message = texts.Message(keywords);
        for (int more = i % 8 == 0 ? 12 : 0; more > 0; --more) {
            message += texts.Message(keywords);
        }
        const std::vector<std::uint32_t> expected = base.MatchingPairsByScan(message);
        ASSERT_EQ(base.MatchingPairs(message), expected) << "message bytes: " << message;
        matched += expected.empty() ? 0 : 1;
    }
    // The comparison means something only if many messages match.
    EXPECT_GT(matched, messages / 2);
}

TEST(KeywordIndexTest, GivesExactlyTheScansAnswersOnRandomBases) {
    // The last base is large enough for the index to leave holes behind and to place
    // states past its end.
    for (unsigned seed = 1; seed <= 7; ++seed) {
        RandomTexts texts(seed);
        const int count = seed == 7 ? 30000 : 300;
        std::vector<std::string> keywords;
        keywords.reserve(static_cast<std::size_t>(count));
        for (int i = 0; i < count; ++i) {
            keywords.push_back(seed == 7 ? texts.Text(2, 7) : texts.Text(1, 4));
        }
        test::TempDir dir;
        const std::string path = dir.Path() + "/reply.ini";
        platform::WriteFileAtomic(path, FileOf(keywords, texts));
        KnowledgeBase base;
        base.Load(path);
        ASSERT_EQ(base.PairCount(), keywords.size());
        ExpectIndexAgreesWithScan(base, keywords, texts, seed == 7 ? 300 : 1500);
    }
}

TEST(KeywordIndexTest, StaysExactWhileLearningAndAfterSaving) {
    RandomTexts texts(42);
    std::vector<std::string> keywords;
    keywords.reserve(5000);
    for (int i = 0; i < 100; ++i) {
        keywords.push_back(texts.Text(1, 3));
    }
    test::TempDir dir;
    const std::string path = dir.Path() + "/reply.ini";
    platform::WriteFileAtomic(path, FileOf(keywords, texts));
    KnowledgeBase base;
    base.Load(path);

    // A few learned pairs (scanned), then enough for the secondary index, then enough
    // to fold everything into one rebuilt index.
    for (int target : {110, 400, 5000}) {
        while (static_cast<int>(keywords.size()) < target) {
            keywords.push_back(texts.Text(1, 4));
            base.LearnPair(keywords.back(), "learned");
        }
        ExpectIndexAgreesWithScan(base, keywords, texts, 600);
    }
    ASSERT_TRUE(base.Save(path));
    ExpectIndexAgreesWithScan(base, keywords, texts, 600);
}

TEST(KeywordIndexTest, FindsExactKeywordsAndReportsItsSize) {
    KeywordIndex index;
    EXPECT_TRUE(index.FindExact("a").empty());
    EXPECT_EQ(index.Find(PreparedText("abc")).length, 0u);

    const std::vector<std::string_view> keywords = {"[noword]", "abc", "", "ABC", "ab", "[noword]"};
    index.Build(keywords, 10);
    EXPECT_EQ(index.FindExact(FoldKeyword("[NoWord]")), (std::vector<std::uint32_t>{10, 15}));
    EXPECT_EQ(index.FindExact("abc"), (std::vector<std::uint32_t>{11, 13}));
    EXPECT_TRUE(index.FindExact("a").empty());  // a prefix, not a keyword
    EXPECT_TRUE(index.FindExact("").empty());   // empty keywords are not indexed
    EXPECT_TRUE(index.FindExact("abcd").empty());

    const KeywordMatch match = index.Find(PreparedText("xxABCab"));
    EXPECT_EQ(match.length, 3u);
    EXPECT_EQ(match.pairs, (std::vector<std::uint32_t>{11, 13}));
    EXPECT_GT(index.MemoryBytes(), 0u);
    EXPECT_EQ(index.PairCount(), 5u);
}

}  // namespace
}  // namespace zelmo::messages
