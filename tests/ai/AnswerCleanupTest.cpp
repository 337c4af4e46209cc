#include <gtest/gtest.h>

#include <string>

#include "ai/AnswerCleanup.h"
#include "platform/GbkLiteral.h"

namespace zelmo::ai {
namespace {

TEST(AnswerCleanupTest, MarkdownTheChatCannotShowGoesAndLineBreaksStay) {
    const std::string answer =
        "# 标题\r\n\r\n\r\n**加粗** 和 __下划__ 和 `code` 和 ~~删~~\n"
        "> 引用\n* 一\n+ 二\n  - 三\n---\n"
        "```cpp\nint **p = a__b;\n```\n"
        "1. 第一步\n2*3=6, snake_case 保留\n\n";
    EXPECT_EQ(PlainAnswerText(answer),
              "标题\n\n加粗 和 下划 和 code 和 删\n引用\n- 一\n- 二\n  - 三\n\n"
              "int **p = a__b;\n1. 第一步\n2*3=6, snake_case 保留");
    EXPECT_EQ(PlainAnswerText("  \n\n"), "");
}

TEST(AnswerCleanupTest, LongAnswersAreCutAtASentenceEndCountingCharacters) {
    // Twelve characters, thirty-six bytes: a byte count would cut far too early.
    const std::string chinese = "今天天气很好。我们去公园";
    EXPECT_EQ(CutAtSentenceEnd(chinese, 12), chinese);
    EXPECT_EQ(CutAtSentenceEnd(chinese, 11), "今天天气很好。");
    // A closing quote stays with its sentence; "3.14" is no sentence end.
    EXPECT_EQ(CutAtSentenceEnd("他说：“好！”然后走了很远很远", 10), "他说：“好！”");
    EXPECT_EQ(CutAtSentenceEnd("Pi is 3.14 or so. Then more", 17), "Pi is 3.14 or so.");
    EXPECT_EQ(CutAtSentenceEnd("Pi is 3.14 or so. Then more", 10), "Pi is 3.1…");
    EXPECT_EQ(CutAtSentenceEnd("第一行内容\n第二行还有很多字", 9), "第一行内容");
    // No sentence end in the first half: cut at the limit, marked.
    EXPECT_EQ(CutAtSentenceEnd("短。这一句非常非常非常长没有结束", 8), "短。这一句非常…");
    EXPECT_EQ(CutAtSentenceEnd("abc", 0), "");

    // The chat's text: GBK, with what GBK lacks left out rather than shown as "?".
    EXPECT_EQ(ChatAnswerText("**好的** \xF0\x9F\x98\x80！\n再见?", 500),
              platform::Gbk("好的 ！\n再见?"));
}

}  // namespace
}  // namespace zelmo::ai
