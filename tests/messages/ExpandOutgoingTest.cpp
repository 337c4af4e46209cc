#include <gtest/gtest.h>

#include "messages/Sending.h"
#include "platform/GbkLiteral.h"

namespace zelmo::messages {
namespace {

using platform::Gbk;

TEST(ExpandOutgoingTest, NameAndLineBreaksInAnyCaseOtherWordsStay) {
    EXPECT_EQ(ExpandOutgoing(Gbk("我是[mkname]，[MKNAME]！[ENTER]第二行[Enter]"), Gbk("小精灵")),
              Gbk("我是小精灵，小精灵！\r\n第二行\r\n"));
    EXPECT_EQ(ExpandOutgoing("[mzname] {to} [name] [sp1]", "Zelmo"), "[mzname] {to} [name] [sp1]");
    // The name is put in first, so a name holding the line-break word becomes one.
    EXPECT_EQ(ExpandOutgoing("[mkname]", "a[enter]b"), "a\r\nb");
}

TEST(ExpandOutgoingTest, PlaceholdersMatchOnlyAtCharacterStarts) {
    // 0xB0 followed by "[" is one character whose second byte looks like "[".
    const std::string straddling = "\xB0[enter]";
    EXPECT_EQ(ExpandOutgoing(straddling, "x"), straddling);
    EXPECT_EQ(ExpandOutgoing("\xB0\xA1[enter]", "x"), "\xB0\xA1\r\n");
}

}  // namespace
}  // namespace zelmo::messages
