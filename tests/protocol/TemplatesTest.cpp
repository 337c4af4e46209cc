#include <gtest/gtest.h>

#include <string>

#include "protocol/Templates.h"
#include "support/FakeClock.h"

namespace zelmo::protocol {
namespace {

Session FilledSession() {
    Session session;
    session.uuid = "QeAbc12==";
    session.Delay = "317";
    session.pass_ticket = "pt%2Bx";
    session.skey = "crypt_1_ab";
    session.sid = "SIDv";
    session.uin = "1234567891";
    session.fun = "2";
    session.deviceid = std::string(DEVICE_ID);
    return session;
}

TEST(FillTemplateTest, ReplacesEveryPlaceholder) {
    test::FakeClock clock(1'700'000'000'000);
    clock.ScriptRandom({5});
    const CallValues call{"@user", "@from", "@to", "hi", "Bob", "[1]"};
    const std::string filled = FillTemplate(
        "{fun}|{uin}|{sid}|{skey}|{pass_ticket}|{deviceid}|{uuid}|{Delay}|{time}|{SyncKey}|"
        "{username}|{from}|{to}|{message}|{remarkname}|{list}",
        FilledSession(), "SK", clock, call);
    EXPECT_EQ(filled,
              "2|1234567891|SIDv|crypt_1_ab|pt%2Bx|e402715839261573|QeAbc12==|317|"
              "1700000000005|SK|@user|@from|@to|hi|Bob|[1]");
}

TEST(FillTemplateTest, EachFillTakesOneFreshTime) {
    test::FakeClock clock(1'700'000'000'000);
    clock.ScriptRandom({1, 2});
    const Session session = FilledSession();
    EXPECT_EQ(FillTemplate("r={time}&_={time}", session, "", clock),
              "r=1700000000001&_=1700000000001");
    EXPECT_EQ(FillTemplate("{time}", session, "", clock), "1700000000002");
    EXPECT_EQ(clock.RandomCalls(), 2);
    // A template without {time} draws nothing.
    FillTemplate("{uin}", session, "", clock);
    EXPECT_EQ(clock.RandomCalls(), 2);
}

TEST(FillTemplateTest, ValuesAreNeverExpandedAgain) {
    test::FakeClock clock;
    Session session = FilledSession();
    session.sid = "{uin}{time}";
    const CallValues call{.message = "say {sid} and {message}"};
    EXPECT_EQ(FillTemplate("{sid}/{message}", session, "", clock, call),
              "{uin}{time}/say {sid} and {message}");
    EXPECT_EQ(clock.RandomCalls(), 0);
}

TEST(FillTemplateTest, LeavesUnknownBracesAndGbkAlone) {
    test::FakeClock clock;
    const Session session = FilledSession();
    EXPECT_EQ(FillTemplate("{\"a\":{x}}{uin", session, "", clock), "{\"a\":{x}}{uin");
    // 0x7B ("{") as the trail byte of a GBK character is no placeholder start.
    const std::string gbk = "\x81{uin}";
    EXPECT_EQ(FillTemplate(gbk, session, "", clock), gbk);
    EXPECT_EQ(FillTemplate("", session, "", clock), "");
}

TEST(FillTemplateTest, EnvelopesFillToTheExactBodies) {
    test::FakeClock clock(1'700'000'000'000);
    clock.ScriptRandom({9});
    ProtocolState state;
    state.session = FilledSession();
    state.sync_key.json = R"({"Count":1,"List":[{"Key":1,"Val":42}]})";

    EXPECT_EQ(STATUS_REPORT_PREFIX, R"({"BaseRequest":{"Uin":0,"Sid":0},)");
    EXPECT_EQ(FillTemplate(INIT_BODY, state, clock),
              R"({"BaseRequest":{"Uin":"1234567891","Sid":"SIDv","Skey":"@crypt_1_ab",)"
              R"("DeviceID":"e402715839261573"}})");
    EXPECT_EQ(FillTemplate(SYNC_BODY, state, clock),
              R"({"BaseRequest":{"Uin":1234567891,"Sid":"SIDv"},)"
              R"("SyncKey":{"Count":1,"List":[{"Key":1,"Val":42}]},"rr":1700000000009})");
    EXPECT_EQ(FillTemplate(BASE_REQUEST_PREFIX, state, clock),
              R"({"BaseRequest":{"Uin":1234567891,"Sid":"SIDv","Skey":"@crypt_1_ab",)"
              R"("DeviceID":"e402715839261573"},)");
}

}  // namespace
}  // namespace zelmo::protocol
