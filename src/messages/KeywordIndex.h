#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Memory.h"

namespace zelmo::messages {

// A GBK text as keyword matching sees it: ASCII letters folded to small letters except
// where they are the second byte of a double-byte character, and which positions start a
// character.
class PreparedText {
public:
    explicit PreparedText(std::string_view text);

    std::string_view Raw() const { return m_raw; }
    std::string_view Folded() const { return m_folded; }
    bool IsBoundary(std::size_t pos) const { return m_boundary[pos] != 0; }
    // True when the byte at pos exists and is the second byte of a double-byte character.
    bool IsTrailAt(std::size_t pos) const;

private:
    std::string_view m_raw;
    std::string m_folded;
    std::vector<std::uint8_t> m_boundary;  // one entry per byte, plus the end
};

// The keyword as the index stores it (see PreparedText).
std::string FoldKeyword(std::string_view keyword);

// True when the keyword's last byte is a lead byte without its second byte: such a
// keyword must not match where the text pairs that byte with the next one.
bool EndsWithLoneLead(std::string_view keyword);

// The longest keywords found in one text and the pairs that carry them.
struct KeywordMatch {
    std::size_t length = 0;            // bytes of the longest matching keyword; 0: none
    std::vector<std::uint32_t> pairs;  // pair numbers, ascending
};

// Merges `other` into `best`: the longer match wins, equally long ones are joined. Pairs
// of `other` must all be greater than those of `best`.
void MergeMatch(KeywordMatch& best, KeywordMatch other);

// A compact double-array Aho-Corasick automaton over folded keywords. Gives the same
// matches as searching each keyword with ContainsGbk(text, keyword, true): a match must
// start at a character boundary, and a keyword ending in a lone lead byte must not be
// followed by a second byte. Empty keywords never match. Immutable once built; any
// number of threads may search it at once.
class KeywordIndex {
public:
    // Distinct keywords one index can hold; a larger base takes several indexes.
    static constexpr std::size_t MAX_KEYWORDS = 0xFFFFFE;

    // Indexes keywords[i] as pair number first_pair + i. At most MAX_KEYWORDS distinct
    // keywords: the keywords beyond them are left out.
    void Build(const std::vector<std::string_view>& keywords, std::uint32_t first_pair);
    void Clear();

    // The pairs whose keywords are the longest that occur in the text.
    KeywordMatch Find(const PreparedText& text) const;
    // The pairs whose keyword folds to exactly `folded` (ascending); empty when none.
    std::vector<std::uint32_t> FindExact(std::string_view folded) const;

    std::size_t PairCount() const { return m_pair_count; }
    std::size_t StateSlots() const { return m_slots.size(); }
    static constexpr std::size_t SLOT_BYTES = 12;
    // Bytes held by the automaton and its tables.
    std::size_t MemoryBytes() const;

private:
    // One double-array slot of 12 bytes. A state's children are at base + byte; each
    // slot keeps the byte it is reached by, and since no two states share a base, that
    // byte alone proves the parent (as in the published double-array Aho-Corasick
    // automata). `label_out` holds that byte in its low 8 bits and, above them, 1 + the
    // longest keyword ending in this state (here or along the fail chain; 0: none), so a
    // match step never walks the fail chain. A free slot holds FREE.
    struct Slot {
        std::uint32_t base = 0;
        std::uint32_t fail = 0;
        std::uint32_t label_out = FREE;
    };
    static_assert(sizeof(Slot) == SLOT_BYTES);
    static constexpr std::uint32_t FREE = 0xFFFFFFFFu;
    static constexpr std::uint32_t NO_KEYWORD = 0xFFFFFFFFu;
    static constexpr std::uint32_t LONE_LEAD = 0x80000000u;
    static constexpr std::uint32_t LENGTH_MASK = 0x7FFFFFFFu;
    static constexpr std::uint32_t DIRECT = 0x80000000u;

    static std::uint32_t OutOf(std::uint32_t label_out) { return (label_out >> 8) - 1; }
    std::uint32_t Step(std::uint32_t state, std::uint8_t byte) const;
    void AppendPairs(std::uint32_t keyword, std::vector<std::uint32_t>& pairs) const;
    std::uint32_t Child(std::uint32_t state, std::uint8_t byte) const;

    std::vector<Slot, platform::LargeArrayAllocator<Slot>> m_slots;
    // By keyword number: the length (with LONE_LEAD) and the pairs: DIRECT with the pair
    // number for a keyword of one pair (most), else where its count and pair numbers
    // start in m_pair_lists.
    std::vector<std::uint32_t> m_lengths;
    std::vector<std::uint32_t> m_pairs_of;
    std::vector<std::uint32_t> m_pair_lists;
    std::size_t m_pair_count = 0;
    std::size_t m_max_length = 0;  // bytes of the longest keyword: no state is deeper
};

}  // namespace zelmo::messages
