// The strict parser takes any bytes and keeps only sound JSON; the writer's text is always
// valid JSON that reads back as the value it came from.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "platform/Json.h"

namespace zelmo::test {
namespace {

using platform::Json;
using platform::ParseJson;

TEST(JsonTest, ReadsEveryKindOfValueAndWritesItBack) {
    const std::string text =
        R"({"a":[1,-2,3.5,1e3,true,false,null],"s":"\"\\\/\b\f\n\r\t\u00e9\ud83d\ude39x",)"
        R"("big":12345678901234567890,"o":{}})";
    const std::optional<Json> value = ParseJson(text);
    ASSERT_TRUE(value);
    EXPECT_EQ(value->Find("a")->Items()[1].AsInt(), -2);
    EXPECT_TRUE(value->Find("a")->Items()[2].IsNumber());
    EXPECT_FALSE(value->Find("a")->Items()[2].IsInt());
    EXPECT_EQ(value->Find("s")->AsString(), "\"\\/\b\f\n\r\té😹x");
    EXPECT_FALSE(value->Find("big")->IsInt());
    // What the writer makes, a reference reader reads as the same document.
    const std::string written = platform::WriteJson(*value);
    EXPECT_EQ(nlohmann::json::parse(written), nlohmann::json::parse(text));
    EXPECT_EQ(ParseJson(written), value);
}

TEST(JsonTest, RefusesWhatIsNotStrictJson) {
    for (const std::string_view bad : {"",
                                       "{",
                                       "[1,]",
                                       "{\"a\":1,}",
                                       "01",
                                       "1.",
                                       ".5",
                                       "+1",
                                       "nul",
                                       "'x'",
                                       "\"a\tb\"",
                                       "\"\\x\"",
                                       "\"\\ud800\"",
                                       "\"\\udc00x\"",
                                       "\"\xC0\x80\"",
                                       "\"\xED\xA0\x80\"",
                                       "\"\xFF\"",
                                       "[1] 2",
                                       "{\"a\" 1}",
                                       "1e999",
                                       "\"abc"}) {
        EXPECT_FALSE(ParseJson(bad)) << bad;
    }
    EXPECT_TRUE(ParseJson(" \r\n\t[ ] "));
    // Nesting is bounded, so hostile depth cannot exhaust the stack.
    EXPECT_TRUE(ParseJson(std::string(64, '[') + std::string(64, ']')));
    EXPECT_FALSE(ParseJson(std::string(65, '[') + std::string(65, ']')));
    EXPECT_FALSE(ParseJson(std::string(1000000, '[')));
}

TEST(JsonTest, WritesControlBytesEscapedAndBrokenUtf8AsReplacement) {
    Json value = Json::MakeObject();
    value.Set("k", std::string("a\x01\x1f\"\\\xff\xe4\xb8", 9));
    value.Set("k", std::string("a\x01\x1f\"\\\xff\xe4\xb8", 8));  // replaces, keeps one key
    value.Set("n", 2.0);
    value.Set("raw", Json::MakeRaw(R"({"x":[1]})"));
    const std::string written = platform::WriteJson(value);
    EXPECT_EQ(written,
              "{\"k\":\"a\\u0001\\u001f\\\"\\\\\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\",\"n\":2.0,"
              "\"raw\":{\"x\":[1]}}");
    EXPECT_TRUE(nlohmann::json::accept(written));
}

}  // namespace
}  // namespace zelmo::test
