#include <gtest/gtest.h>

#include <random>
#include <string>

#include "platform/Gzip.h"

namespace zelmo::platform {
namespace {

std::string Sample(std::size_t size) {
    std::mt19937 random(3);
    std::string text;
    while (text.size() < size) {
        text += "\"MsgId\": \"" + std::to_string(random()) + "\",\n";
    }
    return text.substr(0, size);
}

TEST(GzipTest, RoundTripAcrossManyChunks) {
    const std::string plain = Sample(300000);
    const std::string packed = Gzip(plain);
    ASSERT_GT(packed.size(), 8192U * 2);
    ASSERT_LT(packed.size(), plain.size());
    EXPECT_EQ(packed.substr(0, 2), "\x1F\x8B");
    EXPECT_EQ(Gunzip(packed), plain);
    EXPECT_EQ(Gunzip(Gzip("")), "");
}

TEST(GzipTest, TruncatedStreamEndsWithAPrefix) {
    const std::string plain = Sample(200000);
    const std::string packed = Gzip(plain);
    for (const std::size_t cut : {packed.size() / 2, packed.size() - 1, std::size_t{5}}) {
        const std::string partial = Gunzip(packed.substr(0, cut));
        EXPECT_EQ(partial, plain.substr(0, partial.size())) << cut;
    }
    const std::string half = Gunzip(packed.substr(0, packed.size() / 2));
    EXPECT_GT(half.size(), 0U);
    EXPECT_LT(half.size(), plain.size());
}

TEST(GzipTest, GarbageAndEmptyInputEnd) {
    EXPECT_EQ(Gunzip(""), "");
    EXPECT_EQ(Gunzip("not compressed at all"), "");
    std::string random_bytes(50000, '\0');
    std::mt19937 random(9);
    for (char& byte : random_bytes) {
        byte = static_cast<char>(random());
    }
    EXPECT_LE(Gunzip(random_bytes).size(), 50000U * 1032);  // it returns, bounded
    // A valid header followed by garbage.
    EXPECT_EQ(Gunzip(Gzip("hello").substr(0, 10) + std::string(100, '\xFF')), "");
}

// A few kilobytes that unpack to gigabytes must not take the machine's memory.
TEST(GzipTest, DecodingPastTheLimitFails) {
    const std::string plain = Sample(100000);
    const std::string packed = Gzip(plain);
    EXPECT_TRUE(Gunzip(packed, plain.size()) == plain) << "exactly at the limit is fine";
    EXPECT_EQ(Gunzip(packed, plain.size() - 1), "");
    EXPECT_EQ(Gunzip(packed, 0), "");
    EXPECT_EQ(Gunzip(Gzip(""), 0), "");

    const std::string bomb = Gzip(std::string(MAX_BODY_BYTES + 1, '\0'));
    ASSERT_LT(bomb.size(), std::size_t{1} << 20);
    EXPECT_EQ(Gunzip(bomb), "");
}

TEST(GzipTest, StopsAtTheStreamEndAndAcceptsZlib) {
    EXPECT_EQ(Gunzip(Gzip("first") + "trailing bytes"), "first");
    // "hello" as a zlib stream (78 9C header), as some servers send for gzip.
    const std::string zlib_hello("\x78\x9C\xCB\x48\xCD\xC9\xC9\x07\x00\x06\x2C\x02\x15", 13);
    EXPECT_EQ(Gunzip(zlib_hello), "hello");
}

}  // namespace
}  // namespace zelmo::platform
