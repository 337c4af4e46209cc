#include "platform/GbkText.h"

#include <cstring>
#include <vector>

#include "platform/GbkBytes.h"

namespace zelmo::platform {

namespace {

unsigned char At(std::string_view text, std::size_t pos) {
    return static_cast<unsigned char>(text[pos]);
}
// Answers "is this a character boundary?" for positions asked in increasing order, in
// linear time overall. A byte outside 0x81-0xFE always ends a character, so a boundary
// lies right after it; inside a run of such lead-capable bytes characters are pairs, and
// parity decides. The walk back stops at the last known boundary, so no byte is
// looked at twice.
class BoundaryCursor {
public:
    BoundaryCursor(std::string_view text, std::size_t known_boundary)
        : m_text(text), m_known(known_boundary) {}

    bool IsBoundary(std::size_t pos) {
        if (pos > m_text.size() || pos < m_known) {
            return false;
        }
        std::size_t start = pos;
        while (start > m_known && IsGbkLead(At(m_text, start - 1))) {
            --start;
        }
        // A lead byte whose follower is no trail byte stands alone.
        const bool boundary =
            (pos - start) % 2 == 0 || pos == m_text.size() || !IsGbkTrail(At(m_text, pos));
        m_known = boundary ? pos : pos - 1;
        return boundary;
    }

    // Tells the cursor that `pos` is known to be a boundary (the end of a match).
    void MarkBoundary(std::size_t pos) { m_known = pos; }

private:
    std::string_view m_text;
    std::size_t m_known;
};

// A needle prepared once: which of its bytes are second bytes of a pair (compared
// exactly) and whether it ends in a lone lead byte (which must not pair up in the text).
class Needle {
public:
    Needle(std::string_view needle, bool ignore_case)
        : m_bytes(needle), m_ignore_case(ignore_case), m_trail(needle.size(), false) {
        std::size_t pos = 0;
        while (pos < needle.size()) {
            if (IsGbkLead(At(needle, pos)) && pos + 1 < needle.size() &&
                IsGbkTrail(At(needle, pos + 1))) {
                m_trail[pos + 1] = true;
                pos += 2;
            } else {
                m_ends_with_lone_lead = pos + 1 == needle.size() && IsGbkLead(At(needle, pos));
                pos += 1;
            }
        }
        if (ignore_case) {
            for (std::size_t index = 0; index < m_bytes.size(); ++index) {
                if (!m_trail[index]) {
                    m_bytes[index] = static_cast<char>(FoldAscii(At(m_bytes, index)));
                }
            }
        }
    }

    std::size_t Size() const { return m_bytes.size(); }

    // The bytes at `pos` equal the needle; character structure agrees because folding
    // keeps every byte's lead/trail class, so equal bytes segment alike.
    bool MatchesAt(std::string_view text, std::size_t pos) const {
        if (text.size() - pos < m_bytes.size()) {
            return false;
        }
        if (!m_ignore_case) {
            if (std::memcmp(text.data() + pos, m_bytes.data(), m_bytes.size()) != 0) {
                return false;
            }
        } else {
            for (std::size_t index = 0; index < m_bytes.size(); ++index) {
                unsigned char byte = At(text, pos + index);
                if (!m_trail[index]) {
                    byte = FoldAscii(byte);
                }
                if (byte != At(m_bytes, index)) {
                    return false;
                }
            }
        }
        const std::size_t end = pos + m_bytes.size();
        return !(m_ends_with_lone_lead && end < text.size() && IsGbkTrail(At(text, end)));
    }

    // The next position at or after `from` whose first byte could start a match.
    std::size_t NextCandidate(std::string_view text, std::size_t from) const {
        if (from >= text.size()) {
            return std::string_view::npos;
        }
        const unsigned char first = At(m_bytes, 0);
        const bool fold_first = m_ignore_case && first >= 'a' && first <= 'z';
        if (!fold_first) {
            const void* hit = std::memchr(text.data() + from, first, text.size() - from);
            return hit == nullptr ? std::string_view::npos
                                  : static_cast<const char*>(hit) - text.data();
        }
        // For a lowercase letter, byte | 0x20 equals it only for its two cases.
        for (std::size_t pos = from; pos < text.size(); ++pos) {
            if ((At(text, pos) | 0x20) == first) {
                return pos;
            }
        }
        return std::string_view::npos;
    }

private:
    std::string m_bytes;
    bool m_ignore_case;
    std::vector<bool> m_trail;
    bool m_ends_with_lone_lead = false;
};

std::size_t FindFrom(std::string_view text, const Needle& needle, std::size_t from,
                     BoundaryCursor& cursor) {
    std::size_t candidate = needle.NextCandidate(text, from);
    while (candidate != std::string_view::npos) {
        if (text.size() - candidate < needle.Size()) {
            return std::string_view::npos;
        }
        if (needle.MatchesAt(text, candidate) && cursor.IsBoundary(candidate)) {
            return candidate;
        }
        candidate = needle.NextCandidate(text, candidate + 1);
    }
    return std::string_view::npos;
}

}  // namespace

std::size_t GbkCharLength(std::string_view text, std::size_t pos) {
    return pos + 1 < text.size() && IsGbkLead(At(text, pos)) && IsGbkTrail(At(text, pos + 1)) ? 2
                                                                                              : 1;
}

std::size_t FindGbk(std::string_view text, std::string_view needle, std::size_t from,
                    bool ignore_case) {
    if (from > text.size()) {
        return std::string_view::npos;
    }
    if (needle.empty()) {
        return from;
    }
    const Needle prepared(needle, ignore_case);
    BoundaryCursor cursor(text, from);
    return FindFrom(text, prepared, from, cursor);
}

bool ContainsGbk(std::string_view text, std::string_view needle, bool ignore_case) {
    return FindGbk(text, needle, 0, ignore_case) != std::string_view::npos;
}

std::string ReplaceAllGbk(std::string_view text, std::string_view needle,
                          std::string_view replacement, bool ignore_case) {
    if (needle.empty()) {
        return std::string(text);
    }
    const Needle prepared(needle, ignore_case);
    BoundaryCursor cursor(text, 0);
    std::string out;
    out.reserve(text.size());
    std::size_t pos = 0;
    while (true) {
        const std::size_t match = FindFrom(text, prepared, pos, cursor);
        if (match == std::string_view::npos) {
            break;
        }
        out.append(text.substr(pos, match - pos));
        out.append(replacement);
        pos = match + needle.size();
        cursor.MarkBoundary(pos);
    }
    out.append(text.substr(pos));
    return out;
}

std::string TruncateGbk(std::string_view text, std::size_t max_bytes) {
    if (text.size() <= max_bytes) {
        return std::string(text);
    }
    BoundaryCursor cursor(text, 0);
    const std::size_t end = cursor.IsBoundary(max_bytes) ? max_bytes : max_bytes - 1;
    return std::string(text.substr(0, end));
}

bool IsGbkBoundary(std::string_view text, std::size_t pos) {
    BoundaryCursor cursor(text, 0);
    return cursor.IsBoundary(pos);
}

}  // namespace zelmo::platform
