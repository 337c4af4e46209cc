#include "messages/KnowledgeBase.h"

#include <algorithm>
#include <ctime>
#include <mutex>
#include <utility>

#include "messages/Intake.h"
#include "platform/Files.h"
#include "platform/FreeMemory.h"
#include "platform/GbkText.h"
#include "protocol/TextHelpers.h"

namespace zelmo::messages {

namespace {

constexpr std::string_view ENTER = "[enter]";
// Texts are addressed by 32-bit offsets: a file this large is not loaded (and so never
// written over), and the texts added since may fill the rest.
constexpr std::size_t MAX_FILE_BYTES = 0x7FFFFFFF;
constexpr std::size_t MAX_TEXT_BYTES = 0xFFFFFFFF;
constexpr std::string_view SIDE_FILE_TAG = "new";
constexpr std::size_t LARGE_BASE = 100000;

// Appends a line break (or what begins with one) to text. After a line that ends in a
// lone CR (a byte of the line) a bare LF would join it into a CR LF and cut the CR off
// the line: such a break gets its own CR.
void AppendBreak(std::string& out, char last, std::string_view line_break) {
    if (last == '\r' && !line_break.empty() && line_break.front() == '\n') {
        out += '\r';
    }
    out += line_break;
}

void AppendBreak(std::string& out, std::string_view line_break) {
    AppendBreak(out, out.empty() ? '\0' : out.back(), line_break);
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

std::string_view KnowledgeBase::TextOf(Span span) const {
    if (span.offset < m_file.size()) {
        return std::string_view(m_file).substr(span.offset, span.length);
    }
    return std::string_view(m_overlay).substr(span.offset - m_file.size(), span.length);
}

ReplyPair KnowledgeBase::PairOf(const StoredPair& pair) const {
    return ReplyPair{std::string(TextOf(pair.keyword)), std::string(TextOf(pair.reply))};
}

std::optional<KnowledgeBase::Span> KnowledgeBase::Store(std::string_view text,
                                                        std::optional<Span> reusable) {
    // A text being retyped (each keystroke is an edit) replaces itself when it is the
    // last thing stored, instead of piling up copies.
    if (reusable && reusable->length > 0 && reusable->offset >= m_file.size() &&
        reusable->offset + reusable->length == m_file.size() + m_overlay.size()) {
        m_overlay.resize(reusable->offset - m_file.size());
    }
    // Empty texts all share one place, so that no span sits at the end of the overlay
    // but the one that was stored last.
    if (text.empty()) {
        return Span{};
    }
    const std::size_t offset = m_file.size() + m_overlay.size();
    if (text.size() > MAX_TEXT_BYTES - offset) {
        return std::nullopt;
    }
    m_overlay += text;
    return Span{static_cast<std::uint32_t>(offset), static_cast<std::uint32_t>(text.size())};
}

std::optional<KnowledgeBase::Span> KnowledgeBase::StoreForRow(const EditorRow& row, bool keyword,
                                                              std::string_view text) {
    const Span current = keyword ? row.pair.keyword : row.pair.reply;
    // The base pair's own text is shared with the base and must stay.
    bool own = true;
    if (row.origin != NEW_ROW) {
        const Span base = keyword ? m_base[row.origin].keyword : m_base[row.origin].reply;
        own = base.offset != current.offset || base.length != current.length;
    }
    return Store(text, own ? std::optional<Span>(current) : std::nullopt);
}

void KnowledgeBase::LoadTextLocked(std::string text) {
    m_file.swap(text);
    // The old bytes go now (an assignment of an empty string would keep their buffer),
    // so that what they leave is returned with the index build's temporaries.
    std::string().swap(text);
    m_body_end = BodyLength(m_file);
    m_line_break = std::string(LineBreakOf(m_file));
    m_appended.clear();
    m_appended_blocks.clear();
    m_overlay.clear();
    m_overlay.shrink_to_fit();
    m_rows.reset();
    ++m_generation;

    // Counted first, so the array is allocated once at its size: one more quick pass over
    // the bytes costs less than copies of a growing array, or room reserved and left.
    m_base.clear();
    m_base.shrink_to_fit();
    const std::string_view body = std::string_view(m_file).substr(0, m_body_end);
    const auto for_each_pair = [&body](auto visit) {
        ReplyBlockReader blocks(body);
        ReplyBlock block;
        while (!body.empty() && blocks.Next(block)) {
            const Span keyword{static_cast<std::uint32_t>(block.start),
                               static_cast<std::uint32_t>(block.keyword_end - block.start)};
            ReplyLineReader lines(body, block);
            std::size_t offset = 0;
            std::size_t length = 0;
            while (lines.Next(offset, length)) {
                visit(StoredPair{keyword, Span{static_cast<std::uint32_t>(offset),
                                               static_cast<std::uint32_t>(length)}});
            }
        }
    };
    std::size_t count = 0;
    for_each_pair([&count](const StoredPair&) { ++count; });
    m_base.reserve(count);
    for_each_pair([this](const StoredPair& pair) { m_base.push_back(pair); });
    m_saved = m_base.size();
    RebuildLocked();
}

platform::TextFileReport KnowledgeBase::Load(std::string_view path) {
    platform::TextFile file = platform::ReadTextFileForUpdate(path, MAX_FILE_BYTES);
    {
        std::unique_lock lock(m_mutex);
        m_dirty_carried = m_dirty_carried || m_rows.has_value() || m_saved < m_base.size();
        m_protected_path = platform::MayReplace(file.report) ? std::string() : std::string(path);
        m_side_path.clear();
        LoadTextLocked(std::move(file.text));
    }
    Notify();
    return std::move(file.report);
}

ReplyBaseReload KnowledgeBase::Reload(std::string_view path) {
    ReplyBaseReload result;
    if (std::shared_lock lock(m_mutex); m_rows) {
        return result;
    }
    platform::TextFile file = platform::ReadTextFileForUpdate(path, MAX_FILE_BYTES);
    {
        std::unique_lock lock(m_mutex);
        if (m_rows) {
            return result;
        }
        std::vector<std::pair<std::string, std::string>> learned;
        learned.reserve(m_base.size() - m_saved);
        for (std::size_t i = m_saved; i < m_base.size(); ++i) {
            learned.emplace_back(TextOf(m_base[i].keyword), TextOf(m_base[i].reply));
        }
        m_protected_path = platform::MayReplace(file.report) ? std::string() : std::string(path);
        m_side_path.clear();
        LoadTextLocked(std::move(file.text));
        for (const auto& [keyword, reply] : learned) {
            result.carried += AppendLearnedLocked(keyword, reply) ? 1 : 0;
        }
    }
    Notify();
    result.done = true;
    result.report = std::move(file.report);
    return result;
}

void KnowledgeBase::HoldLearning(bool hold) {
    {
        std::unique_lock lock(m_mutex);
        m_learning_held = hold;
    }
    if (!hold) {
        m_learning_released.notify_all();
    }
}

bool KnowledgeBase::RowIsPairLocked(const EditorRow& row, std::size_t pair) const {
    const StoredPair& stored = m_base[pair];
    return row.origin == pair && TextOf(row.pair.keyword) == TextOf(stored.keyword) &&
           TextOf(row.pair.reply) == TextOf(stored.reply);
}

std::string KnowledgeBase::MergedFileLocked() const {
    // The file's blocks in order, each with the separator before it: a block whose pairs
    // are all still rows, in order, unchanged and with no row added among them is written
    // as it was; blocks without pairs stay where they are. The other rows (changed, added,
    // learned, or left of a block partly changed) become new blocks where they stand,
    // neighbours with one keyword in one block.
    const std::vector<EditorRow>& rows = *m_rows;
    const std::string_view eol = m_line_break;
    std::string out;
    out.reserve(m_file.size() + m_appended.size());
    bool first = true;
    const std::string separator_text = std::string(eol) + std::string(eol);
    const auto emit = [&](std::string_view separator, std::string_view block) {
        if (!first) {
            AppendBreak(out, separator.empty() ? std::string_view(separator_text) : separator);
        }
        out += block;
        first = false;
    };
    std::vector<const EditorRow*> loose;
    std::string block_text;
    const auto flush = [&] {
        for (std::size_t i = 0; i < loose.size();) {
            const std::string_view keyword = TextOf(loose[i]->pair.keyword);
            block_text.assign(keyword);
            bool any = false;
            for (; i < loose.size() && TextOf(loose[i]->pair.keyword) == keyword; ++i) {
                const std::string_view reply = TextOf(loose[i]->pair.reply);
                // The format cannot hold an empty reply without merging the next block.
                if (!reply.empty()) {
                    AppendBreak(block_text, eol);
                    block_text += reply;
                    any = true;
                }
            }
            if (any) {
                emit({}, block_text);
            }
        }
        loose.clear();
    };
    std::size_t next_row = 0;
    const auto visit = [&](std::string_view separator, std::string_view block,
                           std::size_t first_pair, std::size_t count) {
        while (next_row < rows.size() &&
               (rows[next_row].origin == NEW_ROW || rows[next_row].origin < first_pair)) {
            loose.push_back(&rows[next_row++]);
        }
        bool intact = next_row + count <= rows.size();
        for (std::size_t k = 0; k < count && intact; ++k) {
            intact = RowIsPairLocked(rows[next_row + k], first_pair + k);
        }
        if (intact) {
            flush();
            emit(separator, block);
            next_row += count;
        }
    };

    const std::string_view body = std::string_view(m_file).substr(0, m_body_end);
    std::size_t pair = 0;
    std::size_t previous_end = 0;
    ReplyBlockReader blocks(body);
    ReplyBlock block;
    while (!body.empty() && blocks.Next(block)) {
        std::size_t count = 0;
        ReplyLineReader lines(body, block);
        std::size_t offset = 0;
        std::size_t length = 0;
        while (lines.Next(offset, length)) {
            ++count;
        }
        visit(body.substr(previous_end, block.start - previous_end),
              body.substr(block.start, block.end - block.start), pair, count);
        pair += count;
        previous_end = block.end;
    }
    // Each learned block saved since holds one pair.
    const std::string_view appended = m_appended;
    for (std::size_t i = 0; i < m_appended_blocks.size(); ++i) {
        const AppendedBlock& block = m_appended_blocks[i];
        const std::size_t end =
            i + 1 < m_appended_blocks.size() ? m_appended_blocks[i + 1].separator : appended.size();
        visit(appended.substr(block.separator, block.start - block.separator),
              appended.substr(block.start, end - block.start), pair, 1);
        ++pair;
    }
    while (next_row < rows.size()) {
        loose.push_back(&rows[next_row++]);
    }
    flush();
    AppendBreak(out, std::string_view(m_file).substr(m_body_end));
    return out;
}

ReplyBaseSave KnowledgeBase::Save(std::string_view path) {
    ReplyBaseSave result;
    result.path = std::string(path);
    {
        std::unique_lock lock(m_mutex);
        if (!m_protected_path.empty() && path == m_protected_path) {
            if (m_side_path.empty()) {
                m_side_path = platform::FreeSidePath(path, SIDE_FILE_TAG, std::time(nullptr));
            }
            result.path = m_side_path;
            result.redirected = true;
        }
        if (result.path.empty()) {
            // No free name beside it: nothing is written.
        } else if (!m_rows) {
            // The file as it is plus the pairs learned since, one block each: the bytes
            // already there are written as they are, without a copy.
            std::string added;
            std::vector<AppendedBlock> blocks;
            const std::string separator = m_line_break + m_line_break;
            char last = !m_appended.empty() ? m_appended.back()
                        : m_body_end > 0    ? m_file[m_body_end - 1]
                                            : '\0';
            for (std::size_t i = m_saved; i < m_base.size(); ++i) {
                AppendedBlock block;
                block.separator = m_appended.size() + added.size();
                if (m_body_end > 0 || !m_appended.empty() || !added.empty()) {
                    AppendBreak(added, last, separator);
                }
                block.start = m_appended.size() + added.size();
                blocks.push_back(block);
                const std::string_view keyword = TextOf(m_base[i].keyword);
                added += keyword;
                AppendBreak(added, keyword.empty() ? last : keyword.back(), m_line_break);
                added += TextOf(m_base[i].reply);
                last = added.back();
            }
            const std::string_view file = m_file;
            const std::string_view pieces[] = {file.substr(0, m_body_end), m_appended, added,
                                               file.substr(m_body_end)};
            result.ok = platform::WriteFileKeepingBackup(result.path, pieces);
            if (result.ok) {
                m_appended += added;
                m_appended_blocks.insert(m_appended_blocks.end(), blocks.begin(), blocks.end());
                m_saved = m_base.size();
            }
        } else {
            std::string merged = MergedFileLocked();
            result.ok = merged.size() <= MAX_FILE_BYTES &&
                        platform::WriteFileKeepingBackup(result.path, merged);
            if (result.ok) {
                // What was written is what the next load would read.
                LoadTextLocked(std::move(merged));
            }
        }
        if (result.ok) {
            m_dirty_carried = false;
        }
    }
    Notify();
    return result;
}

bool KnowledgeBase::Dirty() const {
    std::shared_lock lock(m_mutex);
    return m_dirty_carried || m_rows.has_value() || m_saved < m_base.size();
}

std::vector<std::string_view> KnowledgeBase::KeywordsLocked(std::size_t begin,
                                                            std::size_t end) const {
    std::vector<std::string_view> keywords;
    keywords.reserve(end - begin);
    for (std::size_t i = begin; i < end; ++i) {
        keywords.push_back(TextOf(m_base[i].keyword));
    }
    return keywords;
}

void KnowledgeBase::RebuildLocked() {
    m_main.clear();
    for (std::size_t begin = 0; begin < m_base.size(); begin += KeywordIndex::MAX_KEYWORDS) {
        const std::size_t end = std::min(m_base.size(), begin + KeywordIndex::MAX_KEYWORDS);
        m_main.emplace_back().Build(KeywordsLocked(begin, end), static_cast<std::uint32_t>(begin));
    }
    m_recent.Clear();
    m_main_end = m_base.size();
    m_recent_end = m_base.size();
    m_tail_folded.clear();
    // The build's temporaries were several times the index's size; for a small base they
    // are not worth the walk.
    if (m_base.size() >= LARGE_BASE) {
        platform::ReturnFreeMemory();
    }
}

void KnowledgeBase::IndexLearnedLocked() {
    if (m_base.size() - m_recent_end < TAIL_LIMIT) {
        return;
    }
    // Learned pairs grow the secondary index; once they outnumber the main index's pairs
    // (or would not fit in one index) everything is rebuilt at once, so the cost per
    // learned pair stays bounded.
    const std::size_t learned = m_base.size() - m_main_end;
    if (learned > std::max<std::size_t>(m_main_end, 4096) || learned > KeywordIndex::MAX_KEYWORDS) {
        RebuildLocked();
        return;
    }
    m_recent.Build(KeywordsLocked(m_main_end, m_base.size()),
                   static_cast<std::uint32_t>(m_main_end));
    m_recent_end = m_base.size();
    m_tail_folded.clear();
}

void KnowledgeBase::LearnPair(std::string_view question, std::string_view answer) {
    const std::string keyword = StoreLineBreaks(question);
    const std::string reply = StoreLineBreaks(answer);
    if (reply.empty()) {
        return;
    }
    {
        std::unique_lock lock(m_mutex);
        m_learning_released.wait(lock, [this] { return !m_learning_held; });
        if (!AppendLearnedLocked(keyword, reply)) {
            return;
        }
    }
    Notify();
}

bool KnowledgeBase::AppendLearnedLocked(std::string_view keyword, std::string_view reply) {
    const std::optional<Span> keyword_span = Store(keyword);
    const std::optional<Span> reply_span = keyword_span ? Store(reply) : std::nullopt;
    if (!reply_span) {
        return false;
    }
    const StoredPair pair{*keyword_span, *reply_span};
    if (m_rows) {
        m_rows->push_back(EditorRow{pair, static_cast<std::uint32_t>(m_base.size())});
    }
    m_tail_folded.push_back(FoldKeyword(keyword));
    m_base.push_back(pair);
    IndexLearnedLocked();
    return true;
}

KeywordMatch KnowledgeBase::MatchLocked(std::string_view content) const {
    const PreparedText text(content);
    KeywordMatch best;
    for (const KeywordIndex& index : m_main) {
        MergeMatch(best, index.Find(text));
    }
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
        const std::string_view keyword = TextOf(m_base[i].keyword);
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
    std::vector<std::uint32_t> found;
    for (const KeywordIndex& index : m_main) {
        const std::vector<std::uint32_t> part = index.FindExact(folded);
        found.insert(found.end(), part.begin(), part.end());
    }
    const std::vector<std::uint32_t> recent = m_recent.FindExact(folded);
    found.insert(found.end(), recent.begin(), recent.end());
    for (std::size_t i = m_recent_end; i < m_base.size(); ++i) {
        found.push_back(static_cast<std::uint32_t>(i));
    }
    // The index folds letters; the default keyword is compared exactly.
    std::erase_if(found, [&](std::uint32_t i) { return TextOf(m_base[i].keyword) != keyword; });
    return found;
}

std::string KnowledgeBase::PickReplyFor(std::string_view keyword, platform::Clock& clock) const {
    std::shared_lock lock(m_mutex);
    const std::vector<std::uint32_t> found = ExactLocked(keyword);
    if (found.empty()) {
        return {};
    }
    const int pick = clock.Random(1, static_cast<int>(found.size()));
    return std::string(TextOf(m_base[found[static_cast<std::size_t>(pick - 1)]].reply));
}

std::string KnowledgeBase::LookupReply(std::string_view content, int chat_type,
                                       const config::Settings& settings,
                                       platform::Clock& clock) const {
    if (chat_type == CHAT_GROUP && !PassesReplyChance(settings.回复几率, clock)) {
        return {};
    }
    if (std::optional<std::string> reply = KeywordReply(content, clock)) {
        return std::move(*reply);
    }
    return DefaultReply(chat_type, settings, clock);
}

std::optional<std::string> KnowledgeBase::KeywordReply(std::string_view content,
                                                       platform::Clock& clock) const {
    std::shared_lock lock(m_mutex);
    const KeywordMatch match = MatchLocked(content);
    if (match.pairs.empty()) {
        return std::nullopt;
    }
    const int pick = clock.Random(1, static_cast<int>(match.pairs.size()));
    return std::string(TextOf(m_base[match.pairs[static_cast<std::size_t>(pick - 1)]].reply));
}

std::string KnowledgeBase::DefaultReply(int chat_type, const config::Settings& settings,
                                        platform::Clock& clock) const {
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
    return PairOf(m_base[index]);
}

std::size_t KnowledgeBase::IndexBytes() const {
    std::shared_lock lock(m_mutex);
    std::size_t bytes = m_recent.MemoryBytes();
    for (const KeywordIndex& index : m_main) {
        bytes += index.MemoryBytes();
    }
    return bytes;
}

std::size_t KnowledgeBase::TextBytes() const {
    std::shared_lock lock(m_mutex);
    return m_file.capacity() + m_appended.capacity() + m_overlay.capacity() +
           m_base.size() * sizeof(StoredPair);
}

std::size_t KnowledgeBase::RowCountLocked() const {
    return m_rows ? m_rows->size() : m_base.size();
}

std::optional<ReplyPair> KnowledgeBase::RowLocked(std::size_t row) const {
    if (m_rows) {
        if (row >= m_rows->size()) {
            return std::nullopt;
        }
        return PairOf((*m_rows)[row].pair);
    }
    if (row >= m_base.size()) {
        return std::nullopt;
    }
    return PairOf(m_base[row]);
}

std::vector<KnowledgeBase::EditorRow>& KnowledgeBase::RowsForChange() {
    // The rows share the base until the editor first changes them.
    if (!m_rows) {
        m_rows.emplace();
        m_rows->reserve(m_base.size());
        for (std::size_t i = 0; i < m_base.size(); ++i) {
            m_rows->push_back(EditorRow{m_base[i], static_cast<std::uint32_t>(i)});
        }
    }
    return *m_rows;
}

std::size_t KnowledgeBase::RowCount() const {
    std::shared_lock lock(m_mutex);
    return RowCountLocked();
}

std::uint64_t KnowledgeBase::RowsGeneration() const {
    std::shared_lock lock(m_mutex);
    return m_generation;
}

std::optional<ReplyPair> KnowledgeBase::Row(std::size_t row) const {
    std::shared_lock lock(m_mutex);
    return RowLocked(row);
}

void KnowledgeBase::SetRowKeyword(std::size_t row, std::string_view keyword) {
    std::unique_lock lock(m_mutex);
    if (row >= RowCountLocked()) {
        return;
    }
    EditorRow& target = RowsForChange()[row];
    if (const std::optional<Span> span = StoreForRow(target, true, StoreLineBreaks(keyword))) {
        target.pair.keyword = *span;
    }
}

void KnowledgeBase::SetRowReply(std::size_t row, std::string_view reply) {
    std::unique_lock lock(m_mutex);
    if (row >= RowCountLocked()) {
        return;
    }
    EditorRow& target = RowsForChange()[row];
    if (const std::optional<Span> span = StoreForRow(target, false, StoreLineBreaks(reply))) {
        target.pair.reply = *span;
    }
}

void KnowledgeBase::InsertRow(std::size_t row, std::string_view keyword, std::string_view reply) {
    std::unique_lock lock(m_mutex);
    const std::optional<Span> keyword_span = Store(StoreLineBreaks(keyword));
    const std::optional<Span> reply_span =
        keyword_span ? Store(StoreLineBreaks(reply)) : std::nullopt;
    if (!reply_span) {
        return;
    }
    std::vector<EditorRow>& rows = RowsForChange();
    const std::size_t at = std::min(row, rows.size());
    rows.insert(rows.begin() + static_cast<std::ptrdiff_t>(at),
                EditorRow{StoredPair{*keyword_span, *reply_span}, NEW_ROW});
}

void KnowledgeBase::DeleteRow(std::size_t row) {
    std::unique_lock lock(m_mutex);
    if (row < RowCountLocked()) {
        std::vector<EditorRow>& rows = RowsForChange();
        rows.erase(rows.begin() + static_cast<std::ptrdiff_t>(row));
    }
}

void KnowledgeBase::DiscardEdits() {
    std::unique_lock lock(m_mutex);
    if (m_rows) {
        m_rows.reset();
        ++m_generation;
    }
}

}  // namespace zelmo::messages
