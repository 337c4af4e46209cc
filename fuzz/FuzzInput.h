#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <vector>

// The fuzzer's bytes as several inputs: the first count - 1 lines (without their "\n"),
// then the rest, which may hold line breaks of its own. Missing lines are empty.
inline std::vector<std::string_view> FuzzFields(const std::uint8_t* data, std::size_t size,
                                                std::size_t count) {
    std::string_view rest(reinterpret_cast<const char*>(data), size);
    std::vector<std::string_view> fields;
    while (fields.size() + 1 < count) {
        const std::size_t newline = rest.find('\n');
        if (newline == std::string_view::npos) {
            fields.push_back(rest);
            rest = {};
            continue;
        }
        fields.push_back(rest.substr(0, newline));
        rest.remove_prefix(newline + 1);
    }
    fields.push_back(rest);
    return fields;
}

inline std::string_view FuzzText(const std::uint8_t* data, std::size_t size) {
    return {reinterpret_cast<const char*>(data), size};
}

// A broken property: libFuzzer keeps the input that made it and reports the crash.
#define FUZZ_CHECK(condition)                                                                  \
    do {                                                                                       \
        if (!(condition)) {                                                                    \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                      \
        }                                                                                      \
    } while (false)
