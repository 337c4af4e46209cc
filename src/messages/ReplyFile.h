#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace zelmo::messages {

// The reply file ("config/reply.ini", GBK): blocks apart by an empty line; in a block the
// first line is the keyword and every further non-empty line one reply for it. Lines end
// in CR LF, or in a bare LF in a file written elsewhere; any other byte, a lone CR
// included, belongs to its line. Blocks split at the first empty line after a line break,
// so three breaks in a row leave the third at the start of the next block (an empty
// keyword). Everything here reads the bytes in place and takes any bytes.

// One keyword with one reply (GBK).
struct ReplyPair {
    std::string keyword;
    std::string reply;

    bool operator==(const ReplyPair&) const = default;
};

// Where one block lies in the text; the separator (two line breaks) follows its end.
struct ReplyBlock {
    std::size_t start = 0;        // its first byte: the keyword line
    std::size_t end = 0;          // one past its last byte
    std::size_t keyword_end = 0;  // end of the keyword line (== end for a one-line block)
};

// The blocks of a text in order, blocks without replies included (an empty text is one
// empty block).
class ReplyBlockReader {
public:
    explicit ReplyBlockReader(std::string_view text) : m_text(text) {}
    // The next block; false after the last.
    bool Next(ReplyBlock& block);

private:
    std::string_view m_text;
    std::size_t m_pos = 0;
    bool m_done = false;
};

// The non-empty reply lines of a block, as offsets into the text.
class ReplyLineReader {
public:
    ReplyLineReader(std::string_view text, const ReplyBlock& block);
    // The next reply line; false after the last.
    bool Next(std::size_t& offset, std::size_t& length);

private:
    std::string_view m_text;
    std::size_t m_pos;
    std::size_t m_end;
};

// The text's length without its trailing line breaks: new blocks go there, before them.
std::size_t BodyLength(std::string_view text);

// The text's line break: a bare LF when its first line ends in one, else CR LF.
std::string_view LineBreakOf(std::string_view text);

// The pairs of a reply file's text, in order.
std::vector<ReplyPair> ParseReplyBase(std::string_view text);

}  // namespace zelmo::messages
