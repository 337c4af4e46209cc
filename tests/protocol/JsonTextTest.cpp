#include <gtest/gtest.h>

#include <string>

#include "platform/Encoding.h"
#include "protocol/JsonText.h"

namespace zelmo::protocol {
namespace {

// A GBK character whose trail byte is 0x5C, the backslash.
constexpr std::string_view TRAIL_BACKSLASH = "\x81\x5C";

TEST(ExtractJsonStringTest, EndsAtTheRealQuoteAndDecodes) {
    const std::string answer = R"("NickName": "say \"hi\", ok",
"Signature": "a\\b\/c\nd",
)";
    EXPECT_EQ(ExtractJsonString(answer, "\"NickName\": \""), "say \"hi\", ok");
    EXPECT_EQ(ExtractJsonString(answer, "\"Signature\": \""), "a\\b/c\nd");
    EXPECT_EQ(ExtractJsonString(answer, "\"Missing\": \""), "");
    EXPECT_EQ(ExtractJsonString(R"("A": "unterminated \")", "\"A\": \""), "");
    EXPECT_EQ(ExtractJsonString(R"("A": "", "B": "x")", "\"A\": \""), "");
}

TEST(ExtractJsonStringTest, StartSkipsEarlierFields) {
    const std::string text = R"("UserName": "@first", "SyncKey": {}, "UserName": "@self")";
    const std::size_t sync = text.find("\"SyncKey\": ") + 1;
    EXPECT_EQ(ExtractJsonString(text, "\"UserName\": \"", sync), "@self");
    EXPECT_EQ(ExtractJsonString(text, "\"UserName\": \"", text.size() + 1), "");
}

TEST(ExtractJsonStringTest, GbkTrailBackslashIsNoEscape) {
    // The character's second byte must not swallow the closing quote.
    const std::string text =
        std::string("\"NickName\": \"") + std::string(TRAIL_BACKSLASH) + "\",\n\"Sex\": 1,";
    EXPECT_EQ(ExtractJsonString(text, "\"NickName\": \""), TRAIL_BACKSLASH);
}

TEST(DecodeJsonStringTest, UnicodeEscapesBecomeGbk) {
    EXPECT_EQ(DecodeJsonString(R"(\u4e2d\u6587)"), platform::Utf8ToGbk("中文"));
    EXPECT_EQ(DecodeJsonString(R"(A\u0042C)"), "ABC");
    EXPECT_EQ(DecodeJsonString(R"(x\u00e9y)"), platform::Utf8ToGbk("xéy"));
    // An emoji (a surrogate pair) has no GBK character.
    EXPECT_EQ(DecodeJsonString(R"(hi\ud83d\ude39!)"), "hi?!");
    EXPECT_EQ(DecodeJsonString(R"(\ud83d\ude39\u4e2d)"), "?" + platform::Utf8ToGbk("中"));
    // Lone surrogates and NUL can neither corrupt nor cut the text.
    EXPECT_EQ(DecodeJsonString(R"(a\ud83db)"), "a?b");
    EXPECT_EQ(DecodeJsonString(R"(a\ude39b)"), "a?b");
    EXPECT_EQ(DecodeJsonString(R"(a\u0000b)"), "a?b");
}

TEST(DecodeJsonStringTest, MalformedEscapesStayBounded) {
    EXPECT_EQ(DecodeJsonString(R"(\q)"), R"(\q)");
    EXPECT_EQ(DecodeJsonString(R"(\u12)"), R"(\u12)");
    EXPECT_EQ(DecodeJsonString(R"(\uZZZZ)"), R"(\uZZZZ)");
    EXPECT_EQ(DecodeJsonString("end\\"), "end\\");
    EXPECT_EQ(DecodeJsonString(""), "");
    const std::string gbk = std::string(TRAIL_BACKSLASH) + "n";
    EXPECT_EQ(DecodeJsonString(gbk), gbk);
}

TEST(JsonEscapeTest, EscapesWhatWouldBreakTheBody) {
    EXPECT_EQ(JsonEscape(R"(say "hi" \o/)"), R"(say \"hi\" \\o/)");
    EXPECT_EQ(JsonEscape("a\r\nb\tc"), R"(a\r\nb\tc)");
    EXPECT_EQ(JsonEscape(std::string("\x01\x1f", 2)), R"(\u0001\u001f)");
    EXPECT_EQ(JsonEscape("\",\"Type\":1,\"x\":\""), R"(\",\"Type\":1,\"x\":\")");
    EXPECT_EQ(JsonEscape(TRAIL_BACKSLASH), TRAIL_BACKSLASH);
    // A lead byte without a trail must not swallow the backslash of the next escape.
    EXPECT_EQ(JsonEscape("\x81\"}"), R"(?\"})");
    EXPECT_EQ(JsonEscape("a\xfe"), "a?");
    EXPECT_EQ(JsonEscape("\x80"), "\x80");  // the euro sign is one byte
}

TEST(JsonEscapeTest, RoundTripsThroughDecode) {
    const std::string texts[] = {
        "plain",
        "q\"uote\\back/slash",
        "lines\r\nand\ttabs\b\f",
        std::string("ctl\x01\x02\x7f", 6),
        std::string(TRAIL_BACKSLASH) + "\"" + std::string(TRAIL_BACKSLASH),
        platform::Utf8ToGbk("中文 \"引号\""),
    };
    for (const std::string& text : texts) {
        const std::string quoted = "\"v\": \"" + JsonEscape(text) + "\",";
        EXPECT_EQ(ExtractJsonString(quoted, "\"v\": \""), text) << text;
    }
}

TEST(FindJsonEndTest, SkipsBracketsInsideStrings) {
    const std::string members =
        R"(x[{"NickName": "[微笑]}", "A": "q\"]"}, {"B": [1, {"C": "}"}]}], "tail": 1)";
    const std::size_t open = members.find('[');
    const std::size_t close = FindJsonEnd(members, open);
    ASSERT_NE(close, std::string::npos);
    EXPECT_EQ(members.substr(close), "], \"tail\": 1");
    EXPECT_EQ(FindJsonEnd(members, open + 1), members.find("}, {"));
}

TEST(FindJsonEndTest, GbkTrailBackslashInsideAString) {
    const std::string text = "[{\"N\": \"" + std::string(TRAIL_BACKSLASH) + "\"}]";
    EXPECT_EQ(FindJsonEnd(text, 0), text.size() - 1);
}

TEST(FindJsonEndTest, UnclosedOrOddInputGivesNpos) {
    EXPECT_EQ(FindJsonEnd("[1, [2]", 0), std::string::npos);
    EXPECT_EQ(FindJsonEnd("[\"]", 0), std::string::npos);
    EXPECT_EQ(FindJsonEnd("[}", 0), std::string::npos);
    EXPECT_EQ(FindJsonEnd("abc", 0), std::string::npos);
    EXPECT_EQ(FindJsonEnd("[]", 5), std::string::npos);
    EXPECT_EQ(FindJsonEnd("", 0), std::string::npos);
    EXPECT_EQ(FindJsonEnd("[]", 0), 1U);
    const std::string deep = std::string(100000, '[') + std::string(100000, ']');
    EXPECT_EQ(FindJsonEnd(deep, 0), deep.size() - 1);
    EXPECT_EQ(FindJsonEnd(std::string(100000, '['), 0), std::string::npos);
}

}  // namespace
}  // namespace zelmo::protocol
