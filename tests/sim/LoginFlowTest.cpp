#include <gtest/gtest.h>

#include <future>

#include "SimTestClient.h"

using simtest::Answer;
using simtest::Harness;

namespace {

std::string PollPath(const std::string& uuid) {
    return "/cgi-bin/mmwebwx-bin/login?uuid=" + uuid + "&tip=0&_=1452862897000";
}

std::string RedirectTarget(const std::string& poll_body) {
    const std::size_t start = poll_body.find("https://");
    const std::string url = poll_body.substr(start, poll_body.rfind('"') - start);
    return url.substr(url.find('/', 8));
}

}  // namespace

TEST(LoginFlow, WalksFromQrCodeToSessionCookies) {
    Harness h(Harness::Options(200));
    ASSERT_TRUE(h.simulator.Start());
    const std::string login = h.simulator.HostFor("login");

    const Answer home = h.Send(h.simulator.HostFor("primary"), "GET", "/?lang=zh_CN");
    EXPECT_EQ(home.status, 200);
    EXPECT_TRUE(home.headers.count("Set-Cookie") > 0);

    const Answer js = h.Send(login, "GET", "/jslogin?appid=wx782c26e4c19acffb&fun=new");
    const std::string uuid = h.simulator.CurrentUuid();
    ASSERT_EQ(uuid.size(), 12u);
    EXPECT_EQ(js.body, "window.QRLogin.code = 200; window.QRLogin.uuid = \"" + uuid + "\";");
    EXPECT_EQ(js.headers.count("Content-Type"), 2u);

    const Answer qr = h.Send(login, "GET", "/qrcode/" + uuid + "?t=webwx");
    EXPECT_EQ(qr.body.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));

    EXPECT_EQ(h.Send(login, "GET", PollPath(uuid)).body, "window.code=408;");
    h.simulator.Scan();
    EXPECT_EQ(h.Send(login, "GET", PollPath(uuid)).body, "window.code=201;");
    h.simulator.Confirm();
    const Answer confirmed = h.Send(login, "GET", PollPath(uuid));
    ASSERT_EQ(confirmed.body.rfind("window.code=200;\nwindow.redirect_uri=\"https://wx2.qq.com/"
                                   "cgi-bin/mmwebwx-bin/webwxnewloginpage?ticket=",
                                   0),
              0u)
        << confirmed.body;
    EXPECT_NE(confirmed.body.find("@qrticket_0&uuid=" + uuid + "&lang=zh_CN&scan="),
              std::string::npos);

    const Answer redirect = h.Send(h.Web(), "GET", RedirectTarget(confirmed.body) + "&fun=new");
    EXPECT_EQ(redirect.status, 200);
    const sim::SessionInfo session = h.simulator.Session();
    ASSERT_TRUE(session.logged_in);
    EXPECT_EQ(session.skey.rfind("@crypt_", 0), 0u);
    EXPECT_EQ(redirect.body, "<error><ret>0</ret><message>OK</message><skey>" + session.skey +
                                 "</skey><wxsid>" + session.sid + "</wxsid><wxuin>" + session.uin +
                                 "</wxuin><pass_ticket>" + session.pass_ticket +
                                 "</pass_ticket><isgrayscale>1</isgrayscale></error>");
    std::vector<std::string> cookies;
    for (const auto& [key, value] : redirect.headers) {
        if (key == "Set-Cookie") {
            cookies.push_back(value.substr(0, value.find('=')));
            EXPECT_NE(value.find("; Secure"), std::string::npos);
        }
    }
    EXPECT_EQ(cookies,
              (std::vector<std::string>{"wxuin", "wxsid", "wxloadtime", "mm_lang",
                                        "webwx_data_ticket", "webwxuvid", "webwx_auth_ticket"}));
    // The ticket is spent: a replay is refused and recorded.
    EXPECT_NE(h.Send(h.Web(), "GET", RedirectTarget(confirmed.body) + "&fun=new")
                  .body.find("<ret>-14</ret>"),
              std::string::npos);
    EXPECT_EQ(h.simulator.Violations().size(), 1u);
}

TEST(LoginFlow, HeldPollWakesOnScanAndExpiredCodeGives400) {
    sim::SimulatorOptions options = Harness::Options(10000);
    Harness h(options);
    ASSERT_TRUE(h.simulator.Start());
    const std::string login = h.simulator.HostFor("login");
    h.Send(login, "GET", "/jslogin?appid=wx782c26e4c19acffb");
    const std::string uuid = h.simulator.CurrentUuid();

    auto held =
        std::async(std::launch::async, [&] { return h.Send(login, "GET", PollPath(uuid)); });
    ASSERT_TRUE(h.simulator.WaitForRequest("/login", std::chrono::seconds(5)));
    h.simulator.Scan();
    ASSERT_EQ(held.wait_for(std::chrono::seconds(5)), std::future_status::ready);
    EXPECT_EQ(held.get().body, "window.code=201;");

    auto second =
        std::async(std::launch::async, [&] { return h.Send(login, "GET", PollPath(uuid)); });
    ASSERT_TRUE(h.simulator.WaitForRequests("/login", 2, std::chrono::seconds(5)));
    h.simulator.ExpireCode();
    ASSERT_EQ(second.wait_for(std::chrono::seconds(5)), std::future_status::ready);
    EXPECT_EQ(second.get().body, "window.code=400;");
    // A new jslogin starts a new cycle with a new uuid.
    h.Send(login, "GET", "/jslogin?appid=wx782c26e4c19acffb");
    EXPECT_NE(h.simulator.CurrentUuid(), uuid);
}

TEST(LoginFlow, AutomaticScanAndConfirmFollowTheScenarioTiming) {
    sim::SimulatorOptions options = Harness::Options(5000);
    options.scenario_json = R"({"fun": "", "auto_scan_ms": 0, "auto_confirm_ms": 50,
                                "account": {"Uin": 123456, "NickName": "Me"}})";
    Harness h(options);
    ASSERT_TRUE(h.simulator.Start());
    const std::string login = h.simulator.HostFor("login");
    h.Send(login, "GET", "/jslogin?appid=wx782c26e4c19acffb");
    const std::string uuid = h.simulator.CurrentUuid();
    EXPECT_EQ(h.Send(login, "GET", PollPath(uuid)).body, "window.code=201;");
    const Answer confirmed = h.Send(login, "GET", PollPath(uuid));
    // fun "" sends the client to the primary host.
    EXPECT_EQ(confirmed.body.rfind("window.code=200;\nwindow.redirect_uri=\"https://wx.qq.com/", 0),
              0u);
}

TEST(LoginFlow, LocationHrefStepAndLateEraMessage) {
    sim::SimulatorOptions options = Harness::Options(200);
    options.redirect_via_location_href = true;
    options.era = sim::Era::Late2018;
    Harness h(options);
    ASSERT_TRUE(h.simulator.Start());
    const std::string login = h.simulator.HostFor("login");
    h.Send(login, "GET", "/jslogin?appid=wx782c26e4c19acffb");
    const std::string uuid = h.simulator.CurrentUuid();
    h.simulator.Confirm();
    const Answer poll = h.Send(login, "GET", PollPath(uuid));
    const Answer first = h.Send(h.Web(), "GET", RedirectTarget(poll.body) + "&fun=new");
    ASSERT_NE(first.body.find("window.location.href=\"https://wx2.qq.com/"), std::string::npos);
    EXPECT_FALSE(h.simulator.Session().logged_in);
    const std::size_t start = first.body.find("https://");
    const std::string url = first.body.substr(start, first.body.find('"', start) - start);
    // Without fun the service answered with a redirect and the XML in the body.
    const Answer second = h.Send(h.Web(), "GET", url.substr(url.find('/', 8)));
    EXPECT_EQ(second.status, 301);
    EXPECT_NE(second.body.find("<ret>0</ret><message></message><skey>@crypt_"), std::string::npos);
    EXPECT_TRUE(h.simulator.Session().logged_in);
}
