#include <gtest/gtest.h>

#include <future>

#include "SimTestClient.h"

using simtest::Answer;
using simtest::Harness;
using simtest::HasViolation;

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
    ASSERT_TRUE(h.simulator.WaitForRequest("/login", std::chrono::seconds(20)));
    h.simulator.Scan();
    ASSERT_EQ(held.wait_for(std::chrono::seconds(20)), std::future_status::ready);
    EXPECT_EQ(held.get().body, "window.code=201;");

    auto second =
        std::async(std::launch::async, [&] { return h.Send(login, "GET", PollPath(uuid)); });
    ASSERT_TRUE(h.simulator.WaitForRequests("/login", 2, std::chrono::seconds(20)));
    h.simulator.ExpireCode();
    ASSERT_EQ(second.wait_for(std::chrono::seconds(20)), std::future_status::ready);
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

TEST(LoginFlow, DesktopModeNeedsItsHeaderLinesAndWebModeMayBeRefused) {
    sim::SimulatorOptions options = Harness::Options(200);
    options.refuse_web_login = true;
    Harness h(options);
    ASSERT_TRUE(h.simulator.Start());
    const std::string login = h.simulator.HostFor("login");
    const auto cycle = [&](bool desktop) {
        h.Send(login, "GET", Harness::JsLoginTarget(desktop));
        h.simulator.Scan();
        h.simulator.Confirm();
        return h.simulator.CurrentUuid();
    };

    // A web-mode login gets the service's refusal, even with the desktop header lines.
    const std::string refused_uuid = cycle(false);
    EXPECT_FALSE(h.simulator.Login().desktop);
    const Answer poll = h.Send(login, "GET", PollPath(refused_uuid));
    const Answer refusal = h.Send(h.Web(), "GET", RedirectTarget(poll.body) + "&fun=new", "", "",
                                  true, Harness::DesktopHeaders());
    EXPECT_EQ(refusal.status, 200);
    EXPECT_EQ(
        refusal.body,
        "<error><ret>1203</ret><message>为了你的帐号安全，此微信号不能登录网页微信。你可以使用"
        "Windows微信或Mac微信在电脑端登录。Windows微信下载地址：https://pc.weixin.qq.com  "
        "Mac微信下载地址：https://mac.weixin.qq.com</message></error>");
    EXPECT_EQ(refusal.headers.count("Set-Cookie"), 0u);
    EXPECT_FALSE(h.simulator.Session().logged_in);
    EXPECT_EQ(h.simulator.Login().web_refusals, 1);
    EXPECT_TRUE(HasViolation(h.simulator, "web mode sent the desktop headers"));
    // The cycle is over: its poll ends with 400.
    EXPECT_EQ(h.Send(login, "GET", PollPath(refused_uuid)).body, "window.code=400;");

    // Desktop mode is let in; without its header lines the login is recorded as wrong.
    cycle(true);
    EXPECT_TRUE(h.simulator.Login().desktop);
    EXPECT_FALSE(h.FinishLogin().empty());
    EXPECT_TRUE(h.simulator.Session().logged_in);
    EXPECT_TRUE(HasViolation(h.simulator, "desktop mode without client-version"));
    const std::size_t violations = h.simulator.Violations().size();
    cycle(true);
    EXPECT_FALSE(h.FinishLogin(Harness::DesktopHeaders()).empty());
    EXPECT_TRUE(h.simulator.Session().desktop);
    EXPECT_EQ(h.simulator.Violations().size(), violations);
    // A token off by one byte is no token.
    cycle(true);
    httplib::Headers wrong = Harness::DesktopHeaders();
    wrong.find("extspam")->second.pop_back();
    EXPECT_FALSE(h.FinishLogin(wrong).empty());
    EXPECT_EQ(h.simulator.Violations().size(), violations + 1);

    // Switched at run time, web mode works again.
    h.simulator.SetRefuseWebLogin(false);
    EXPECT_FALSE(h.Login().empty());
    EXPECT_FALSE(h.simulator.Session().desktop);
    EXPECT_EQ(h.simulator.Login().logins, 4);
}

TEST(LoginFlow, PushLoginAsksThePhoneAndLogsIntoTheSameAccount) {
    Harness h(Harness::Options(10000));
    ASSERT_TRUE(h.simulator.Start());
    const std::string login = h.simulator.HostFor("login");
    std::string cookie;
    ASSERT_NE(h.LoginAndInit(cookie).find("\"Ret\": 0,"), std::string::npos);
    const sim::SessionInfo first = h.simulator.Session();
    // The client closes on purpose; its saved cookies still name the account.
    h.Send(h.Web(), "post", "/cgi-bin/mmwebwx-bin/webwxlogout?redirect=1&type=0&" + h.SkeyQuery(),
           "", cookie);
    ASSERT_EQ(h.simulator.Session().ended_retcode, 1100);

    const std::string push = "/cgi-bin/mmwebwx-bin/webwxpushloginurl?uin=" + first.uin;
    const Answer pushed = h.Send(h.Web(), "GET", push, "", cookie);
    const std::string uuid = h.simulator.CurrentUuid();
    EXPECT_EQ(pushed.body,
              "{\n\"ret\": \"0\",\n\"msg\": \"all ok\",\n\"uuid\": \"" + uuid + "\"\n}\n");
    sim::LoginInfo info = h.simulator.Login();
    EXPECT_TRUE(info.push_pending);
    EXPECT_EQ(info.pushes, 1);
    // No scan: the first poll reports the phone's prompt, the held one its confirmation.
    EXPECT_EQ(h.Send(login, "GET", PollPath(uuid)).body, "window.code=201;");
    auto held =
        std::async(std::launch::async, [&] { return h.Send(login, "GET", PollPath(uuid)); });
    ASSERT_TRUE(h.simulator.WaitForRequests("/login", 3, std::chrono::seconds(20)));
    h.simulator.Confirm();
    ASSERT_EQ(held.wait_for(std::chrono::seconds(20)), std::future_status::ready);
    const Answer confirmed = held.get();
    ASSERT_EQ(confirmed.body.rfind("window.code=200;\n", 0), 0u) << confirmed.body;
    const Answer redirect = h.Send(h.Web(), "GET", RedirectTarget(confirmed.body) + "&fun=new");
    EXPECT_NE(redirect.body.find("<wxuin>" + first.uin + "</wxuin>"), std::string::npos);
    const sim::SessionInfo second = h.simulator.Session();
    EXPECT_TRUE(second.logged_in);
    EXPECT_EQ(second.ended_retcode, 0);
    EXPECT_EQ(second.uin, first.uin);
    EXPECT_NE(second.sid, first.sid);
    EXPECT_NE(second.skey, first.skey);
    EXPECT_NE(second.pass_ticket, first.pass_ticket);
    info = h.simulator.Login();
    EXPECT_FALSE(info.push_pending);
    EXPECT_EQ(info.logins, 2);

    // The old session's tokens now meet its end, which is no fault of the client.
    std::string old_init = "{\"BaseRequest\":{\"Uin\":\"" + first.uin + "\",\"Sid\":\"" +
                           first.sid + "\",\"Skey\":\"" + first.skey +
                           "\",\"DeviceID\":\"e402715839261573\"}}";
    const Answer stale = h.Send(h.Web(), "post",
                                "/cgi-bin/mmwebwx-bin/webwxinit?r=1&skey=%40" +
                                    first.skey.substr(1) + "&pass_ticket=" + first.pass_ticket,
                                old_init, cookie);
    EXPECT_NE(stale.Text().find("\"Ret\": 1100,"), std::string::npos);

    // Refused pushes give no uuid and leave the login as it was.
    h.simulator.SetPushLoginFails(true);
    EXPECT_EQ(h.Send(h.Web(), "GET", push, "", cookie).body,
              "{\n\"ret\": \"1\",\n\"msg\": \"\"\n}\n");
    EXPECT_EQ(h.simulator.CurrentUuid(), uuid);
    h.simulator.SetPushLoginFails(false);
    EXPECT_TRUE(h.simulator.Violations().empty()) << h.simulator.Violations()[0];
    // Without cookies nobody can be asked.
    EXPECT_EQ(h.Send(h.Web(), "GET", push).body.find("uuid"), std::string::npos);
    EXPECT_TRUE(HasViolation(h.simulator, "the cookies name no session"));
    EXPECT_EQ(h.simulator.Login().push_refusals, 2);
}

TEST(LoginFlow, AutomaticConfirmationAnswersAPushToo) {
    sim::SimulatorOptions options = Harness::Options(5000);
    options.auto_confirm_ms = 0;
    Harness h(options);
    ASSERT_TRUE(h.simulator.Start());
    const std::string cookie = h.Login();
    const std::string uin = h.simulator.Session().uin;
    h.simulator.EndSession(1101);
    h.Send(h.Web(), "GET", "/cgi-bin/mmwebwx-bin/webwxpushloginurl?uin=" + uin, "", cookie);
    const std::string uuid = h.simulator.CurrentUuid();
    Answer poll = h.Send(h.simulator.HostFor("login"), "GET", PollPath(uuid));
    if (poll.body == "window.code=201;") {
        poll = h.Send(h.simulator.HostFor("login"), "GET", PollPath(uuid));
    }
    EXPECT_EQ(poll.body.rfind("window.code=200;\n", 0), 0u) << poll.body;
}

// As the service does: a new login names everyone anew (a member who is a friend keeps one
// name), and a share of the friends may have changed their nicknames meanwhile.
TEST(LoginFlow, RenamingAtLoginGivesEveryoneNewNamesAndChangesAShareOfNicknames) {
    sim::SimulatorOptions options = Harness::Options(200);
    options.rename_at_login = true;
    options.rename_nickname_share = 0.5;
    Harness h(options);
    ASSERT_TRUE(h.simulator.Start());
    ASSERT_FALSE(h.Login().empty());
    const std::vector<sim::ContactInfo> before = h.simulator.Contacts();
    const std::string own = h.simulator.Session().user_name;
    const std::string carol = h.simulator.UserNameOf("carol");

    ASSERT_FALSE(h.Login().empty());
    const std::vector<sim::ContactInfo> after = h.simulator.Contacts();
    ASSERT_EQ(after.size(), before.size());
    int renamed_friends = 0;
    for (std::size_t i = 0; i < after.size(); ++i) {
        EXPECT_NE(after[i].user_name, before[i].user_name) << after[i].id;
        EXPECT_EQ(after[i].user_name.rfind(after[i].is_group ? "@@" : "@", 0), 0u);
        renamed_friends += after[i].nick_name != before[i].nick_name ? 1 : 0;
    }
    EXPECT_EQ(renamed_friends, 1);  // one of the two friends
    EXPECT_NE(h.simulator.Session().user_name, own);
    EXPECT_NE(h.simulator.UserNameOf("carol"), carol);
    EXPECT_TRUE(h.simulator.Violations().empty()) << h.simulator.Violations()[0];
}
