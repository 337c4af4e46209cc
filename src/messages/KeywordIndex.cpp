#include "messages/KeywordIndex.h"

#include <algorithm>
#include <deque>
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

// Bounded first-fit search for a free run of child slots in a growing double array, with
// a base that no other state uses. Free slots form a doubly linked list in slot order; a
// node that does not fit within MAX_TRIES free slots goes past the end, where everything
// is free, so building stays linear at the price of a few holes.
template <class Slot>
class Placer {
public:
    Placer(std::vector<Slot>& slots, std::uint32_t free_word, std::size_t expected)
        : m_slots(slots), m_free_word(free_word) {
        Grow(std::max<std::size_t>(expected, 1024));
    }

    std::uint32_t FindBase(const std::vector<std::uint8_t>& labels) {
        constexpr int MAX_TRIES = 48;
        int tries = 0;
        for (std::int64_t free = m_head; free != -1 && tries < MAX_TRIES;) {
            const std::int64_t next_free = m_next[static_cast<std::size_t>(free)];
            // Free slots far behind the end have failed every base near them: left as holes.
            if (free + WINDOW < static_cast<std::int64_t>(m_end)) {
                Take(static_cast<std::uint32_t>(free));
                free = next_free;
                continue;
            }
            if (free < labels.front() + 1) {
                free = next_free;
                continue;
            }
            const auto base = static_cast<std::uint32_t>(free - labels.front());
            ++tries;
            Grow(static_cast<std::size_t>(base) + 257);
            if (m_base_used[base]) {
                free = next_free;
                continue;
            }
            bool fits = true;
            for (std::size_t k = 1; k < labels.size() && fits; ++k) {
                fits = m_slots[base + labels[k]].label_out == m_free_word;
            }
            if (fits) {
                return Use(base);
            }
            free = next_free;
        }
        // Past the end every slot is free; only the base must still be unused.
        auto base = static_cast<std::uint32_t>(
            std::max<std::int64_t>(1, static_cast<std::int64_t>(m_end) - labels.front()));
        Grow(static_cast<std::size_t>(base) + 257);
        while (m_base_used[base]) {
            ++base;
            Grow(static_cast<std::size_t>(base) + 257);
        }
        return Use(base);
    }

    void Take(std::uint32_t slot) {
        const std::int32_t prev = m_prev[slot];
        const std::int32_t next = m_next[slot];
        (prev == -1 ? m_head : m_next[static_cast<std::size_t>(prev)]) = next;
        (next == -1 ? m_tail : m_prev[static_cast<std::size_t>(next)]) = prev;
        m_end = std::max(m_end, slot + 1);
    }

    std::uint32_t End() const { return m_end; }

private:
    static constexpr std::int64_t WINDOW = 4096;

    std::uint32_t Use(std::uint32_t base) {
        m_base_used[base] = true;
        return base;
    }

    void Grow(std::size_t needed) {
        const std::size_t old_size = m_slots.size();
        if (needed <= old_size) {
            return;
        }
        const std::size_t size = std::max(needed, old_size + old_size / 4);
        m_slots.resize(size);
        m_next.resize(size, -1);
        m_prev.resize(size, -1);
        m_base_used.resize(size, false);
        for (std::size_t slot = old_size; slot < size; ++slot) {
            Link(static_cast<std::int32_t>(slot));
        }
    }

    void Link(std::int32_t slot) {
        m_prev[static_cast<std::size_t>(slot)] = m_tail;
        m_next[static_cast<std::size_t>(slot)] = -1;
        (m_tail == -1 ? m_head : m_next[static_cast<std::size_t>(m_tail)]) = slot;
        m_tail = slot;
    }

    std::vector<Slot>& m_slots;
    std::uint32_t m_free_word;
    std::vector<std::int32_t> m_next;
    std::vector<std::int32_t> m_prev;
    std::vector<bool> m_base_used;
    std::int32_t m_head = -1;
    std::int32_t m_tail = -1;
    std::uint32_t m_end = 0;
};

// A trie node during the build: the sorted keywords [lo, hi) share its first `depth` bytes.
struct PendingNode {
    std::uint32_t slot;
    std::uint32_t depth;
    std::uint32_t lo;
    std::uint32_t hi;
};

// Splits a node's keywords by their next byte: the labels and where each group starts.
// The keyword that ends at this node (it sorts first) is skipped.
void GroupChildren(const std::vector<std::string_view>& keys, const PendingNode& node,
                   std::vector<std::uint8_t>& labels, std::vector<std::uint32_t>& starts) {
    labels.clear();
    starts.clear();
    std::uint32_t k = node.lo;
    if (k < node.hi && keys[k].size() == node.depth) {
        ++k;
    }
    while (k < node.hi) {
        const auto label = static_cast<std::uint8_t>(keys[k][node.depth]);
        labels.push_back(label);
        starts.push_back(k);
        while (k < node.hi && static_cast<std::uint8_t>(keys[k][node.depth]) == label) {
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
    m_next.clear();
    m_next.shrink_to_fit();
    m_pairs_begin.clear();
    m_pairs_begin.shrink_to_fit();
    m_pairs.clear();
    m_pairs.shrink_to_fit();
}

void KeywordIndex::Build(const std::vector<std::string_view>& keywords, std::uint32_t first_pair) {
    Clear();

    // Folded keywords sorted with their pair numbers; equal keywords keep pair order, so
    // every keyword's pair list comes out ascending. Each sorts first by its first eight
    // bytes as one number, so most comparisons never touch the text.
    std::string arena;
    struct Entry {
        std::uint64_t prefix;
        std::uint32_t offset;
        std::uint32_t length;
        std::uint32_t pair;
    };
    std::vector<Entry> entries;
    entries.reserve(keywords.size());
    for (std::size_t i = 0; i < keywords.size(); ++i) {
        if (keywords[i].empty()) {
            continue;
        }
        const std::string key = FoldKeyword(keywords[i]);
        std::uint64_t prefix = 0;
        for (std::size_t b = 0; b < 8; ++b) {
            prefix = (prefix << 8) | (b < key.size() ? static_cast<std::uint8_t>(key[b]) : 0u);
        }
        entries.push_back(Entry{prefix, static_cast<std::uint32_t>(arena.size()),
                                static_cast<std::uint32_t>(key.size()),
                                static_cast<std::uint32_t>(i)});
        arena += key;
    }
    const auto text_of = [&arena](const Entry& entry) {
        return std::string_view(arena).substr(entry.offset, entry.length);
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
    std::string sorted_arena;
    sorted_arena.reserve(arena.size());
    std::vector<std::pair<std::uint32_t, std::uint32_t>> key_spans;
    m_pairs.reserve(entries.size());
    for (const Entry& entry : entries) {
        const std::string_view key = text_of(entry);
        if (key_spans.empty() ||
            std::string_view(sorted_arena).substr(key_spans.back().first) != key) {
            if (key_spans.size() == MAX_KEYWORDS) {
                break;
            }
            key_spans.emplace_back(static_cast<std::uint32_t>(sorted_arena.size()), entry.length);
            sorted_arena += key;
            m_lengths.push_back(entry.length |
                                (EndsWithLoneLead(keywords[entry.pair]) ? LONE_LEAD : 0));
            m_pairs_begin.push_back(static_cast<std::uint32_t>(m_pairs.size()));
        }
        m_pairs.push_back(first_pair + entry.pair);
    }
    m_pairs_begin.push_back(static_cast<std::uint32_t>(m_pairs.size()));
    entries = {};
    arena = {};
    std::vector<std::string_view> keys;
    keys.reserve(key_spans.size());
    for (const auto& [offset, length] : key_spans) {
        keys.push_back(std::string_view(sorted_arena).substr(offset, length));
    }
    key_spans = {};
    m_next.assign(keys.size(), NO_KEYWORD);
    // The trie's node count, from the prefixes that neighbouring sorted keywords share:
    // the double array is sized for it once instead of growing by copies.
    std::size_t nodes = 1;
    for (std::size_t k = 0; k < keys.size(); ++k) {
        std::size_t shared = 0;
        if (k > 0) {
            const std::size_t limit = std::min(keys[k].size(), keys[k - 1].size());
            while (shared < limit && keys[k][shared] == keys[k - 1][shared]) {
                ++shared;
            }
        }
        nodes += keys[k].size() - shared;
    }
    if (keys.empty()) {
        Clear();
        return;
    }

    // First pass: place every node's children, depth first, so that the states along
    // one keyword lie close together and a walk down the trie stays in few cache lines.
    std::vector<std::uint8_t> labels;
    std::vector<std::uint32_t> starts;
    const PendingNode root{0, 0, 0, static_cast<std::uint32_t>(keys.size())};
    {
        Placer<Slot> placer(m_slots, FREE, nodes + nodes / 16 + 1024);
        placer.Take(0);
        // The root is nobody's child: a label no probe of slot 0 can carry (only a
        // childless state, base 0, reaches slot 0, and only with the byte 0).
        m_slots[0].label_out = 1;
        std::vector<PendingNode> stack{root};
        while (!stack.empty()) {
            const PendingNode node = stack.back();
            stack.pop_back();
            GroupChildren(keys, node, labels, starts);
            if (labels.empty()) {
                continue;
            }
            const std::uint32_t base = placer.FindBase(labels);
            m_slots[node.slot].base = base;
            for (std::size_t k = labels.size(); k-- > 0;) {
                const std::uint32_t child = base + labels[k];
                placer.Take(child);
                m_slots[child].label_out = labels[k];
                stack.push_back(PendingNode{child, node.depth + 1, starts[k], starts[k + 1]});
            }
        }
        m_slots.resize(static_cast<std::size_t>(placer.End()) + 256);
    }
    // A copy costs a second array for a moment: only worth it for much spare room.
    if (m_slots.capacity() > m_slots.size() + m_slots.size() / 8) {
        m_slots.shrink_to_fit();
    }

    // Second pass, breadth first: fail links and output links, which need every
    // shallower state in place.
    m_slots[0].fail = 0;
    std::deque<PendingNode> queue{root};
    while (!queue.empty()) {
        const PendingNode node = queue.front();
        queue.pop_front();
        GroupChildren(keys, node, labels, starts);
        const Slot parent = m_slots[node.slot];
        for (std::size_t k = 0; k < labels.size(); ++k) {
            const std::uint32_t child = parent.base + labels[k];
            const std::uint32_t fail = node.slot == 0 ? 0 : Step(parent.fail, labels[k]);
            const std::uint32_t inherited = OutOf(m_slots[fail].label_out);
            std::uint32_t out = inherited;
            const std::uint32_t first = starts[k];
            if (keys[first].size() == node.depth + 1) {
                m_next[first] = inherited;
                out = first;
            }
            Slot& slot = m_slots[child];
            slot.fail = fail;
            slot.label_out = (out + 1) << 8 | labels[k];
        }
        for (std::size_t k = 0; k < labels.size(); ++k) {
            queue.push_back(
                PendingNode{parent.base + labels[k], node.depth + 1, starts[k], starts[k + 1]});
        }
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
    std::uint32_t state = 0;
    for (std::size_t pos = 0; pos < folded.size(); ++pos) {
        state = Step(state, static_cast<std::uint8_t>(folded[pos]));
        // Keywords ending here, longest first; only the longest valid one can matter.
        for (std::uint32_t k = OutOf(m_slots[state].label_out); k != NO_KEYWORD; k = m_next[k]) {
            const std::uint32_t entry = m_lengths[k];
            const std::size_t length = entry & LENGTH_MASK;
            if (length < match.length) {
                break;
            }
            const std::size_t end = pos + 1;
            if (!text.IsBoundary(end - length) || ((entry & LONE_LEAD) && text.IsTrailAt(end))) {
                continue;
            }
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
            break;
        }
    }
    const auto add_pairs = [&](std::uint32_t k) {
        match.pairs.insert(match.pairs.end(), m_pairs.begin() + m_pairs_begin[k],
                           m_pairs.begin() + m_pairs_begin[k + 1]);
    };
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
    return {m_pairs.begin() + m_pairs_begin[k], m_pairs.begin() + m_pairs_begin[k + 1]};
}

std::size_t KeywordIndex::MemoryBytes() const {
    return m_slots.capacity() * sizeof(Slot) + (m_lengths.capacity() + m_next.capacity() +
                                                m_pairs_begin.capacity() + m_pairs.capacity()) *
                                                   sizeof(std::uint32_t);
}

}  // namespace zelmo::messages
