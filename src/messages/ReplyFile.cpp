#include "messages/ReplyFile.h"

namespace zelmo::messages {

namespace {

constexpr std::string_view CRLF = "\r\n";
constexpr std::string_view LF = "\n";

// The start of the line break whose LF is at `newline`, for a line that starts at `line`.
std::size_t BreakStart(std::string_view text, std::size_t line, std::size_t newline) {
    return newline > line && text[newline - 1] == '\r' ? newline - 1 : newline;
}

}  // namespace

bool ReplyBlockReader::Next(ReplyBlock& block) {
    if (m_done) {
        return false;
    }
    block.start = m_pos;
    block.keyword_end = std::string_view::npos;
    std::size_t line = m_pos;
    while (true) {
        const std::size_t newline = m_text.find('\n', line);
        if (newline == std::string_view::npos) {
            block.end = m_text.size();
            if (block.keyword_end == std::string_view::npos) {
                block.keyword_end = block.end;
            }
            m_done = true;
            return true;
        }
        const std::size_t line_break = BreakStart(m_text, line, newline);
        if (block.keyword_end == std::string_view::npos) {
            block.keyword_end = line_break;
        }
        // An empty line right after this break ends the block.
        const std::size_t after = newline + 1;
        std::size_t next = std::string_view::npos;
        if (after < m_text.size() && m_text[after] == '\n') {
            next = after + 1;
        } else if (after + 1 < m_text.size() && m_text[after] == '\r' &&
                   m_text[after + 1] == '\n') {
            next = after + 2;
        }
        if (next != std::string_view::npos) {
            block.end = line_break;
            m_pos = next;
            return true;
        }
        line = after;
    }
}

ReplyLineReader::ReplyLineReader(std::string_view text, const ReplyBlock& block)
    : m_text(text), m_pos(block.end), m_end(block.end) {
    if (block.keyword_end < block.end) {
        m_pos = block.keyword_end + (text[block.keyword_end] == '\r' ? 2 : 1);
    }
}

bool ReplyLineReader::Next(std::size_t& offset, std::size_t& length) {
    while (m_pos < m_end) {
        const std::size_t line = m_pos;
        std::size_t newline = m_text.substr(0, m_end).find('\n', line);
        std::size_t line_end = m_end;
        if (newline == std::string_view::npos) {
            m_pos = m_end;
        } else {
            line_end = BreakStart(m_text, line, newline);
            m_pos = newline + 1;
        }
        if (line_end > line) {
            offset = line;
            length = line_end - line;
            return true;
        }
    }
    return false;
}

std::size_t BodyLength(std::string_view text) {
    std::size_t end = text.size();
    while (end > 0 && text[end - 1] == '\n') {
        --end;
        if (end > 0 && text[end - 1] == '\r') {
            --end;
        }
    }
    return end;
}

std::string_view LineBreakOf(std::string_view text) {
    const std::size_t newline = text.find('\n');
    return newline != std::string_view::npos && (newline == 0 || text[newline - 1] != '\r') ? LF
                                                                                            : CRLF;
}

std::vector<ReplyPair> ParseReplyBase(std::string_view text) {
    std::vector<ReplyPair> pairs;
    ReplyBlockReader blocks(text);
    ReplyBlock block;
    while (blocks.Next(block)) {
        const std::string_view keyword = text.substr(block.start, block.keyword_end - block.start);
        ReplyLineReader lines(text, block);
        std::size_t offset = 0;
        std::size_t length = 0;
        while (lines.Next(offset, length)) {
            pairs.push_back(
                ReplyPair{std::string(keyword), std::string(text.substr(offset, length))});
        }
    }
    return pairs;
}

}  // namespace zelmo::messages
