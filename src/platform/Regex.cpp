#include "platform/Regex.h"

#include <re2/re2.h>

namespace zelmo::platform {

namespace {

RE2::Options ByteOptions() {
    RE2::Options options;
    // Texts are GBK: bytes, not UTF-8. Case folding would fold GBK bytes too, so never.
    options.set_encoding(RE2::Options::EncodingLatin1);
    options.set_dot_nl(true);
    options.set_case_sensitive(true);
    options.set_log_errors(false);
    return options;
}

}  // namespace

struct Regex::Impl {
    explicit Impl(std::string_view pattern)
        : re2(re2::StringPiece(pattern.data(), pattern.size()), ByteOptions()) {}
    RE2 re2;
};

Regex::Regex(std::string_view pattern) : m_impl(std::make_unique<Impl>(pattern)) {}
Regex::~Regex() = default;
Regex::Regex(Regex&&) noexcept = default;
Regex& Regex::operator=(Regex&&) noexcept = default;

bool Regex::Valid() const {
    return m_impl != nullptr && m_impl->re2.ok();
}

std::vector<std::string_view> Regex::FindAll(std::string_view text) const {
    std::vector<std::string_view> matches;
    if (!Valid()) {
        return matches;
    }
    const re2::StringPiece input(text.data(), text.size());
    std::size_t pos = 0;
    while (pos <= text.size()) {
        re2::StringPiece match;
        if (!m_impl->re2.Match(input, pos, input.size(), RE2::UNANCHORED, &match, 1)) {
            break;
        }
        const auto start = static_cast<std::size_t>(match.data() - text.data());
        matches.emplace_back(text.data() + start, match.size());
        // An empty match would be found again at the same place: step one byte on.
        pos = start + match.size() + (match.empty() ? 1 : 0);
    }
    return matches;
}

std::vector<std::string> FindAllMatches(std::string_view text, std::string_view pattern) {
    const Regex regex(pattern);
    std::vector<std::string> copies;
    for (const std::string_view match : regex.FindAll(text)) {
        copies.emplace_back(match);
    }
    return copies;
}

std::string QuoteRegex(std::string_view literal) {
    return RE2::QuoteMeta(re2::StringPiece(literal.data(), literal.size()));
}

}  // namespace zelmo::platform
