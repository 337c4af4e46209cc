#pragma once

#include <condition_variable>
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
#include "messages/ReplyFile.h"
#include "platform/Clock.h"
#include "platform/TextFile.h"

namespace zelmo::messages {

// The keyword of the default answers used when nothing matched.
inline constexpr std::string_view NO_WORD_KEYWORD = "[noword]";

// What a save did. Converts to bool: written or not.
struct ReplyBaseSave {
    bool ok = false;
    // Where the base was (or was to be) written: the path asked for, or, when the file
    // there could not be read at load, a new file beside it ("reply.ini.new-YYYYMMDD-
    // HHMMSS"), which every later save of that path writes again.
    std::string path;
    bool redirected = false;

    operator bool() const { return ok; }
};

// What a reload did.
struct ReplyBaseReload {
    // False: nothing was read, as the editor's unsaved changes would have been dropped.
    bool done = false;
    platform::TextFileReport report;
    std::size_t carried = 0;  // learned pairs carried into the base read again
};

// The keyword knowledge base ("config/reply.ini") with its editor rows. The base answers
// lookups; the rows are what the editor shows and changes, and become the base on save.
// The base keeps the file's bytes as read and views into them: a save writes back every
// block nobody touched byte for byte, appends learned pairs as new blocks, and rewrites
// only the blocks the editor changed. One lock guards it all; any thread. Learning,
// loading and saving tell the change listener (the robot routes it to the editor) after
// the lock is released.
class KnowledgeBase {
public:
    KnowledgeBase() = default;
    KnowledgeBase(const KnowledgeBase&) = delete;
    KnowledgeBase& operator=(const KnowledgeBase&) = delete;

    // Called after every learned pair, load and save; not after the editor's own edits.
    void SetChangeListener(std::function<void()> listener);

    // LoadReplyBase: reads the file (missing: empty; UTF-8: converted, its original kept
    // as "reply.ini.utf8-backup") into the base and the editor rows; the dirty flag stays
    // as it was. A file that cannot be read or decoded gives an empty base and is never
    // written over: saves to its path go to a new file beside it. The report says which.
    platform::TextFileReport Load(std::string_view path);
    // SaveReplyBase: writes the editor rows to the file through a temporary file (the old
    // file stays as "reply.ini.bak"), makes them the base and clears the dirty flag. Not
    // written (and still dirty) when the file could not be written.
    ReplyBaseSave Save(std::string_view path);
    // The file read again while workers may learn, as Load reads it: the pairs learned
    // since the last save are carried into the new base, still unsaved, in one step with the
    // read, so none learned meanwhile is lost. Refused while the editor has unsaved changes.
    ReplyBaseReload Reload(std::string_view path);
    // ReplyBaseDirty: learned pairs or editor changes not yet saved.
    bool Dirty() const;

    // While held, LearnPair waits, so that nothing is learned after a save the user is
    // asked about; releasing lets the waiting pairs in. Any thread.
    void HoldLearning(bool hold);

    // The knowledge-base reply for a message (GBK), or empty: groups pass the reply
    // chance first; then the longest matching keyword wins, equals are picked at random;
    // the "[noword]" default answers when nothing matched and the chat type's default is
    // on.
    std::string LookupReply(std::string_view content, int chat_type,
                            const config::Settings& settings, platform::Clock& clock) const;
    // LookupReply's two halves, for a source between them: the reply of the longest
    // matching keyword (equals at random), nothing when none matched; and the "[noword]"
    // default when the chat type's default is on, else empty. Neither draws the chance.
    std::optional<std::string> KeywordReply(std::string_view content, platform::Clock& clock) const;
    std::string DefaultReply(int chat_type, const config::Settings& settings,
                             platform::Clock& clock) const;
    // One reply, at random, of the pairs whose keyword equals `keyword` exactly; empty
    // when there is none.
    std::string PickReplyFor(std::string_view keyword, platform::Clock& clock) const;
    // Appends a learned pair to the base and the editor rows and marks the base dirty.
    // Line breaks are stored as "[enter]". An empty answer is ignored: the file cannot
    // hold it. Waits while learning is held.
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
    // Bytes held by the base: the file's bytes, the texts learned or typed since, and the
    // views of the pairs into them.
    std::size_t TextBytes() const;

    // Editor rows (0-based). Out-of-range reads give nothing; changes to them are ignored.
    // Every change marks the base dirty; line breaks typed into a text are stored as
    // "[enter]".
    std::size_t RowCount() const;
    // Goes up whenever the rows may have changed in any way (a load, a save of editor
    // changes, discarded edits). In between rows change only by the editor's own edits
    // and by learned pairs appended at the end.
    std::uint64_t RowsGeneration() const;
    std::optional<ReplyPair> Row(std::size_t row) const;
    void SetRowKeyword(std::size_t row, std::string_view keyword);
    void SetRowReply(std::size_t row, std::string_view reply);
    // Inserts before `row`; at the end when row is past the end.
    void InsertRow(std::size_t row, std::string_view keyword, std::string_view reply);
    void DeleteRow(std::size_t row);
    // The editor's cancel: its changes since it last saved are dropped; pairs learned
    // meanwhile stay in the base and in the rows, unsaved.
    void DiscardEdits();

private:
    // Bytes of text in the file buffer or, past its end, in the overlay.
    struct Span {
        std::uint32_t offset = 0;
        std::uint32_t length = 0;
    };
    struct StoredPair {
        Span keyword;
        Span reply;
    };
    // An editor row: its texts and the base pair it shows (NEW_ROW: added in the editor).
    struct EditorRow {
        StoredPair pair;
        std::uint32_t origin = 0;
    };
    static constexpr std::uint32_t NEW_ROW = 0xFFFFFFFFu;
    // A block in m_appended: where its separator and its keyword line start.
    struct AppendedBlock {
        std::size_t separator = 0;
        std::size_t start = 0;
    };
    // Learned pairs beyond this many are indexed in the secondary index.
    static constexpr std::size_t TAIL_LIMIT = 64;

    std::string_view TextOf(Span span) const;
    ReplyPair PairOf(const StoredPair& pair) const;
    // The text stored in the overlay (a row's own text being retyped reuses its place);
    // nothing when the texts would outgrow 32-bit offsets.
    std::optional<Span> Store(std::string_view text, std::optional<Span> reusable = {});
    std::optional<Span> StoreForRow(const EditorRow& row, bool keyword, std::string_view text);
    void LoadTextLocked(std::string text);
    // Appends a learned pair (line breaks already stored); false when the texts would
    // outgrow their offsets.
    bool AppendLearnedLocked(std::string_view keyword, std::string_view reply);
    std::string MergedFileLocked() const;
    bool RowIsPairLocked(const EditorRow& row, std::size_t pair) const;
    std::vector<EditorRow>& RowsForChange();
    std::size_t RowCountLocked() const;
    std::optional<ReplyPair> RowLocked(std::size_t row) const;
    void RebuildLocked();
    void IndexLearnedLocked();
    std::vector<std::string_view> KeywordsLocked(std::size_t begin, std::size_t end) const;
    KeywordMatch MatchLocked(std::string_view content) const;
    std::vector<std::uint32_t> ExactLocked(std::string_view keyword) const;
    void Notify() const;

    mutable std::shared_mutex m_mutex;
    std::condition_variable_any m_learning_released;
    bool m_learning_held = false;
    // The file's bytes (GBK) as loaded, or as last saved with editor changes; the body is
    // what precedes its trailing line breaks. Blocks saved since (learned pairs, one block
    // each with its leading separator) are in m_appended; on disk the file is body,
    // m_appended, then m_file's trailing line breaks.
    std::string m_file;
    std::size_t m_body_end = 0;
    std::string m_line_break = "\r\n";
    std::string m_appended;
    std::vector<AppendedBlock> m_appended_blocks;
    // Texts learned or typed since the load, addressed past the end of m_file.
    std::string m_overlay;
    // ReplyBase, in file order: m_base[0, m_saved) are in the file, the rest learned since.
    std::vector<StoredPair> m_base;
    std::size_t m_saved = 0;
    // The editor rows once they differ from the base.
    std::optional<std::vector<EditorRow>> m_rows;
    bool m_dirty_carried = false;  // dirty when the last load came
    // A file that could not be read is never written: saves of its path go to m_side_path.
    std::string m_protected_path;
    std::string m_side_path;
    std::uint64_t m_generation = 0;
    // The index covers the base in three parts: main indexes (one per MAX_KEYWORDS
    // pairs) up to m_main_end, the secondary index over learned pairs up to m_recent_end,
    // and a short scanned tail.
    std::vector<KeywordIndex> m_main;
    KeywordIndex m_recent;
    std::size_t m_main_end = 0;
    std::size_t m_recent_end = 0;
    std::vector<std::string> m_tail_folded;  // folded keywords of the scanned tail
    std::function<void()> m_listener;
};

// PassesReplyChance: true with the percentage that `chance` names (a number text; a text
// that is not a number counts as 0). Draws once from the clock whatever the value.
bool PassesReplyChance(std::string_view chance, platform::Clock& clock);

// The text with every line break (CR LF, CR or LF) written as "[enter]".
std::string StoreLineBreaks(std::string_view text);

}  // namespace zelmo::messages
