#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "ai/ChatContext.h"
#include "ai/ModelAnswer.h"
#include "ai/ModelClient.h"
#include "support/FakeClock.h"

namespace zelmo::ai {
namespace {

constexpr char ANSWER[] =
    R"({"id":"x","model":"m-1","choices":[{"index":0,"message":{"role":"assistant",)"
    R"("content":"\u4f60\u597d\n\"hi\""},"finish_reason":"length"},{"message":{"content":"no"}}],)"
    R"("usage":{"prompt_tokens":5,"completion_tokens":2,"total_tokens":7}})";

TEST(ModelAnswerTest, OnlyAWholeAnswerOfTheShapeCounts) {
    const ModelAnswer whole = ReadModelAnswer(200, "", ANSWER);
    EXPECT_EQ(whole.fault, ModelFault::None);
    EXPECT_EQ(whole.content, "\xe4\xbd\xa0\xe5\xa5\xbd\n\"hi\"");
    EXPECT_EQ(whole.model, "m-1");
    EXPECT_TRUE(whole.cut_by_length);
    EXPECT_EQ(whole.total_tokens, 7);
    // Cut anywhere, the body is no answer, even where the content already came whole.
    const std::string body = ANSWER;
    for (std::size_t size = 0; size < body.size(); ++size) {
        EXPECT_EQ(ReadModelAnswer(200, "", body.substr(0, size)).fault, ModelFault::BadAnswer)
            << size;
    }
    EXPECT_EQ(ReadModelAnswer(200, "", R"({"choices":[{"message":{"content":""}}]})").fault,
              ModelFault::BadAnswer);
    const ModelAnswer refused = ReadModelAnswer(
        200, "", R"({"choices":[{"message":{"content":null,"refusal":"I can't."}}]})");
    EXPECT_EQ(refused.fault, ModelFault::Refused);
    EXPECT_EQ(refused.detail, "I can't.");

    // Statuses decide before bodies; a 404 says which setting by its words.
    EXPECT_EQ(ReadModelAnswer(500, "", ANSWER).fault, ModelFault::Server);
    EXPECT_EQ(ReadModelAnswer(403, "", "").fault, ModelFault::Key);
    EXPECT_EQ(ReadModelAnswer(404, "", R"({"error":{"message":"model \"x\" not found"}})").fault,
              ModelFault::Model);
    const ModelAnswer missing = ReadModelAnswer(404, "", "<html>404 page not found</html>");
    EXPECT_EQ(missing.fault, ModelFault::Address);
    EXPECT_EQ(missing.detail, "<html>404 page not found</html>");
    EXPECT_EQ(ReadModelAnswer(429, "Date: x\r\nretry-after:  17 \r\n", "").retry_after_s, 17);
    EXPECT_EQ(
        ReadModelAnswer(429, "Retry-After: Wed, 21 Oct 2015 07:28:00 GMT\r\n", "").retry_after_s,
        -1);
    EXPECT_EQ(ReadModelAnswer(0, "", "").fault, ModelFault::NoAnswer);

    EXPECT_EQ(CompletionsUrl(" https://h/v1/ "), "https://h/v1/chat/completions");
    EXPECT_EQ(CompletionsUrl("https://h/v1/chat/completions"), "https://h/v1/chat/completions");
    EXPECT_EQ(MaskKey("sk-0123456789abcdefXYZW"), "sk-***XYZW");
    EXPECT_EQ(MaskKey("short-key"), "***");
}

TEST(ModelAnswerTest, MemoryContextGivesTheTurnsBeforeTheAskedOne) {
    MemoryContext context;
    for (int i = 1; i <= 5; ++i) {
        context.Add("@a", {std::to_string(i), i % 2 == 0, "", "t" + std::to_string(i)});
    }
    context.Add("@b", {"9", false, "", "other chat"});
    const auto texts = [&](std::size_t count, std::string_view before) {
        std::string joined;
        for (const ChatTurn& turn : context.Recent("@a", count, before)) {
            joined += turn.text + " ";
        }
        return joined;
    };
    EXPECT_EQ(texts(2, "4"), "t2 t3 ");
    EXPECT_EQ(texts(10, "4"), "t1 t2 t3 ");
    EXPECT_EQ(texts(2, "unknown"), "t4 t5 ");
    EXPECT_EQ(texts(0, ""), "");
    EXPECT_TRUE(context.Recent("@c", 3, "").empty());
    for (std::size_t i = 0; i < MemoryContext::TURNS_PER_CHAT + 3; ++i) {
        context.Add("@a", {"", false, "", std::string(MemoryContext::MAX_TEXT_BYTES + 9, 'x')});
    }
    const std::vector<ChatTurn> kept = context.Recent("@a", 1000, "");
    EXPECT_EQ(kept.size(), MemoryContext::TURNS_PER_CHAT);
    EXPECT_EQ(kept.back().text.size(), MemoryContext::MAX_TEXT_BYTES);
}

// The past of a chat from elsewhere, read once and put in front; a message that is in both
// (archived in the moment its chat began here, or read before it was added) is kept once.
TEST(ModelAnswerTest, MemoryContextPutsAChatsEarlierTurnsInFrontOnce) {
    test::FakeClock clock(5000);
    int reads = 0;
    std::int64_t asked_until = 0;
    MemoryContext context(
        [&](std::string_view chat, std::size_t, std::int64_t until_unix_ms) {
            ++reads;
            asked_until = until_unix_ms;
            return chat == "@a" ? std::vector<ChatTurn>{{"1", false, "", "old"},
                                                        {"2", true, "", "older answer"},
                                                        {"3", false, "", "question"}}
                                : std::vector<ChatTurn>{};
        },
        clock);
    context.Add("@a", {"3", false, "", "question"});
    clock.Advance(1000);
    const auto texts = [&](std::string_view chat) {
        std::string joined;
        for (const ChatTurn& turn : context.Recent(chat, 10, "")) {
            joined += turn.text + "|";
        }
        return joined;
    };
    EXPECT_EQ(texts("@a"), "old|older answer|question|");
    EXPECT_EQ(asked_until, 5000) << "up to when memory began to keep the chat";
    // A chat asked about before its first message was added here.
    EXPECT_EQ(texts("@b"), "");
    context.Add("@b", {"7", false, "", "new"});
    context.Add("@a", {"3", false, "", "question"});
    EXPECT_EQ(texts("@a"), "old|older answer|question|");
    EXPECT_EQ(texts("@b"), "new|");
    EXPECT_EQ(reads, 2);
}

}  // namespace
}  // namespace zelmo::ai
