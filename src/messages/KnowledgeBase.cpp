#include "messages/KnowledgeBase.h"

#include <algorithm>
#include <mutex>
#include <utility>

#include "messages/Intake.h"
#include "platform/Files.h"
#include "platform/GbkText.h"
#include "protocol/TextHelpers.h"

namespace zelmo::messages {

namespace {

constexpr std::string_view CRLF = "\r\n";
constexpr std::string_view BLOCK_BREAK = "\r\n\r\n";
constexpr std::string_view ENTER = "[enter]";

// Lone LFs become CR LF so that a file saved by a Unix editor is read as it looks,
// instead of as one block that the next save would overwrite.
std::string WithCrLf(std::string_view text) {
    std::string out;
    out.reserve(text.size() + text.size() / 16);
    for (std::size_t pos = 0; pos < text.size(); ++pos) {
        if (text[pos] == '\n' && (pos == 0 || text[pos - 1] != '\r')) {
            out += '\r';
        }
        out += text[pos];
    }
    return out;
}

std::vector<std::string_view> KeywordsOf(const std::vector<ReplyPair>& pairs, std::size_t begin,
                                         std::size_t end) {
    std::vector<std::string_view> keywords;
    keywords.reserve(end - begin);
    for (std::size_t i = begin; i < end; ++i) {
        keywords.push_back(pairs[i].keyword);
    }
    return keywords;
}

}  // namespace

bool PassesReplyChance(std::string_view chance, platform::Clock& clock) {
    const int draw = clock.Random(1, 100);
    return draw <= protocol::IntegerValue(chance);
}

std::string StoreLineBreaks(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t pos = 0; pos < text.size(); ++pos) {
        if (text[pos] == '\r') {
            out += ENTER;
            if (pos + 1 < text.size() && text[pos + 1] == '\n') {
                ++pos;
            }
        } else if (text[pos] == '\n') {
            out += ENTER;
        } else {
            out += text[pos];
        }
    }
    return out;
}

std::string SerializeReplyBase(const std::vector<ReplyPair>& pairs) {
    std::size_t size = 0;
    for (const ReplyPair& pair : pairs) {
        size += pair.keyword.size() + pair.reply.size() + 6;
    }
    std::string text;
    text.reserve(size);
    bool first = true;
    for (const ReplyPair& pair : pairs) {
        if (pair.reply.empty()) {
            continue;
        }
        if (!first) {
            text += BLOCK_BREAK;
        }
        first = false;
        text += pair.keyword;
        text += CRLF;
        text += pair.reply;
    }
    return text;
}

namespace {

bool HasBareLineFeed(std::string_view text) {
    for (std::size_t pos = text.find('\n'); pos != std::string_view::npos;
         pos = text.find('\n', pos + 1)) {
        if (pos == 0 || text[pos - 1] != '\r') {
            return true;
        }
    }
    return false;
}

}  // namespace

std::vector<ReplyPair> ParseReplyBase(std::string_view file_text) {
    std::string normalised;
    if (HasBareLineFeed(file_text)) {
        normalised = WithCrLf(file_text);
        file_text = normalised;
    }
    const std::string_view all = file_text;
    std::vector<ReplyPair> pairs;
    // Every line break inside a block starts one reply: reserving that many spares the
    // copies of a growing array of a large base.
    std::size_t breaks = 0;
    std::size_t block_breaks = 0;
    for (std::size_t pos = all.find(CRLF); pos != std::string_view::npos;
         pos = all.find(CRLF, pos + CRLF.size())) {
        ++breaks;
    }
    for (std::size_t pos = all.find(BLOCK_BREAK); pos != std::string_view::npos;
         pos = all.find(BLOCK_BREAK, pos + BLOCK_BREAK.size())) {
        ++block_breaks;
    }
    pairs.reserve(breaks > 2 * block_breaks ? breaks - 2 * block_breaks : 0);
    std::size_t block_start = 0;
    while (block_start <= all.size()) {
        std::size_t block_end = all.find(BLOCK_BREAK, block_start);
        if (block_end == std::string_view::npos) {
            block_end = all.size();
        }
        const std::string_view block = all.substr(block_start, block_end - block_start);
        const std::size_t first_break = block.find(CRLF);
        if (first_break != std::string_view::npos) {
            const std::string_view keyword = block.substr(0, first_break);
            std::size_t line_start = first_break + CRLF.size();
            while (line_start <= block.size()) {
                std::size_t line_end = block.find(CRLF, line_start);
                if (line_end == std::string_view::npos) {
                    line_end = block.size();
                }
                const std::string_view reply = block.substr(line_start, line_end - line_start);
                if (!reply.empty()) {
                    pairs.push_back(ReplyPair{std::string(keyword), std::string(reply)});
                }
                line_start = line_end + CRLF.size();
            }
        }
        block_start = block_end + BLOCK_BREAK.size();
    }
    return pairs;
}

void KnowledgeBase::SetChangeListener(std::function<void()> listener) {
    std::unique_lock lock(m_mutex);
    m_listener = std::move(listener);
}

void KnowledgeBase::Notify() const {
    std::function<void()> listener;
    {
        std::shared_lock lock(m_mutex);
        listener = m_listener;
    }
    if (listener) {
        listener();
    }
}

void KnowledgeBase::Load(std::string_view path) {
    std::vector<ReplyPair> pairs = ParseReplyBase(platform::ReadFile(path));
    {
        std::unique_lock lock(m_mutex);
        m_base = std::move(pairs);
        m_rows.reset();
        ++m_generation;
        RebuildLocked();
    }
    Notify();
}

bool KnowledgeBase::Save(std::string_view path) {
    bool written = false;
    {
        std::unique_lock lock(m_mutex);
        written = platform::WriteFileAtomic(path, SerializeReplyBase(RowsLocked()));
        // Rows that never diverged are the base already; learned pairs still move into
        // the main index.
        const bool replaced = m_rows.has_value();
        if (replaced) {
            m_base = std::move(*m_rows);
            m_rows.reset();
        }
        if (replaced || m_main_end != m_base.size()) {
            RebuildLocked();
        }
        // A failed write keeps the flag, so the unsaved base is still offered at exit.
        m_dirty = !written;
    }
    Notify();
    return written;
}

bool KnowledgeBase::Dirty() const {
    std::shared_lock lock(m_mutex);
    return m_dirty;
}

void KnowledgeBase::RebuildLocked() {
    m_main.Build(KeywordsOf(m_base, 0, m_base.size()), 0);
    m_recent.Clear();
    m_main_end = m_base.size();
    m_recent_end = m_base.size();
    m_tail_folded.clear();
}

void KnowledgeBase::IndexLearnedLocked() {
    if (m_base.size() - m_recent_end < TAIL_LIMIT) {
        return;
    }
    // Learned pairs grow the secondary index; once they outnumber the main index's pairs
    // everything is rebuilt at once, so the cost per learned pair stays bounded.
    if (m_base.size() - m_main_end > std::max<std::size_t>(m_main_end, 4096)) {
        RebuildLocked();
        return;
    }
    m_recent.Build(KeywordsOf(m_base, m_main_end, m_base.size()),
                   static_cast<std::uint32_t>(m_main_end));
    m_recent_end = m_base.size();
    m_tail_folded.clear();
}

void KnowledgeBase::LearnPair(std::string_view question, std::string_view answer) {
    ReplyPair pair{StoreLineBreaks(question), StoreLineBreaks(answer)};
    {
        std::unique_lock lock(m_mutex);
        if (m_rows) {
            m_rows->push_back(pair);
        }
        m_tail_folded.push_back(FoldKeyword(pair.keyword));
        m_base.push_back(std::move(pair));
        m_dirty = true;
        IndexLearnedLocked();
    }
    Notify();
}

KeywordMatch KnowledgeBase::MatchLocked(std::string_view content) const {
    const PreparedText text(content);
    KeywordMatch best = m_main.Find(text);
    MergeMatch(best, m_recent.Find(text));
    // The few pairs learned since the last index build, searched one by one with the
    // same rules as the index.
    KeywordMatch tail;
    const std::string_view folded = text.Folded();
    for (std::size_t i = 0; i < m_tail_folded.size(); ++i) {
        const std::string& keyword = m_tail_folded[i];
        if (keyword.empty() || keyword.size() < tail.length) {
            continue;
        }
        const bool lone_lead = EndsWithLoneLead(keyword);
        bool matched = false;
        for (std::size_t at = folded.find(keyword); at != std::string_view::npos && !matched;
             at = folded.find(keyword, at + 1)) {
            matched = text.IsBoundary(at) && !(lone_lead && text.IsTrailAt(at + keyword.size()));
        }
        if (!matched) {
            continue;
        }
        if (keyword.size() > tail.length) {
            tail.length = keyword.size();
            tail.pairs.clear();
        }
        tail.pairs.push_back(static_cast<std::uint32_t>(m_recent_end + i));
    }
    MergeMatch(best, std::move(tail));
    return best;
}

std::vector<std::uint32_t> KnowledgeBase::MatchingPairs(std::string_view content) const {
    std::shared_lock lock(m_mutex);
    return MatchLocked(content).pairs;
}

std::vector<std::uint32_t> KnowledgeBase::MatchingPairsByScan(std::string_view content) const {
    std::shared_lock lock(m_mutex);
    std::size_t best = 0;
    std::vector<std::uint32_t> candidates;
    for (std::size_t i = 0; i < m_base.size(); ++i) {
        const std::string& keyword = m_base[i].keyword;
        if (keyword.empty() || !platform::ContainsGbk(content, keyword, true)) {
            continue;
        }
        if (keyword.size() > best) {
            best = keyword.size();
            candidates.clear();
        }
        if (keyword.size() == best) {
            candidates.push_back(static_cast<std::uint32_t>(i));
        }
    }
    return candidates;
}

std::vector<std::uint32_t> KnowledgeBase::ExactLocked(std::string_view keyword) const {
    if (keyword.empty()) {
        return {};
    }
    const std::string folded = FoldKeyword(keyword);
    std::vector<std::uint32_t> found = m_main.FindExact(folded);
    const std::vector<std::uint32_t> recent = m_recent.FindExact(folded);
    found.insert(found.end(), recent.begin(), recent.end());
    for (std::size_t i = m_recent_end; i < m_base.size(); ++i) {
        found.push_back(static_cast<std::uint32_t>(i));
    }
    // The index folds letters; the default keyword is compared exactly.
    std::erase_if(found, [&](std::uint32_t i) { return m_base[i].keyword != keyword; });
    return found;
}

std::string KnowledgeBase::PickReplyFor(std::string_view keyword, platform::Clock& clock) const {
    std::shared_lock lock(m_mutex);
    const std::vector<std::uint32_t> found = ExactLocked(keyword);
    if (found.empty()) {
        return {};
    }
    const int pick = clock.Random(1, static_cast<int>(found.size()));
    return m_base[found[static_cast<std::size_t>(pick - 1)]].reply;
}

std::string KnowledgeBase::LookupReply(std::string_view content, int chat_type,
                                       const config::Settings& settings,
                                       platform::Clock& clock) const {
    if (chat_type == CHAT_GROUP && !PassesReplyChance(settings.回复几率, clock)) {
        return {};
    }
    {
        std::shared_lock lock(m_mutex);
        const KeywordMatch match = MatchLocked(content);
        if (!match.pairs.empty()) {
            const int pick = clock.Random(1, static_cast<int>(match.pairs.size()));
            return m_base[match.pairs[static_cast<std::size_t>(pick - 1)]].reply;
        }
    }
    if ((chat_type == CHAT_FRIEND && settings.好友默认) ||
        (chat_type == CHAT_GROUP && settings.群默认)) {
        return PickReplyFor(NO_WORD_KEYWORD, clock);
    }
    return {};
}

std::size_t KnowledgeBase::PairCount() const {
    std::shared_lock lock(m_mutex);
    return m_base.size();
}

std::optional<ReplyPair> KnowledgeBase::Pair(std::size_t index) const {
    std::shared_lock lock(m_mutex);
    if (index >= m_base.size()) {
        return std::nullopt;
    }
    return m_base[index];
}

std::size_t KnowledgeBase::IndexBytes() const {
    std::shared_lock lock(m_mutex);
    return m_main.MemoryBytes() + m_recent.MemoryBytes();
}

const std::vector<ReplyPair>& KnowledgeBase::RowsLocked() const {
    return m_rows ? *m_rows : m_base;
}

std::vector<ReplyPair>& KnowledgeBase::RowsForChange() {
    // The rows share the base until the editor first changes them.
    if (!m_rows) {
        m_rows = m_base;
    }
    m_dirty = true;
    return *m_rows;
}

std::size_t KnowledgeBase::RowCount() const {
    std::shared_lock lock(m_mutex);
    return RowsLocked().size();
}

std::uint64_t KnowledgeBase::RowsGeneration() const {
    std::shared_lock lock(m_mutex);
    return m_generation;
}

std::optional<ReplyPair> KnowledgeBase::Row(std::size_t row) const {
    std::shared_lock lock(m_mutex);
    const std::vector<ReplyPair>& rows = RowsLocked();
    if (row >= rows.size()) {
        return std::nullopt;
    }
    return rows[row];
}

void KnowledgeBase::SetRowKeyword(std::size_t row, std::string_view keyword) {
    std::unique_lock lock(m_mutex);
    if (row < RowsLocked().size()) {
        RowsForChange()[row].keyword = StoreLineBreaks(keyword);
    }
}

void KnowledgeBase::SetRowReply(std::size_t row, std::string_view reply) {
    std::unique_lock lock(m_mutex);
    if (row < RowsLocked().size()) {
        RowsForChange()[row].reply = StoreLineBreaks(reply);
    }
}

void KnowledgeBase::InsertRow(std::size_t row, std::string_view keyword, std::string_view reply) {
    std::unique_lock lock(m_mutex);
    std::vector<ReplyPair>& rows = RowsForChange();
    const std::size_t at = std::min(row, rows.size());
    rows.insert(rows.begin() + static_cast<std::ptrdiff_t>(at),
                ReplyPair{StoreLineBreaks(keyword), StoreLineBreaks(reply)});
}

void KnowledgeBase::DeleteRow(std::size_t row) {
    std::unique_lock lock(m_mutex);
    if (row < RowsLocked().size()) {
        std::vector<ReplyPair>& rows = RowsForChange();
        rows.erase(rows.begin() + static_cast<std::ptrdiff_t>(row));
    }
}

}  // namespace zelmo::messages
