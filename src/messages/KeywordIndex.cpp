#include "messages/KeywordIndex.h"

#include <algorithm>
#include <array>
#include <utility>

namespace zelmo::messages {

namespace {

bool IsLead(unsigned char byte) {
    return byte >= 0x81 && byte <= 0xFE;
}
bool IsTrail(unsigned char byte) {
    return byte >= 0x40 && byte <= 0xFE && byte != 0x7F;
}
char FoldAscii(char byte) {
    return byte >= 'A' && byte <= 'Z' ? static_cast<char>(byte + ('a' - 'A')) : byte;
}
unsigned char At(std::string_view text, std::size_t pos) {
    return static_cast<unsigned char>(text[pos]);
}
bool PairsAt(std::string_view text, std::size_t pos) {
    return pos + 1 < text.size() && IsLead(At(text, pos)) && IsTrail(At(text, pos + 1));
}

// Places each state's children in a growing double array, at a base no other state
// uses. The first child goes to the first free slot, among at most MAX_TRIES, that gives
// an unused base and room for the other children: first the holes within WINDOW slots of
// the end (few: what earlier nodes left between their children), then the end itself,
// past which everything is free. Holes further behind have failed every base near them
// and are left, so building stays linear at the price of a few holes.
template <class Slots>
class Placer {
public:
    Placer(Slots& slots, std::uint32_t free_word, std::size_t expected)
        : m_slots(slots), m_free_word(free_word) {
        Grow(std::max<std::size_t>(expected, 1024));
    }

    std::uint32_t FindBase(const std::vector<std::uint8_t>& labels) {
        while (m_hole_head < m_holes.size() && m_holes[m_hole_head] + WINDOW < m_end) {
            ++m_hole_head;
        }
        const std::uint32_t first = labels.front();
        // Every hole lies below the end: room for the children of any base tried there.
        Grow(static_cast<std::size_t>(m_end) + 257);
        int tries = 0;
        for (std::size_t h = m_hole_head; h < m_holes.size() && tries < MAX_TRIES; ++h) {
            if (m_holes[h] <= first) {
                continue;
            }
            ++tries;
            const std::uint32_t base = m_holes[h] - first;
            if (Fits(base, labels)) {
                return Use(base);
            }
        }
        // Past the end every slot is free; only the base must still be unused.
        std::uint32_t base = m_end > first ? m_end - first : 1;
        Grow(static_cast<std::size_t>(base) + 257);
        while (m_base_used[base]) {
            ++base;
            Grow(static_cast<std::size_t>(base) + 257);
        }
        return Use(base);
    }

    void Take(std::uint32_t slot) {
        if (slot >= m_end) {
            for (std::uint32_t hole = m_end; hole < slot; ++hole) {
                m_holes.push_back(hole);
            }
            m_end = slot + 1;
        } else {
            const auto found = std::lower_bound(
                m_holes.begin() + static_cast<std::ptrdiff_t>(m_hole_head), m_holes.end(), slot);
            if (found != m_holes.end() && *found == slot) {
                m_holes.erase(found);
            }
        }
        // The dropped holes' room is reused once it is half the list.
        if (m_hole_head > 1024 && m_hole_head * 2 > m_holes.size()) {
            m_holes.erase(m_holes.begin(),
                          m_holes.begin() + static_cast<std::ptrdiff_t>(m_hole_head));
            m_hole_head = 0;
        }
    }

    std::uint32_t End() const { return m_end; }

private:
    static constexpr std::uint32_t WINDOW = 4096;
    static constexpr int MAX_TRIES = 48;

    bool Fits(std::uint32_t base, const std::vector<std::uint8_t>& labels) const {
        if (m_base_used[base]) {
            return false;
        }
        for (std::size_t k = 1; k < labels.size(); ++k) {
            if (m_slots[base + labels[k]].label_out != m_free_word) {
                return false;
            }
        }
        return true;
    }

    std::uint32_t Use(std::uint32_t base) {
        m_base_used[base] = true;
        return base;
    }

    void Grow(std::size_t needed) {
        if (needed <= m_slots.size()) {
            return;
        }
        const std::size_t size = std::max(needed, m_slots.size() + m_slots.size() / 4);
        m_slots.resize(size);
        m_base_used.resize(size, false);
    }

    Slots& m_slots;
    std::uint32_t m_free_word;
    std::vector<bool> m_base_used;
    std::vector<std::uint32_t> m_holes;  // free slots below m_end, ascending
    std::size_t m_hole_head = 0;         // the holes before it are left for good
    std::uint32_t m_end = 0;             // one past the last slot taken
};

// A trie node during the build: the sorted keywords [lo, hi) share its first `depth` bytes.
struct PendingNode {
    std::uint32_t slot;
    std::uint32_t depth;
    std::uint32_t lo;
    std::uint32_t hi;
};

// The distinct folded keywords in sorted order, as spans of one buffer.
struct SortedKeys {
    std::string arena;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> spans;  // offset, length

    std::size_t Size(std::size_t k) const { return spans[k].second; }
    std::uint8_t Byte(std::size_t k, std::size_t at) const {
        return static_cast<std::uint8_t>(arena[spans[k].first + at]);
    }
};

// Splits a node's keywords by their next byte: the labels and where each group starts.
// The keyword that ends at this node (it sorts first) is skipped.
void GroupChildren(const SortedKeys& keys, const PendingNode& node,
                   std::vector<std::uint8_t>& labels, std::vector<std::uint32_t>& starts) {
    labels.clear();
    starts.clear();
    std::uint32_t k = node.lo;
    if (k < node.hi && keys.Size(k) == node.depth) {
        ++k;
    }
    while (k < node.hi) {
        const std::uint8_t label = keys.Byte(k, node.depth);
        labels.push_back(label);
        starts.push_back(k);
        while (k < node.hi && keys.Byte(k, node.depth) == label) {
            ++k;
        }
    }
    starts.push_back(node.hi);
}

}  // namespace

PreparedText::PreparedText(std::string_view text)
    : m_raw(text), m_folded(text), m_boundary(text.size() + 1, 0) {
    std::size_t pos = 0;
    while (pos < text.size()) {
        m_boundary[pos] = 1;
        if (PairsAt(text, pos)) {
            pos += 2;
            continue;
        }
        m_folded[pos] = FoldAscii(text[pos]);
        ++pos;
    }
    m_boundary[text.size()] = 1;
}

bool PreparedText::IsTrailAt(std::size_t pos) const {
    return pos < m_raw.size() && IsTrail(At(m_raw, pos));
}

namespace {

// Appends the keyword as the index stores it (see FoldKeyword); true when it ends in a
// lone lead byte (see EndsWithLoneLead).
bool AppendFolded(std::string& out, std::string_view keyword) {
    const std::size_t start = out.size();
    out += keyword;
    char* const folded = out.data() + start;
    bool lone_lead = false;
    std::size_t pos = 0;
    while (pos < keyword.size()) {
        if (PairsAt(keyword, pos)) {
            pos += 2;
            lone_lead = false;
            continue;
        }
        lone_lead = IsLead(At(keyword, pos));
        folded[pos] = FoldAscii(keyword[pos]);
        ++pos;
    }
    return lone_lead;
}

}  // namespace

std::string FoldKeyword(std::string_view keyword) {
    std::string folded(keyword);
    std::size_t pos = 0;
    while (pos < keyword.size()) {
        if (PairsAt(keyword, pos)) {
            pos += 2;
            continue;
        }
        folded[pos] = FoldAscii(keyword[pos]);
        ++pos;
    }
    return folded;
}

bool EndsWithLoneLead(std::string_view keyword) {
    std::size_t pos = 0;
    bool lone_lead = false;
    while (pos < keyword.size()) {
        if (PairsAt(keyword, pos)) {
            pos += 2;
            lone_lead = false;
            continue;
        }
        lone_lead = IsLead(At(keyword, pos));
        ++pos;
    }
    return lone_lead;
}

void MergeMatch(KeywordMatch& best, KeywordMatch other) {
    if (other.length == 0 || other.length < best.length) {
        return;
    }
    if (other.length > best.length) {
        best = std::move(other);
        return;
    }
    best.pairs.insert(best.pairs.end(), other.pairs.begin(), other.pairs.end());
}

void KeywordIndex::Clear() {
    m_slots.clear();
    m_slots.shrink_to_fit();
    m_lengths.clear();
    m_lengths.shrink_to_fit();
    m_pairs_of.clear();
    m_pairs_of.shrink_to_fit();
    m_pair_lists.clear();
    m_pair_lists.shrink_to_fit();
    m_pair_count = 0;
    m_max_length = 0;
}

void KeywordIndex::Build(const std::vector<std::string_view>& keywords, std::uint32_t first_pair) {
    Clear();

    // Folded keywords sorted with their pair numbers; equal keywords keep pair order, so
    // every keyword's pair list comes out ascending. Each sorts first by its first eight
    // bytes as one number, so most comparisons never touch the text. All that is needed
    // of a keyword is taken in this one pass in file order: later passes in sorted order
    // would jump about the file.
    std::size_t arena_size = 0;
    for (const std::string_view keyword : keywords) {
        arena_size += keyword.size();
    }
    std::string arena;
    arena.reserve(arena_size);
    struct Entry {
        std::uint64_t prefix;
        std::uint32_t offset;
        std::uint32_t length;  // with LONE_LEAD
        std::uint32_t pair;
    };
    std::vector<Entry> entries;
    entries.reserve(keywords.size());
    for (std::size_t i = 0; i < keywords.size(); ++i) {
        if (keywords[i].empty() || keywords[i].size() > LENGTH_MASK) {
            continue;
        }
        const auto offset = static_cast<std::uint32_t>(arena.size());
        const bool lone_lead = AppendFolded(arena, keywords[i]);
        const std::string_view key = std::string_view(arena).substr(offset);
        std::uint64_t prefix = 0;
        for (std::size_t b = 0; b < 8; ++b) {
            prefix = (prefix << 8) | (b < key.size() ? static_cast<std::uint8_t>(key[b]) : 0u);
        }
        entries.push_back(Entry{
            prefix, offset, static_cast<std::uint32_t>(key.size()) | (lone_lead ? LONE_LEAD : 0),
            static_cast<std::uint32_t>(i)});
    }
    const auto text_of = [&arena](const Entry& entry) {
        return std::string_view(arena).substr(entry.offset, entry.length & LENGTH_MASK);
    };
    std::sort(entries.begin(), entries.end(), [&](const Entry& a, const Entry& b) {
        if (a.prefix != b.prefix) {
            return a.prefix < b.prefix;
        }
        const int order = text_of(a).compare(text_of(b));
        return order != 0 ? order < 0 : a.pair < b.pair;
    });

    // The distinct keywords again in one buffer, now in sorted order, so that the trie
    // builds below read them front to back.
    SortedKeys keys;
    keys.arena.reserve(arena.size());
    keys.spans.reserve(entries.size());
    m_lengths.reserve(entries.size());
    m_pairs_of.reserve(entries.size());
    for (std::size_t e = 0; e < entries.size();) {
        const std::string_view key = text_of(entries[e]);
        std::size_t same = e + 1;
        while (same < entries.size() && text_of(entries[same]) == key) {
            ++same;
        }
        if (keys.spans.size() == MAX_KEYWORDS) {
            break;
        }
        keys.spans.emplace_back(static_cast<std::uint32_t>(keys.arena.size()),
                                static_cast<std::uint32_t>(key.size()));
        m_max_length = std::max(m_max_length, key.size());
        keys.arena += key;
        m_lengths.push_back(entries[e].length);
        if (same - e == 1) {
            m_pairs_of.push_back(DIRECT | (first_pair + entries[e].pair));
        } else {
            m_pairs_of.push_back(static_cast<std::uint32_t>(m_pair_lists.size()));
            m_pair_lists.push_back(static_cast<std::uint32_t>(same - e));
            for (std::size_t i = e; i < same; ++i) {
                m_pair_lists.push_back(first_pair + entries[i].pair);
            }
        }
        m_pair_count += same - e;
        e = same;
    }
    // Released now: the trie needs the sorted copy only. (Assigning an empty string
    // would keep the buffer.)
    std::vector<Entry>().swap(entries);
    std::string().swap(arena);
    // The trie's node count, from the prefixes that neighbouring sorted keywords share:
    // the double array is sized for it once instead of growing by copies.
    std::size_t nodes = 1;
    for (std::size_t k = 0; k < keys.spans.size(); ++k) {
        std::size_t shared = 0;
        if (k > 0) {
            const std::size_t limit = std::min(keys.Size(k), keys.Size(k - 1));
            while (shared < limit && keys.Byte(k, shared) == keys.Byte(k - 1, shared)) {
                ++shared;
            }
        }
        nodes += keys.Size(k) - shared;
    }
    if (keys.spans.empty()) {
        Clear();
        return;
    }

    // First pass: place every node's children, depth first, so that the states along
    // one keyword lie close together and a walk down the trie stays in few cache lines.
    // Each child is marked with the keyword that ends in it, and each node's labels are
    // listed (their count less one, then the labels) for the second pass, which then
    // needs the keywords no more: where its list starts waits in the node's fail field,
    // unused until then (NO_CHILDREN for a leaf).
    constexpr std::uint32_t NO_CHILDREN = 0xFFFFFFFFu;
    std::vector<std::uint8_t> labels;
    std::vector<std::uint32_t> starts;
    std::vector<std::uint8_t> children;
    children.reserve(nodes + nodes / 2);
    {
        Placer<decltype(m_slots)> placer(m_slots, FREE, nodes + nodes / 16 + 1024);
        placer.Take(0);
        // The root is nobody's child: a label no probe of slot 0 can carry (only a
        // childless state, base 0, reaches slot 0, and only with the byte 0).
        m_slots[0].label_out = 1;
        m_slots[0].fail = NO_CHILDREN;
        std::vector<PendingNode> stack{
            PendingNode{0, 0, 0, static_cast<std::uint32_t>(keys.spans.size())}};
        while (!stack.empty()) {
            const PendingNode node = stack.back();
            stack.pop_back();
            GroupChildren(keys, node, labels, starts);
            if (labels.empty()) {
                continue;
            }
            const std::uint32_t base = placer.FindBase(labels);
            m_slots[node.slot].base = base;
            m_slots[node.slot].fail = static_cast<std::uint32_t>(children.size());
            children.push_back(static_cast<std::uint8_t>(labels.size() - 1));
            children.insert(children.end(), labels.begin(), labels.end());
            for (std::size_t k = labels.size(); k-- > 0;) {
                const std::uint32_t child = base + labels[k];
                placer.Take(child);
                const std::uint32_t own =
                    keys.Size(starts[k]) == node.depth + 1 ? starts[k] : NO_KEYWORD;
                m_slots[child].label_out = (own + 1) << 8 | labels[k];
                m_slots[child].fail = NO_CHILDREN;
                stack.push_back(PendingNode{child, node.depth + 1, starts[k], starts[k + 1]});
            }
        }
        m_slots.resize(static_cast<std::size_t>(placer.End()) + 256);
    }
    // A copy costs a second array for a moment: only worth it for much spare room.
    if (m_slots.capacity() > m_slots.size() + m_slots.size() / 8) {
        m_slots.shrink_to_fit();
    }
    std::string().swap(keys.arena);
    std::vector<std::pair<std::uint32_t, std::uint32_t>>().swap(keys.spans);

    // Second pass, breadth first, a level at a time: fail links and output links, which
    // need every shallower state in place. A fail link is a step from the parent's fail
    // state, anywhere in the array: the edges of a run of nodes are listed first, then
    // their steps are taken with the states they read fetched a few edges ahead, so that
    // the waits overlap.
    struct LevelNode {
        std::uint32_t slot;
        std::uint32_t children;  // where its labels are listed, or NO_CHILDREN
    };
    struct Edge {
        std::uint32_t child;
        std::uint32_t parent_fail;  // unused for the root's children, whose fail is the root
        std::uint8_t label;
        bool from_root;
    };
    constexpr std::size_t NODES_PER_RUN = 1024;
    constexpr std::size_t AHEAD = 8;
    std::vector<LevelNode> level{LevelNode{0, m_slots[0].fail}};
    m_slots[0].fail = 0;
    std::vector<LevelNode> next_level;
    std::vector<Edge> edges;
    while (!level.empty()) {
        next_level.clear();
        for (std::size_t run = 0; run < level.size(); run += NODES_PER_RUN) {
            edges.clear();
            const std::size_t run_end = std::min(level.size(), run + NODES_PER_RUN);
            for (std::size_t i = run; i < run_end; ++i) {
                if (i + AHEAD < run_end) {
                    __builtin_prefetch(&m_slots[level[i + AHEAD].slot]);
                }
                const LevelNode& node = level[i];
                if (node.children == NO_CHILDREN) {
                    continue;
                }
                const Slot parent = m_slots[node.slot];
                const std::size_t count = std::size_t{children[node.children]} + 1;
                for (std::size_t k = 1; k <= count; ++k) {
                    const std::uint8_t label = children[node.children + k];
                    edges.push_back(Edge{parent.base + label, parent.fail, label, node.slot == 0});
                }
            }
            for (std::size_t j = 0; j < edges.size(); ++j) {
                if (j + 2 * AHEAD < edges.size()) {
                    __builtin_prefetch(&m_slots[edges[j + 2 * AHEAD].parent_fail]);
                }
                if (j + AHEAD < edges.size()) {
                    const Edge& ahead = edges[j + AHEAD];
                    __builtin_prefetch(&m_slots[m_slots[ahead.parent_fail].base + ahead.label]);
                    __builtin_prefetch(&m_slots[ahead.child], 1);
                }
                const Edge& edge = edges[j];
                const std::uint32_t fail = edge.from_root ? 0 : Step(edge.parent_fail, edge.label);
                Slot& slot = m_slots[edge.child];
                const std::uint32_t own = OutOf(slot.label_out);
                const std::uint32_t out = own != NO_KEYWORD ? own : OutOf(m_slots[fail].label_out);
                next_level.push_back(LevelNode{edge.child, slot.fail});
                slot.fail = fail;
                slot.label_out = (out + 1) << 8 | edge.label;
            }
        }
        level.swap(next_level);
    }
}

std::uint32_t KeywordIndex::Child(std::uint32_t state, std::uint8_t byte) const {
    const std::uint32_t next = m_slots[state].base + byte;
    const std::uint32_t word = m_slots[next].label_out;
    return (word & 0xFF) == byte && word != FREE ? next : 0;
}

std::uint32_t KeywordIndex::Step(std::uint32_t state, std::uint8_t byte) const {
    for (;;) {
        const std::uint32_t next = Child(state, byte);
        if (next != 0 || state == 0) {
            return next;
        }
        state = m_slots[state].fail;
    }
}

KeywordMatch KeywordIndex::Find(const PreparedText& text) const {
    KeywordMatch match;
    if (m_slots.empty()) {
        return match;
    }
    // Keyword numbers of the current best length; a few, so no allocation for them.
    constexpr std::size_t INLINE = 8;
    std::uint32_t found_inline[INLINE];
    std::vector<std::uint32_t> found_more;
    std::size_t found = 0;
    const std::string_view folded = text.Folded();
    // The keywords ending at `pos` in `state`, longest first: only the longest valid one
    // can matter.
    const auto report = [&](std::uint32_t state, std::size_t pos) {
        std::uint32_t at = state;
        for (std::uint32_t k = OutOf(m_slots[at].label_out); k != NO_KEYWORD;) {
            const std::uint32_t entry = m_lengths[k];
            const std::size_t length = entry & LENGTH_MASK;
            if (length < match.length) {
                return;
            }
            const std::size_t end = pos + 1;
            if (text.IsBoundary(end - length) && !((entry & LONE_LEAD) && text.IsTrailAt(end))) {
                if (length > match.length) {
                    match.length = length;
                    found = 0;
                    found_more.clear();
                }
                const bool known =
                    std::find(found_inline, found_inline + std::min(found, INLINE), k) !=
                        found_inline + std::min(found, INLINE) ||
                    std::find(found_more.begin(), found_more.end(), k) != found_more.end();
                if (!known) {
                    if (found < INLINE) {
                        found_inline[found] = k;
                    } else {
                        found_more.push_back(k);
                    }
                    ++found;
                }
                return;
            }
            // The next shorter keyword ending here: that of the first state along the
            // fail chain past k's own state (the root has none).
            while (OutOf(m_slots[at].label_out) == k) {
                at = m_slots[at].fail;
            }
            k = OutOf(m_slots[at].label_out);
        }
    };

    // Almost every step waits for a slot from memory. The state after a byte depends only
    // on the longest keyword's length of bytes before it (no state is deeper), so the text
    // is cut into segments, each started that many bytes early from the root, and the
    // segments are stepped side by side: their waits overlap.
    struct Segment {
        std::uint32_t state = 0;
        std::size_t pos = 0;    // the next byte
        std::size_t begin = 0;  // matches count from here
        std::size_t end = 0;
    };
    constexpr std::size_t MAX_SEGMENTS = 4;
    constexpr std::size_t MIN_SEGMENT = 16;
    const std::size_t size = folded.size();
    std::size_t segments = 1;
    while (segments < MAX_SEGMENTS && size / (segments + 1) >= 2 * m_max_length + MIN_SEGMENT) {
        ++segments;
    }
    std::array<Segment, MAX_SEGMENTS> segment{};
    for (std::size_t s = 0; s < segments; ++s) {
        segment[s].begin = size * s / segments;
        segment[s].end = size * (s + 1) / segments;
        segment[s].pos = segment[s].begin - std::min(segment[s].begin, m_max_length);
    }
    for (bool stepped = true; stepped;) {
        stepped = false;
        for (std::size_t s = 0; s < segments; ++s) {
            Segment& at = segment[s];
            if (at.pos == at.end) {
                continue;
            }
            stepped = true;
            at.state = Step(at.state, static_cast<std::uint8_t>(folded[at.pos]));
            if (at.pos >= at.begin) {
                report(at.state, at.pos);
            }
            ++at.pos;
        }
    }
    const auto add_pairs = [&](std::uint32_t k) { AppendPairs(k, match.pairs); };
    std::for_each(found_inline, found_inline + std::min(found, INLINE), add_pairs);
    std::for_each(found_more.begin(), found_more.end(), add_pairs);
    std::sort(match.pairs.begin(), match.pairs.end());
    return match;
}

std::vector<std::uint32_t> KeywordIndex::FindExact(std::string_view folded) const {
    if (m_slots.empty() || folded.empty()) {
        return {};
    }
    std::uint32_t state = 0;
    for (char byte : folded) {
        state = Child(state, static_cast<std::uint8_t>(byte));
        if (state == 0) {
            return {};
        }
    }
    const std::uint32_t k = OutOf(m_slots[state].label_out);
    if (k == NO_KEYWORD || (m_lengths[k] & LENGTH_MASK) != folded.size()) {
        return {};
    }
    std::vector<std::uint32_t> pairs;
    AppendPairs(k, pairs);
    return pairs;
}

void KeywordIndex::AppendPairs(std::uint32_t keyword, std::vector<std::uint32_t>& pairs) const {
    const std::uint32_t of = m_pairs_of[keyword];
    if (of & DIRECT) {
        pairs.push_back(of & ~DIRECT);
        return;
    }
    const auto begin = m_pair_lists.begin() + of + 1;
    pairs.insert(pairs.end(), begin, begin + m_pair_lists[of]);
}

std::size_t KeywordIndex::MemoryBytes() const {
    return m_slots.capacity() * sizeof(Slot) +
           (m_lengths.capacity() + m_pairs_of.capacity() + m_pair_lists.capacity()) *
               sizeof(std::uint32_t);
}

}  // namespace zelmo::messages
