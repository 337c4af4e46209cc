#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "platform/GbkLiteral.h"
#include "protocol/LoginFlow.h"
#include "protocol/PushLogin.h"
#include "protocol/SavedSession.h"
#include "protocol/SessionStore.h"

namespace zelmo::protocol {
namespace {

using platform::Gbk;

TEST(PushLoginAnswerTest, TakesTheUuidOnlyFromAnAcceptedPush) {
    // The service's own layout: a member per line, a blank after each colon.
    EXPECT_EQ(
        PushLoginUuid("{\n\"ret\": \"0\",\n\"msg\": \"all ok\",\n\"uuid\": \"AbC-d_e==\"\n}\n"),
        "AbC-d_e==");
    EXPECT_EQ(PushLoginUuid(R"({"ret":0,"msg":"all ok","uuid":"Q1+/w=="})"), "Q1+/w==");
    for (const std::string_view refused :
         {R"({"ret":"1","msg":"","uuid":""})", R"({"ret":"1","uuid":"abc"})",
          R"({"ret":"01","uuid":"abc"})", R"({"msg":"all ok","uuid":"abc"})",
          R"({"ret":"0","msg":"all ok"})", R"({"ret":"0","uuid":""})",
          // It goes into the poll's URL: nothing that could add a parameter or a path.
          R"({"ret":"0","uuid":"ab&tip=1"})", R"({"ret":"0","uuid":"a b"})",
          R"({"ret":"0","uuid":"a\"b"})", R"({"ret":"0","uuid":"abc)", "", "garbage"}) {
        EXPECT_EQ(PushLoginUuid(refused), "") << refused;
    }
    EXPECT_EQ(PushLoginUuid(R"({"ret":"0","uuid":")" + std::string(64, 'a') + "\"}"),
              std::string(64, 'a'));
    EXPECT_EQ(PushLoginUuid(R"({"ret":"0","uuid":")" + std::string(65, 'a') + "\"}"), "");
}

TEST(PushLoginAnswerTest, NewestCookiesKeepOnePairPerNameWithTheLastValue) {
    EXPECT_EQ(NewestCookies("a=1; wxsid=OLD; b=2; wxsid=NEW; c=3; a=9"),
              "a=9; wxsid=NEW; b=2; c=3");
    EXPECT_EQ(NewestCookies("a=1; b=2"), "a=1; b=2");
    EXPECT_EQ(NewestCookies(""), "");
    EXPECT_EQ(NewestCookies(";;  ; x=; x=1"), "x=1");
}

TEST(RefusalTest, TheServicesNoCarriesItsCodeAndMessageInGbk) {
    const std::optional<LoginRefusal> refusal = ParseRefusal(
        "<error><ret>1203</ret><message>为了你的帐号安全，此微信号不能登录网页微信。&amp;"
        "</message></error>");
    ASSERT_TRUE(refusal);
    EXPECT_EQ(refusal->ret, "1203");
    EXPECT_EQ(refusal->message, Gbk("为了你的帐号安全，此微信号不能登录网页微信。&"));
    EXPECT_EQ(ParseRefusal("<error><ret>-14</ret><message>ticket error</message></error>")->ret,
              "-14");
    // A success, a network failure or a page that is no such answer: no refusal to show.
    for (const std::string_view none :
         {"<error><ret>0</ret><message></message><wxuin>1</wxuin></error>", "", "<html>500</html>",
          "<ret>12a</ret>", "<ret></ret>", "<ret>12345678901</ret>"}) {
        EXPECT_FALSE(ParseRefusal(none)) << none;
    }
    // However long the message, what is shown stays bounded and whole characters.
    const std::optional<LoginRefusal> long_one =
        ParseRefusal("<ret>1</ret><message>" + std::string(3000, 'x') + "中</message>");
    ASSERT_TRUE(long_one);
    EXPECT_LE(long_one->message.size(), 2048u);
}

SavedSession Sample() {
    SavedSession saved;
    saved.session.uin = "2100000001";
    saved.session.sid = "SID+/=";
    saved.session.skey = "crypt_ab_cd";
    saved.session.pass_ticket = "pt%2B";
    saved.session.fun = "2";
    saved.session.deviceid = "e402715839261573";
    saved.session.cookies = "wxuin=2100000001; wxsid=SID; webwx_data_ticket=x=y";
    saved.session.login_mode = LoginMode::Web;
    saved.sync_key = {"1_2%7C3_4", R"({"Count":2,"List":[{"Key":1,"Val":2},{"Key":3,"Val":4}]})"};
    return saved;
}

TEST(SavedSessionTest, RoundTripsEveryFieldAndTheLoggedOutMark) {
    for (const bool logged_out : {false, true}) {
        SavedSession saved = Sample();
        saved.logged_out = logged_out;
        const std::string text = FormatSavedSession(saved);
        const std::optional<SavedSession> read = ParseSavedSession(text);
        ASSERT_TRUE(read) << text;
        EXPECT_EQ(read->session.uin, saved.session.uin);
        EXPECT_EQ(read->session.sid, saved.session.sid);
        EXPECT_EQ(read->session.skey, saved.session.skey);
        EXPECT_EQ(read->session.pass_ticket, saved.session.pass_ticket);
        EXPECT_EQ(read->session.fun, saved.session.fun);
        EXPECT_EQ(read->session.deviceid, saved.session.deviceid);
        EXPECT_EQ(read->session.cookies, saved.session.cookies);
        EXPECT_EQ(read->session.login_mode, LoginMode::Web);
        EXPECT_EQ(read->sync_key.text, saved.sync_key.text);
        EXPECT_EQ(read->sync_key.json, saved.sync_key.json);
        EXPECT_EQ(read->logged_out, logged_out);
    }
    // CR LF line ends (a file edited elsewhere) read the same.
    std::string crlf;
    for (const char c : FormatSavedSession(Sample())) {
        crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    }
    ASSERT_TRUE(ParseSavedSession(crlf));
    EXPECT_EQ(ParseSavedSession(crlf)->session.cookies, Sample().session.cookies);
}

TEST(SavedSessionTest, NothingThatCouldSplitTheFileOrNameAnotherFolderIsKept) {
    SavedSession broken = Sample();
    broken.session.cookies += "\nlogged_out=1";
    EXPECT_EQ(FormatSavedSession(broken), "");
    broken = Sample();
    broken.session.uin = "../1";
    EXPECT_EQ(FormatSavedSession(broken), "");

    const std::string good = FormatSavedSession(Sample());
    for (const std::string& bad :
         {std::string(), std::string("garbage"), std::string(70 * 1024, 'a'),
          std::string("uin=12a\nsid=s\nskey=k\n"), std::string("uin=1\nskey=k\n"),
          std::string("uin=1\nsid=s\nskey=k\ncookies=a\x01z\n"), good.substr(0, 20)}) {
        EXPECT_FALSE(ParseSavedSession(bad)) << bad.substr(0, 40);
    }
    EXPECT_TRUE(ParseSavedSession("uin=1\nsid=s\nskey=k\n"));
}

TEST(SessionStoreTest, SnapshotsStayWhileLoginsReplaceTheSession) {
    SessionStore store;
    EXPECT_EQ(store.Snapshot()->session.sid, "");
    ProtocolState first;
    first.session.sid = "A";
    first.session.qr_image = "png";
    first.init_answer = "big";
    first.sync_key.text = "1_1";
    store.Publish(first);
    const std::shared_ptr<const ProtocolState> old = store.Snapshot();
    // Only the login needs these: no snapshot carries them.
    EXPECT_EQ(old->session.qr_image, "");
    EXPECT_EQ(old->init_answer, "");

    EXPECT_TRUE(store.SetSyncKey(*old, {"1_2", "{2}"}));
    EXPECT_EQ(store.Snapshot()->sync_key.text, "1_2");
    EXPECT_EQ(old->sync_key.text, "1_1");

    ProtocolState second;
    second.session.sid = "B";
    store.Publish(second);
    // A sync of the old session that answers late must not give its key to the new one.
    EXPECT_FALSE(store.SetSyncKey(*old, {"1_3", "{3}"}));
    EXPECT_EQ(store.Snapshot()->sync_key.text, "");
    EXPECT_EQ(old->session.sid, "A");
}

// Readers on other threads see whole sessions only, never one login's sid with another's
// skey, however often a re-login replaces it meanwhile.
TEST(SessionStoreTest, ReadersNeverSeeAHalfReplacedSession) {
    SessionStore store;
    std::atomic<bool> done{false};
    std::atomic<int> mixed{0};
    std::vector<std::thread> readers;
    for (int i = 0; i < 3; ++i) {
        readers.emplace_back([&] {
            while (!done.load()) {
                const std::shared_ptr<const ProtocolState> state = store.Snapshot();
                if (state->session.sid != state->session.skey ||
                    state->session.cookies.size() != 3 * state->session.sid.size()) {
                    ++mixed;
                }
            }
        });
    }
    for (int login = 0; login < 2000; ++login) {
        ProtocolState state;
        state.session.sid =
            std::string(static_cast<std::size_t>(login % 50 + 20), 'a' + login % 26);
        state.session.skey = state.session.sid;
        state.session.cookies = state.session.sid + state.session.sid + state.session.sid;
        store.Publish(std::move(state));
        store.SetSyncKey(*store.Snapshot(), {std::to_string(login), "{}"});
    }
    done.store(true);
    for (std::thread& reader : readers) {
        reader.join();
    }
    EXPECT_EQ(mixed.load(), 0);
}

}  // namespace
}  // namespace zelmo::protocol
