#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "messages/KnowledgeBase.h"
#include "messages/ReplyFile.h"
#include "platform/Files.h"
#include "support/TestSupport.h"

namespace zelmo::messages {

void PrintTo(const ReplyPair& pair, std::ostream* out) {
    *out << ::testing::PrintToString(pair.keyword) << " -> "
         << ::testing::PrintToString(pair.reply);
}

namespace {

// The reply file read the straightforward way, as the format describes it: bare line
// feeds become CR LF, the text splits at each first CR LF CR LF, each block at CR LF.
std::vector<ReplyPair> ReferencePairs(std::string_view file_text) {
    std::string text;
    for (std::size_t pos = 0; pos < file_text.size(); ++pos) {
        if (file_text[pos] == '\n' && (pos == 0 || file_text[pos - 1] != '\r')) {
            text += '\r';
        }
        text += file_text[pos];
    }
    std::vector<ReplyPair> pairs;
    std::size_t block_start = 0;
    while (block_start <= text.size()) {
        std::size_t block_end = text.find("\r\n\r\n", block_start);
        if (block_end == std::string::npos) {
            block_end = text.size();
        }
        const std::string block = text.substr(block_start, block_end - block_start);
        const std::size_t first_break = block.find("\r\n");
        if (first_break != std::string::npos) {
            const std::string keyword = block.substr(0, first_break);
            std::size_t line_start = first_break + 2;
            while (line_start <= block.size()) {
                std::size_t line_end = block.find("\r\n", line_start);
                if (line_end == std::string::npos) {
                    line_end = block.size();
                }
                if (line_end > line_start) {
                    pairs.push_back(
                        ReplyPair{keyword, block.substr(line_start, line_end - line_start)});
                }
                line_start = line_end + 2;
            }
        }
        block_start = block_end + 4;
    }
    return pairs;
}

// Files of blocks with every kind of line break: CR LF, bare LF, lone CR inside lines,
// runs of empty lines, blocks without replies, empty keywords, NUL bytes.
class RandomFiles {
public:
    explicit RandomFiles(unsigned seed) : m_random(seed) {}

    int Number(int low, int high) {
        return std::uniform_int_distribution<int>(low, high)(m_random);
    }
    std::string Word() {
        static constexpr const char* WORDS[] = {"k",   "r", "\xC4\xE3\xBA\xC3", "a b",  "\r",
                                                "x\r", "",  "[enter]",          "\xB0", "z"};
        std::string word = WORDS[Number(0, 9)];
        if (Number(0, 30) == 0) {
            word += '\0';
        }
        return word;
    }
    std::string Break() { return Number(0, 2) == 0 ? "\n" : "\r\n"; }
    std::string File() {
        std::string file;
        for (int n = Number(0, 2); n > 0; --n) {
            file += Break();
        }
        for (int block = Number(0, 6); block > 0; --block) {
            for (int line = Number(1, 4); line > 0; --line) {
                file += Word() + (line > 1 ? Break() : "");
            }
            if (block > 1) {
                for (int n = Number(2, 3); n > 0; --n) {
                    file += Break();
                }
            }
        }
        for (int n = Number(0, 3); n > 0; --n) {
            file += Break();
        }
        return file;
    }

private:
    std::mt19937 m_random;
};

TEST(ReplyFileTest, ReadsThePairsTheFormatDescribesFromAnyBytes) {
    EXPECT_EQ(ParseReplyBase("k\r\nr1\r\nr2\r\n\r\nlone\r\n\r\n\r\nx\r\n"),
              (std::vector<ReplyPair>{{"k", "r1"}, {"k", "r2"}, {"", "x"}}));
    EXPECT_EQ(BodyLength("k\r\nr\r\n\n\r\n"), 4u);
    EXPECT_EQ(BodyLength("k\r\nr\r\r\n"), 5u);
    EXPECT_EQ(BodyLength("\n\n"), 0u);
    EXPECT_EQ(LineBreakOf("k\nr\r\n"), "\n");
    EXPECT_EQ(LineBreakOf("k\r\nr\n"), "\r\n");
    EXPECT_EQ(LineBreakOf("one line"), "\r\n");

    for (unsigned seed = 1; seed <= 3000; ++seed) {
        RandomFiles files(seed);
        const std::string file = files.File();
        ASSERT_EQ(ParseReplyBase(file), ReferencePairs(file)) << "seed " << seed;
        // What precedes the trailing line breaks holds the same pairs.
        ASSERT_EQ(ParseReplyBase(std::string_view(file).substr(0, BodyLength(file))),
                  ReferencePairs(file))
            << "seed " << seed;
    }
}

std::vector<ReplyPair> RowsOf(const KnowledgeBase& base) {
    std::vector<ReplyPair> rows;
    for (std::size_t i = 0; i < base.RowCount(); ++i) {
        rows.push_back(*base.Row(i));
    }
    return rows;
}

std::vector<ReplyPair> PairsOf(const KnowledgeBase& base) {
    std::vector<ReplyPair> pairs;
    for (std::size_t i = 0; i < base.PairCount(); ++i) {
        pairs.push_back(*base.Pair(i));
    }
    return pairs;
}

// A folder in memory where there is one: thousands of saves then do not wait for the disk.
class MemoryFolder {
public:
    MemoryFolder() {
        std::string pattern = "/dev/shm/zelmo-test-XXXXXX";
        if (::mkdtemp(pattern.data()) != nullptr) {
            m_path = pattern;
        }
    }
    ~MemoryFolder() {
        std::error_code error;
        std::filesystem::remove_all(m_path, error);
    }
    MemoryFolder(const MemoryFolder&) = delete;
    MemoryFolder& operator=(const MemoryFolder&) = delete;
    std::string Path() const { return m_path.empty() ? m_fallback.Path() : m_path; }

private:
    std::string m_path;
    test::TempDir m_fallback;
};

// Random editor changes and learned pairs on random files: what a save writes always
// reads back as the rows (less those with an empty reply), the base becomes them, and a
// second save changes nothing.
TEST(ReplyFileTest, WhatASaveWritesReadsBackAsTheRows) {
    const MemoryFolder dir;
    const std::string path = dir.Path() + "/reply.ini";
    for (unsigned seed = 1; seed <= 4000; ++seed) {
        RandomFiles files(seed);
        const std::string file = files.File();
        ASSERT_TRUE(platform::WriteFileAtomic(path, file));
        KnowledgeBase base;
        base.Load(path);
        ASSERT_EQ(PairsOf(base), ReferencePairs(file)) << "seed " << seed;

        bool edited = false;
        for (int op = files.Number(0, 8); op > 0; --op) {
            const std::size_t rows = base.RowCount();
            const auto row = static_cast<std::size_t>(files.Number(0, static_cast<int>(rows)));
            switch (files.Number(0, 5)) {
                case 0:
                    base.SetRowKeyword(row, files.Word());
                    edited = edited || row < rows;
                    break;
                case 1:
                    base.SetRowReply(row, files.Word());
                    edited = edited || row < rows;
                    break;
                case 2:
                    base.InsertRow(row, files.Word(), files.Word());
                    edited = true;
                    break;
                case 3:
                    base.DeleteRow(row);
                    edited = edited || row < rows;
                    break;
                default:
                    base.LearnPair(files.Word(), files.Word() + "a");
                    break;
            }
        }
        std::vector<ReplyPair> expected = RowsOf(base);
        std::erase_if(expected, [](const ReplyPair& pair) { return pair.reply.empty(); });

        ASSERT_TRUE(base.Save(path)) << "seed " << seed;
        const std::string saved = platform::ReadFile(path);
        ASSERT_EQ(ParseReplyBase(saved), expected) << "seed " << seed;
        ASSERT_EQ(PairsOf(base), expected) << "seed " << seed;
        ASSERT_FALSE(base.Dirty());
        if (!edited) {
            // Learning alone keeps every byte of the file: the new blocks go before its
            // trailing line breaks.
            const std::size_t body = BodyLength(file);
            ASSERT_EQ(saved.substr(0, body), file.substr(0, body)) << "seed " << seed;
            ASSERT_EQ(saved.substr(saved.size() - (file.size() - body)), file.substr(body))
                << "seed " << seed;
        }
        ASSERT_TRUE(base.Save(path));
        ASSERT_EQ(platform::ReadFile(path), saved) << "seed " << seed;
    }
}

}  // namespace
}  // namespace zelmo::messages
