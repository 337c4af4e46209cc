#include <gtest/gtest.h>

#include <string>

#include "protocol/SyncRequests.h"
#include "protocol/TextHelpers.h"

namespace zelmo::protocol {
namespace {

// The webwxinit layout: one field per line, no indentation, "}\n,{" between entries.
constexpr std::string_view INIT_ANSWER = R"({
"BaseResponse": {
"Ret": 0,
"ErrMsg": ""
}
,
"Count": 0,
"ContactList": [],
"SyncKey": {
"Count": 4,
"List": [{
"Key": 1,
"Val": 658070058
}
,{
"Key": 2,
"Val": 658070346
}
,{
"Key": 3,
"Val": 658070192
}
,{
"Key": 1000,
"Val": 1492994161
}
]
}
,
"User": {
"Uin": 1234567891,
"UserName": "@abc",
"NickName": "[x]"
}
,
"ChatSet": "filehelper,weixin,"
}
)";

constexpr std::string_view FOUR_TEXT = "1_658070058%7C2_658070346%7C3_658070192%7C1000_1492994161";
constexpr std::string_view FOUR_JSON =
    R"({"Count":4,"List":[{"Key":1,"Val":658070058},{"Key":2,"Val":658070346},)"
    R"({"Key":3,"Val":658070192},{"Key":1000,"Val":1492994161}]})";

TEST(UpdateSyncKeyTest, TakesEveryEntryOfTheRealLayout) {
    SyncKey key;
    EXPECT_TRUE(UpdateSyncKey(INIT_ANSWER, key));
    EXPECT_EQ(key.text, FOUR_TEXT);
    EXPECT_EQ(key.json, FOUR_JSON);
}

TEST(UpdateSyncKeyTest, OneEntryHasNoSeparator) {
    const std::string answer =
        "{\n\"SyncKey\": {\n\"Count\": 1,\n\"List\": [{\n\"Key\": 1,\n\"Val\": 42\n}\n]\n}\n,\n"
        "\"SKey\": \"\"\n}\n";
    SyncKey key;
    EXPECT_TRUE(UpdateSyncKey(answer, key));
    EXPECT_EQ(key.text, "1_42");
    EXPECT_EQ(key.json, R"({"Count":1,"List":[{"Key":1,"Val":42}]})");
}

TEST(UpdateSyncKeyTest, KeepsThePreviousFormsWithoutEntries) {
    const SyncKey previous{"1_1", R"({"Count":1,"List":[{"Key":1,"Val":1}]})"};
    SyncKey key = previous;

    EXPECT_FALSE(UpdateSyncKey("{\n\"BaseResponse\": {\n\"Ret\": 0\n}\n}\n", key));
    EXPECT_EQ(key.text, previous.text);
    EXPECT_EQ(key.json, previous.json);

    // The error skeleton of webwxinit: a SyncKey with no entries.
    const std::string empty = "\"SyncKey\": {\n\"Count\": 0,\n\"List\": []\n}\n,\n\"User\": {\n}\n";
    EXPECT_FALSE(UpdateSyncKey(empty, key));
    EXPECT_EQ(key.json, previous.json);

    // A cut-off answer whose entry has no key must not produce a broken body.
    EXPECT_FALSE(UpdateSyncKey("\"SyncKey\": {\n\"List\": [{\n\"Val\": 5\n}\n]", key));
    EXPECT_EQ(key.text, previous.text);
    EXPECT_FALSE(UpdateSyncKey("", key));
    EXPECT_EQ(key.text, previous.text);
}

TEST(UpdateSyncKeyTest, SyncCheckKeyIsNotTakenForTheSyncKey) {
    // The webwxsync tail: SyncKey, SKey, then SyncCheckKey with other values.
    const std::string sync_answer =
        "\"ContinueFlag\": 0,\n"
        "\"SyncKey\": {\n\"Count\": 2,\n\"List\": [{\n\"Key\": 1,\n\"Val\": 11\n}\n,{\n"
        "\"Key\": 2,\n\"Val\": 22\n}\n]\n}\n,\n\"SKey\": \"\",\n"
        "\"SyncCheckKey\": {\n\"Count\": 3,\n\"List\": [{\n\"Key\": 1,\n\"Val\": 91\n}\n,{\n"
        "\"Key\": 2,\n\"Val\": 92\n}\n,{\n\"Key\": 1000,\n\"Val\": 93\n}\n]\n}\n}\n";
    SyncKey key;
    EXPECT_TRUE(UpdateSyncKey(sync_answer, key));
    EXPECT_EQ(key.text, "1_11%7C2_22");
    EXPECT_EQ(key.json, R"({"Count":2,"List":[{"Key":1,"Val":11},{"Key":2,"Val":22}]})");

    // With an empty SyncKey the filled SyncCheckKey behind it is still ignored.
    const std::string empty_key =
        "\"SyncKey\": {\n\"Count\": 0,\n\"List\": []\n}\n,\n"
        "\"SyncCheckKey\": {\n\"Count\": 1,\n\"List\": [{\n\"Key\": 1,\n\"Val\": 91\n}\n]\n}\n";
    EXPECT_FALSE(UpdateSyncKey(empty_key, key));
    EXPECT_EQ(key.text, "1_11%7C2_22");
}

}  // namespace
}  // namespace zelmo::protocol
