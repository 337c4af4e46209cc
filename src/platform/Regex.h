#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace zelmo::platform {

// A compiled pattern on bytes (Latin-1), "." matching line breaks, linear time.
// Thread-safe for concurrent matching; compile once and keep it.
class Regex {
public:
    explicit Regex(std::string_view pattern);
    ~Regex();
    Regex(Regex&&) noexcept;
    Regex& operator=(Regex&&) noexcept;

    bool Valid() const;
    // Every non-overlapping match, in order; empty for an invalid pattern.
    std::vector<std::string_view> FindAll(std::string_view text) const;

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

// Compiles and matches once; results are copies.
std::vector<std::string> FindAllMatches(std::string_view text, std::string_view pattern);

// The pattern that matches `literal` exactly, whatever bytes it holds.
std::string QuoteRegex(std::string_view literal);

}  // namespace zelmo::platform
