#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/JsonReader.h"

namespace zelmo::platform {
namespace {

using Token = JsonReader::Token;

// Each token as "<kind>:<text>@<depth>", up to and with End or Fault.
std::vector<std::string> Tokens(std::string_view bytes) {
    static constexpr const char* NAMES[] = {"{",   "}",      "[",   "]",    "key",
                                            "str", "scalar", "end", "fault"};
    std::vector<std::string> tokens;
    JsonReader reader(bytes);
    for (;;) {
        const Token token = reader.Next();
        tokens.push_back(std::string(NAMES[static_cast<int>(token)]) + ":" +
                         std::string(reader.Text()) + "@" + std::to_string(reader.Depth()));
        if (token == Token::End || token == Token::Fault || tokens.size() > 5000) {
            return tokens;
        }
    }
}

constexpr std::string_view DOCUMENT =
    "{\n\"A\": [{\n\"b\": \"x\\\"}]\",\n\"c\": -12.5e3\n}\n,{\n}\n],\n\"D\": {\n\"e\": null\n}"
    "\n,\n\"F\": []\n}\n";

TEST(JsonReaderTest, TokensInOrderWithRawTextsAndDepths) {
    const std::vector<std::string> expected = {
        "{:@1",    "key:A@1",       "[:@2",    "{:@3",
        "key:b@3", "str:x\\\"}]@3", "key:c@3", "scalar:-12.5e3@3",
        "}:@2",    "{:@3",          "}:@2",    "]:@1",
        "key:D@1", "{:@2",          "key:e@2", "scalar:null@2",
        "}:@1",    "key:F@1",       "[:@2",    "]:@1",
        "}:@0",    "end:@0"};
    EXPECT_EQ(Tokens(DOCUMENT), expected);

    JsonReader reader("{\"k\": \"v\", \"n\": 7 }");
    reader.Next();
    reader.Next();
    ASSERT_EQ(reader.Next(), Token::String);
    EXPECT_EQ(reader.ValueBytes(), "\"v\"");
    EXPECT_EQ(reader.Offset(), 6u);
    reader.Next();
    ASSERT_EQ(reader.Next(), Token::Scalar);
    EXPECT_EQ(reader.ValueBytes(), "7");
}

// A cut answer yields exactly the tokens that came whole, then faults for good.
TEST(JsonReaderTest, EveryCutGivesTheWholeTokensBeforeItAndThenAFault) {
    const std::vector<std::string> whole = Tokens(DOCUMENT);
    for (std::size_t length = 1; length < DOCUMENT.size() - 1; ++length) {
        const std::vector<std::string> cut = Tokens(DOCUMENT.substr(0, length));
        ASSERT_EQ(cut.back().substr(0, 6), "fault:") << length;
        ASSERT_LT(cut.size(), whole.size()) << length;
        for (std::size_t i = 0; i + 1 < cut.size(); ++i) {
            ASSERT_EQ(cut[i], whole[i]) << "cut at " << length;
        }
    }
    // A number at the very end may have lost digits.
    EXPECT_EQ(Tokens("{\"a\": 12").back(), "fault:@1");
    EXPECT_EQ(Tokens("12").back(), "fault:@0");
    EXPECT_EQ(Tokens("12 ").front(), "scalar:12@0");
    EXPECT_EQ(Tokens(""), std::vector<std::string>{"end:@0"});
    EXPECT_EQ(Tokens(" \n"), std::vector<std::string>{"end:@0"});

    JsonReader reader("{\"a\": [}");
    while (reader.Next() != Token::Fault) {
    }
    EXPECT_EQ(reader.Next(), Token::Fault);
    EXPECT_EQ(reader.SkipValue(), Token::Fault);
}

TEST(JsonReaderTest, ANulEndsTheInputAndLooseFormsAreTakenButNoBrokenOne) {
    using namespace std::string_view_literals;
    // The text an answer converts to ends at its first NUL.
    EXPECT_EQ(Tokens("{\"a\": \"x\0y\"}"sv).back(), "fault:@1");
    EXPECT_EQ(Tokens("{\"a\": 1\0}"sv).back(), "fault:@1");
    EXPECT_EQ(Tokens("{\"a\": 1}\0 junk"sv).back(), "end:@0");
    JsonReader nul("[1,\0 2]"sv);
    while (nul.Next() != Token::Fault) {
    }
    EXPECT_EQ(nul.Bytes(), "[1,");

    // A comma before a closing bracket, any escape, bytes after the value.
    EXPECT_EQ(Tokens("{\"a\": [1,],}").back(), "end:@0");
    EXPECT_EQ(Tokens("{\"a\": \"\\q\\\"\"} trailing").back(), "end:@0");

    for (const std::string_view broken :
         {"{\"a\" 1}", "{\"a\": 1 \"b\": 2}", "{\"a\": }", "[1}", "{1: 2}", "{\"a\": [,]}", "{,}",
          "}", "{\"a\": 1}}", "{\"a\"\n: \"b}"}) {
        const std::vector<std::string> tokens = Tokens(broken);
        if (broken == "{\"a\": 1}}") {
            EXPECT_EQ(tokens.back(), "end:@0") << broken;  // the top-level value came whole
            continue;
        }
        EXPECT_EQ(tokens.back().substr(0, 6), "fault:") << broken;
    }
}

TEST(JsonReaderTest, DeepNestingFaultsWithoutExhaustingTheStack) {
    const std::string deep(JsonReader::MAX_DEPTH + 1, '[');
    const std::string closed = deep + "]";
    JsonReader reader(closed);
    std::size_t opened = 0;
    Token token = reader.Next();
    while (token == Token::ArrayStart) {
        ++opened;
        token = reader.Next();
    }
    EXPECT_EQ(token, Token::Fault);
    EXPECT_EQ(opened, JsonReader::MAX_DEPTH);

    const std::string within =
        std::string(JsonReader::MAX_DEPTH, '[') + std::string(JsonReader::MAX_DEPTH, ']');
    EXPECT_EQ(Tokens(within).back(), "end:@0");
    // Skipping checks the depth too.
    const std::string in_object = "{\"a\": " + deep + "}";
    JsonReader skipping(in_object);
    skipping.Next();
    skipping.Next();
    EXPECT_EQ(skipping.SkipValue(), Token::Fault);
}

TEST(JsonReaderTest, SkippingPairsUpBracketsOutsideStringsAndLandsAfterTheValue) {
    JsonReader reader(
        "{\"skip\": {\"x\": [\"]}\\\"\", {\"y\": [[]]}], \"z\": 1}, \"next\": \"v\", "
        "\"rest\": [1, {\"q\": \"}\"}], \"last\": 2}");
    ASSERT_EQ(reader.Next(), Token::ObjectStart);
    ASSERT_EQ(reader.Next(), Token::Key);
    EXPECT_EQ(reader.SkipValue(), Token::ObjectEnd);
    EXPECT_EQ(reader.Depth(), 1u);
    ASSERT_EQ(reader.Next(), Token::Key);
    EXPECT_EQ(reader.Text(), "next");
    EXPECT_EQ(reader.SkipValue(), Token::String);
    EXPECT_EQ(reader.Text(), "v");
    ASSERT_EQ(reader.Next(), Token::Key);
    ASSERT_EQ(reader.Next(), Token::ArrayStart);
    ASSERT_EQ(reader.Next(), Token::Scalar);
    // The rest of the array, then the object goes on.
    EXPECT_EQ(reader.SkipRest(), Token::ArrayEnd);
    ASSERT_EQ(reader.Next(), Token::Key);
    EXPECT_EQ(reader.Text(), "last");
    EXPECT_EQ(reader.SkipRest(), Token::ObjectEnd);
    EXPECT_EQ(reader.Next(), Token::End);

    for (const std::string_view broken : {"{\"a\": [}", "{\"a\": [\"]", "{\"a\": {\"b\": 1]"}) {
        JsonReader cut(broken);
        cut.Next();
        cut.Next();
        EXPECT_EQ(cut.SkipValue(), Token::Fault) << broken;
        EXPECT_EQ(cut.Next(), Token::Fault) << broken;
    }
}

TEST(JsonReaderTest, UnescapeDecodesTheEscapesAndKeepsEverythingElse) {
    EXPECT_EQ(UnescapeJson(R"(a\"b\\c\/d\b\f\n\r\t)"), "a\"b\\c/d\b\f\n\r\t");
    EXPECT_EQ(UnescapeJson(R"(\u5c0f\u0041 \ud83d\ude39!)"), "小A 😹!");
    // Lone surrogates and NUL become "?"; what is no escape stays as written.
    EXPECT_EQ(UnescapeJson(R"(\ud83d|\ude39|\u0000|\uzzzz|\q|\u12)"), "?|?|?|\\uzzzz|\\q|\\u12");
    EXPECT_EQ(UnescapeJson("end\\"), "end\\");
    EXPECT_EQ(UnescapeJson("中\\n文\xff"), "中\n文\xff");
}

}  // namespace
}  // namespace zelmo::platform
