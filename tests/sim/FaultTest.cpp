#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>

#include "SimTestClient.h"
#include "sim/QrPng.h"

using simtest::Answer;
using simtest::Harness;

namespace {

constexpr char JSLOGIN[] = "/jslogin?appid=wx782c26e4c19acffb";
// The service's refusal keeps the skeleton with both ids empty.
constexpr char REFUSED_1205[] =
    "{\n\"BaseResponse\": {\n\"Ret\": 1205,\n\"ErrMsg\": \"\"\n}\n,\n\"MsgID\": "
    "\"\",\n\"LocalID\": \"\"\n}\n";

}  // namespace

TEST(Faults, EachKindBreaksTheAnswerItsWay) {
    Harness h(Harness::Options(200));
    ASSERT_TRUE(h.simulator.Start());
    const std::string login = h.simulator.HostFor("login");
    const auto with = [&](sim::FaultKind kind) {
        sim::Fault fault;
        fault.kind = kind;
        fault.huge_bytes = 1u << 20;
        h.simulator.SetFault("jslogin", fault);
        return h.Send(login, "GET", JSLOGIN);
    };
    EXPECT_EQ(with(sim::FaultKind::Reset).status, 0);
    Answer answer = with(sim::FaultKind::Empty200);
    EXPECT_EQ(answer.status, 200);
    EXPECT_TRUE(answer.body.empty());
    EXPECT_EQ(with(sim::FaultKind::Http500).status, 500);
    answer = with(sim::FaultKind::InvalidGzip);
    EXPECT_TRUE(answer.Gzipped());
    EXPECT_TRUE(answer.Text().empty());
    answer = with(sim::FaultKind::TruncatedGzip);
    EXPECT_TRUE(answer.Gzipped());
    EXPECT_TRUE(answer.Text().empty());
    EXPECT_FALSE(answer.body.empty());
    EXPECT_EQ(with(sim::FaultKind::Garbage).body.size(), 4096u);
    EXPECT_EQ(with(sim::FaultKind::Huge).body.size(), 1u << 20);
    // One-shot faults are used up: the next answer is normal.
    EXPECT_EQ(h.Send(login, "GET", JSLOGIN).body.rfind("window.QRLogin.code = 200;", 0), 0u);
}

TEST(Faults, StickyFaultsStayUntilCleared) {
    Harness h(Harness::Options(200));
    ASSERT_TRUE(h.simulator.Start());
    const std::string login = h.simulator.HostFor("login");
    sim::Fault fault;
    fault.kind = sim::FaultKind::Http500;
    fault.sticky = true;
    h.simulator.SetFault("jslogin", fault);
    EXPECT_EQ(h.Send(login, "GET", JSLOGIN).status, 500);
    EXPECT_EQ(h.Send(login, "GET", JSLOGIN).status, 500);
    h.simulator.ClearFaults();
    EXPECT_EQ(h.Send(login, "GET", JSLOGIN).status, 200);
    fault.kind = sim::FaultKind::Delay;
    fault.delay_ms = 300;
    h.simulator.SetFault("jslogin", fault);
    const auto before = std::chrono::steady_clock::now();
    EXPECT_EQ(h.Send(login, "GET", JSLOGIN).status, 200);
    EXPECT_GE(std::chrono::steady_clock::now() - before, std::chrono::milliseconds(300));
}

TEST(Faults, SendRateLimitAnswers1025) {
    sim::SimulatorOptions options = Harness::Options(200);
    options.send_min_interval_ms = 60000;
    Harness h(options);
    ASSERT_TRUE(h.simulator.Start());
    std::string cookie;
    h.LoginAndInit(cookie);
    const std::string self = h.simulator.Session().user_name;
    const auto send = [&](const std::string& to, const std::string& text) {
        return h.Send(h.Web(), "post", h.Path("webwxsendmsg"),
                      h.Envelope() + ",\"Msg\":{\"FromUserName\":\"" + self +
                          "\",\"ToUserName\":\"" + to + "\",\"Type\":1,\"Content\":\"" + text +
                          "\",\"ClientMsgId\":1452862897123,\"LocalID\":1452862897123}}",
                      cookie);
    };
    const std::string alice = h.simulator.UserNameOf("alice");
    Answer first = send(alice, "hello\\r\\n\\\"you\\\"");
    EXPECT_NE(first.body.find("\"Ret\": 0,"), std::string::npos);
    EXPECT_NE(first.body.find("\"LocalID\": \"1452862897123\""), std::string::npos);
    EXPECT_NE(send(alice, "again").body.find("\"Ret\": 1025,"), std::string::npos);
    EXPECT_NE(send("@nobody", "x").body.find("\"Ret\": 1204,"), std::string::npos);
    const auto sent = h.simulator.SentMessages();
    ASSERT_EQ(sent.size(), 3u);
    EXPECT_EQ(sent[0].content, "hello\r\n\"you\"");
    EXPECT_EQ(sent[0].to, alice);
    EXPECT_EQ(sent[1].ret, 1025);
}

TEST(QrPng, PixelsFollowTheModules) {
    const std::string png = sim::QrCodePng("https://login.weixin.qq.com/l/abc", 2);
    ASSERT_GT(png.size(), 50u);
    const auto be32 = [&](std::size_t at) {
        return (static_cast<unsigned>(static_cast<unsigned char>(png[at])) << 24) |
               (static_cast<unsigned>(static_cast<unsigned char>(png[at + 1])) << 16) |
               (static_cast<unsigned>(static_cast<unsigned char>(png[at + 2])) << 8) |
               static_cast<unsigned>(static_cast<unsigned char>(png[at + 3]));
    };
    EXPECT_EQ(png.substr(12, 4), "IHDR");
    const unsigned width = be32(16);
    EXPECT_EQ(width, be32(20));
    EXPECT_EQ(width % 2, 0u);
    const std::size_t idat = png.find("IDAT");
    ASSERT_NE(idat, std::string::npos);
    const unsigned length = be32(idat - 4);
    // zlib data: inflate with a raw zlib header (windowBits 15).
    std::string raw(static_cast<std::size_t>(width + 1) * width, '\0');
    uLongf raw_size = raw.size();
    ASSERT_EQ(uncompress(reinterpret_cast<Bytef*>(raw.data()), &raw_size,
                         reinterpret_cast<const Bytef*>(png.data() + idat + 4), length),
              Z_OK);
    ASSERT_EQ(raw_size, raw.size());
    // Quiet zone white; the finder pattern's top-left corner (module 4,4) black.
    const auto pixel = [&](unsigned x, unsigned y) {
        return static_cast<unsigned char>(raw[y * (width + 1) + 1 + x]);
    };
    EXPECT_EQ(pixel(0, 0), 0xFF);
    EXPECT_EQ(pixel(8, 8), 0x00);
    EXPECT_EQ(pixel(9, 9), 0x00);
    // Inside the finder: a white ring at module 5.
    EXPECT_EQ(pixel(10, 10), 0xFF);
}

TEST(Faults, RefusedSendsAreNotDeliveredAndRepeatedIdsAreReported) {
    Harness h(Harness::Options(200));
    ASSERT_TRUE(h.simulator.Start());
    std::string cookie;
    h.LoginAndInit(cookie);
    const std::string self = h.simulator.Session().user_name;
    const std::string alice = h.simulator.UserNameOf("alice");
    const auto send = [&](const std::string& text, const std::string& id) {
        return h
            .Send(h.Web(), "post", h.Path("webwxsendmsg"),
                  h.Envelope() + ",\"Msg\":{\"FromUserName\":\"" + self + "\",\"ToUserName\":\"" +
                      alice + "\",\"Type\":1,\"Content\":\"" + text + "\",\"ClientMsgId\":" + id +
                      ",\"LocalID\":" + id + "}}",
                  cookie)
            .body;
    };
    const auto repeats = [&] {
        const std::vector<std::string> violations = h.simulator.Violations();
        return std::count_if(violations.begin(), violations.end(), [](const std::string& v) {
            return v.find("already used") != std::string::npos;
        });
    };

    h.simulator.RefuseSends(1205, 2);
    EXPECT_EQ(send("first", "1452862897123001"), REFUSED_1205);
    // Retrying with the same ids is what a governor should do: no repeat, it was refused.
    EXPECT_EQ(send("first", "1452862897123001"), REFUSED_1205);
    EXPECT_NE(send("first", "1452862897123001").find("\"Ret\": 0,"), std::string::npos);
    ASSERT_EQ(h.simulator.SentMessages().size(), 1u);
    EXPECT_EQ(h.simulator.SentMessages()[0].content, "first");
    ASSERT_EQ(h.simulator.RefusedMessages().size(), 2u);
    EXPECT_EQ(h.simulator.RefusedMessages()[1].ret, 1205);
    EXPECT_EQ(h.simulator.RefusedMessages()[1].client_msg_id, "1452862897123001");
    EXPECT_EQ(repeats(), 0);

    // Until cleared, any Ret; nothing gets through.
    h.simulator.RefuseSends(-1, -1);
    for (int i = 0; i < 4; ++i) {
        EXPECT_NE(send("stuck", "14528628971230" + std::to_string(10 + i)).find("\"Ret\": -1,"),
                  std::string::npos);
    }
    h.simulator.RefuseSends(0, 0);
    EXPECT_EQ(h.simulator.SentMessages().size(), 1u);

    // An id of an accepted send used again is reported (today's 16-digit shape is fine).
    EXPECT_NE(send("again", "1452862897123001").find("\"Ret\": 0,"), std::string::npos);
    EXPECT_EQ(repeats(), 2);  // ClientMsgId and LocalID
    // Once the client used the 17-digit shape, another shape is reported too.
    send("new shape", "14528628971230001");
    const std::size_t before = h.simulator.Violations().size();
    send("old shape", "1452862897124002");
    EXPECT_EQ(h.simulator.Violations().size(), before + 2);
}

TEST(Faults, ContactFetchesFailForTheCountGiven) {
    Harness h(Harness::Options(200));
    ASSERT_TRUE(h.simulator.Start());
    std::string cookie;
    h.LoginAndInit(cookie);
    const std::string batch = h.Envelope() + ",\"Count\":1,\"List\":[{\"UserName\":\"" +
                              h.simulator.UserNameOf("team") + "\",\"EncryChatRoomId\":\"\"}]}";
    for (const std::string name : {"webwxgetcontact", "webwxbatchgetcontact"}) {
        sim::Fault fault;
        fault.kind = sim::FaultKind::Http500;
        fault.times = 3;
        h.simulator.SetFault(name, fault);
        const auto fetch = [&] {
            return h.Send(h.Web(), "post", h.Path(name) + "&type=ex", batch, cookie);
        };
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(fetch().status, 500) << name << " " << i;
        }
        const Answer recovered = fetch();
        EXPECT_EQ(recovered.status, 200);
        EXPECT_NE(recovered.Text().find("\"Ret\": 0,"), std::string::npos) << name;
    }
}
