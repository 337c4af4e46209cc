#include <gtest/gtest.h>

#include <utility>

#include "platform/SharedLibrary.h"

namespace zelmo::platform {
namespace {

using NextFunction = int (*)();

NextFunction Next(SharedLibrary& library) {
    return reinterpret_cast<NextFunction>(library.Symbol("CountingLibraryNext"));
}

TEST(SharedLibraryTest, TwoHandlesShareOneMappingAndOutliveEachOther) {
    SharedLibrary first;
    ASSERT_TRUE(first.Open(ZELMO_COUNTING_LIBRARY)) << first.Error();
    ASSERT_NE(Next(first), nullptr);
    EXPECT_EQ(Next(first)(), 1);

    SharedLibrary second;
    ASSERT_TRUE(second.Open(ZELMO_COUNTING_LIBRARY)) << second.Error();
    EXPECT_EQ(Next(second)(), 2);  // the same counter: one mapping
    first.Close();
    EXPECT_FALSE(first.IsOpen());
    EXPECT_EQ(Next(second)(), 3);  // still loaded through the other handle

    SharedLibrary moved = std::move(second);
    EXPECT_FALSE(second.IsOpen());  // NOLINT(bugprone-use-after-move): the move empties it
    ASSERT_TRUE(moved.IsOpen());
    EXPECT_EQ(Next(moved)(), 4);
}

TEST(SharedLibraryTest, FailuresCarryAReason) {
    SharedLibrary library;
    EXPECT_FALSE(library.Open("/nonexistent/plugin.mzp.so"));
    EXPECT_FALSE(library.IsOpen());
    EXPECT_FALSE(library.Error().empty());
    EXPECT_EQ(library.Symbol("info"), nullptr);

    ASSERT_TRUE(library.Open("libz.so.1")) << library.Error();
    EXPECT_TRUE(library.Error().empty());
    EXPECT_NE(library.Symbol("zlibVersion"), nullptr);
    EXPECT_EQ(library.Symbol("no_such_symbol"), nullptr);
    EXPECT_FALSE(library.Error().empty());
}

}  // namespace
}  // namespace zelmo::platform
