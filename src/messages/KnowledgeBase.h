#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <shared_mutex>
#include <string>
#include <string_view>
#include <vector>

#include "config/Settings.h"
#include "messages/KeywordIndex.h"
#include "platform/Clock.h"

namespace zelmo::messages {

// One keyword with one reply (GBK).
struct ReplyPair {
    std::string keyword;
    std::string reply;
};

// The keyword of the default answers used when nothing matched.
inline constexpr std::string_view NO_WORD_KEYWORD = "[noword]";

// The keyword knowledge base ("config/reply.ini") with its editor rows. The base answers
// lookups; the rows are what the editor shows and changes, and become the base on save.
// One lock guards both; any thread. Learning, loading and saving tell the change
// listener (the robot routes it to the editor) after the lock is released.
class KnowledgeBase {
public:
    KnowledgeBase() = default;
    KnowledgeBase(const KnowledgeBase&) = delete;
    KnowledgeBase& operator=(const KnowledgeBase&) = delete;

    // Called after every learned pair, load and save; not after the editor's own edits.
    void SetChangeListener(std::function<void()> listener);

    // LoadReplyBase: reads the file (missing: empty) into the base and the editor rows;
    // the dirty flag stays as it was.
    void Load(std::string_view path);
    // SaveReplyBase: writes the editor rows to the file through a temporary file, rebuilds
    // the base from them and clears the dirty flag. False (and still dirty) when the file
    // could not be written.
    bool Save(std::string_view path);
    // ReplyBaseDirty: changed by learning or in the editor and not yet saved.
    bool Dirty() const;

    // The knowledge-base reply for a message (GBK), or empty: groups pass the reply
    // chance first; then the longest matching keyword wins, equals are picked at random;
    // the "[noword]" default answers when nothing matched and the chat type's default is
    // on.
    std::string LookupReply(std::string_view content, int chat_type,
                            const config::Settings& settings, platform::Clock& clock) const;
    // One reply, at random, of the pairs whose keyword equals `keyword` exactly; empty
    // when there is none.
    std::string PickReplyFor(std::string_view keyword, platform::Clock& clock) const;
    // Appends a learned pair to the base and the editor rows and marks the base dirty.
    // Line breaks are stored as "[enter]".
    void LearnPair(std::string_view question, std::string_view answer);

    // The pairs (0-based, ascending) whose keywords are the longest found in the content:
    // from the index, and from a plain scan of every pair (the reference).
    std::vector<std::uint32_t> MatchingPairs(std::string_view content) const;
    std::vector<std::uint32_t> MatchingPairsByScan(std::string_view content) const;

    // The base (what lookups answer from).
    std::size_t PairCount() const;
    std::optional<ReplyPair> Pair(std::size_t index) const;
    // Bytes held by the keyword index.
    std::size_t IndexBytes() const;

    // Editor rows (0-based). Out-of-range reads give nothing; changes to them are ignored.
    // Every change marks the base dirty; line breaks typed into a text are stored as
    // "[enter]".
    std::size_t RowCount() const;
    // Goes up on every load: the rows may have changed in any way. Between loads rows
    // change only by the editor's own edits and by learned pairs appended at the end.
    std::uint64_t RowsGeneration() const;
    std::optional<ReplyPair> Row(std::size_t row) const;
    void SetRowKeyword(std::size_t row, std::string_view keyword);
    void SetRowReply(std::size_t row, std::string_view reply);
    // Inserts before `row`; at the end when row is past the end.
    void InsertRow(std::size_t row, std::string_view keyword, std::string_view reply);
    void DeleteRow(std::size_t row);

private:
    // Learned pairs beyond this many are indexed in the secondary index.
    static constexpr std::size_t TAIL_LIMIT = 64;

    std::vector<ReplyPair>& RowsForChange();
    const std::vector<ReplyPair>& RowsLocked() const;
    void RebuildLocked();
    void IndexLearnedLocked();
    KeywordMatch MatchLocked(std::string_view content) const;
    std::vector<std::uint32_t> ExactLocked(std::string_view keyword) const;
    void Notify() const;

    mutable std::shared_mutex m_mutex;
    std::vector<ReplyPair> m_base;                 // ReplyBase, in file order
    std::optional<std::vector<ReplyPair>> m_rows;  // the editor rows once they differ
    bool m_dirty = false;
    std::uint64_t m_generation = 0;
    // The index covers the base in three parts: the main index up to m_main_end, the
    // secondary index over learned pairs up to m_recent_end, and a short scanned tail.
    KeywordIndex m_main;
    KeywordIndex m_recent;
    std::size_t m_main_end = 0;
    std::size_t m_recent_end = 0;
    std::vector<std::string> m_tail_folded;  // folded keywords of the scanned tail
    std::function<void()> m_listener;
};

// PassesReplyChance: true with the percentage that `chance` names (a number text; a text
// that is not a number counts as 0). Draws once from the clock whatever the value.
bool PassesReplyChance(std::string_view chance, platform::Clock& clock);

// The reply file's text for these pairs: keyword CR LF reply per block, blocks joined by
// CR LF CR LF. Pairs with an empty reply are left out: the format cannot hold them
// without merging the next block into them.
std::string SerializeReplyBase(const std::vector<ReplyPair>& pairs);
// The pairs of a reply file's text: each block's first line is the keyword, every
// further non-empty line one reply; blocks with fewer lines are dropped. Lines may also
// end in a bare LF.
std::vector<ReplyPair> ParseReplyBase(std::string_view text);

// The text with every line break (CR LF, CR or LF) written as "[enter]".
std::string StoreLineBreaks(std::string_view text);

}  // namespace zelmo::messages
