#include <gtest/gtest.h>
#include <httplib.h>

#include <nlohmann/json.hpp>

#include "SimTestClient.h"

using simtest::Harness;

namespace {

struct Control {
    httplib::Client client;
    explicit Control(int port) : client("127.0.0.1", port) {}
    int Post(const std::string& path, const std::string& body) {
        const auto result = client.Post(path, body, "application/json");
        return result ? result->status : 0;
    }
    nlohmann::json Get(const std::string& path) {
        const auto result = client.Get(path);
        return result ? nlohmann::json::parse(result->body, nullptr, false) : nlohmann::json();
    }
};

}  // namespace

// Scripts and the end-to-end tests drive these calls from another process.
TEST(ControlApi, NewCallsReachTheServiceAndRefuseMalformedBodies) {
    sim::SimulatorOptions options = Harness::Options(5000);
    options.control_port = 0;
    Harness h(options);
    ASSERT_TRUE(h.simulator.Start());
    Control control(h.simulator.ControlPort());
    std::string cookie = h.Login();

    EXPECT_EQ(control.Post("/end", R"({"retcode": "1102"})"), 200);
    EXPECT_EQ(h.simulator.Session().ended_retcode, 1102);
    EXPECT_EQ(control.Post("/end", R"({"retcode": 1101})"), 200);
    EXPECT_EQ(h.simulator.Session().ended_retcode, 1101);
    EXPECT_EQ(control.Post("/end", R"({"retcode": "soon"})"), 400);

    EXPECT_EQ(control.Post("/push", R"({"fails": true})"), 200);
    const std::string push =
        "/cgi-bin/mmwebwx-bin/webwxpushloginurl?uin=" + h.simulator.Session().uin;
    EXPECT_EQ(h.Send(h.Web(), "GET", push, "", cookie).body.find("uuid"), std::string::npos);
    EXPECT_EQ(control.Post("/push", R"({"fails": false})"), 200);
    EXPECT_NE(h.Send(h.Web(), "GET", push, "", cookie).body.find("uuid"), std::string::npos);
    const nlohmann::json session = control.Get("/session");
    EXPECT_EQ(session["login"]["push_pending"], true);
    EXPECT_EQ(session["login"]["pushes"], 1);
    EXPECT_EQ(session["login"]["push_refusals"], 1);
    EXPECT_EQ(control.Post("/push/confirm", ""), 200);
    EXPECT_EQ(control.Get("/session")["login"]["push_pending"], false);
    EXPECT_FALSE(h.FinishLogin().empty());

    EXPECT_EQ(control.Post("/web-login", R"({"refuse": true})"), 200);
    EXPECT_EQ(control.Post("/web-login", R"({"refuse": "yes"})"), 400);
    EXPECT_TRUE(h.Login().empty());
    EXPECT_EQ(control.Get("/session")["login"]["web_refusals"], 1);
    cookie = h.Login(true);
    ASSERT_FALSE(cookie.empty());
    EXPECT_EQ(control.Get("/session")["desktop"], true);
    const std::string init =
        h.Send(h.Web(), "post", h.Path("webwxinit"), h.InitBody(), cookie).Text();

    EXPECT_EQ(control.Post("/send-refusal", R"({"ret": 1205, "count": "forever"})"), 200);
    EXPECT_EQ(control.Post("/send-refusal", R"({"count": 2})"), 400);
    const std::string msg = h.Envelope() + ",\"Msg\":{\"FromUserName\":\"" +
                            h.simulator.Session().user_name +
                            "\",\"ToUserName\":\"filehelper\",\"Type\":1,\"Content\":\"x\"," +
                            "\"ClientMsgId\":1,\"LocalID\":1}}";
    EXPECT_NE(h.Send(h.Web(), "post", h.Path("webwxsendmsg"), msg, cookie).body.find("1205"),
              std::string::npos);
    EXPECT_EQ(control.Post("/send-refusal", R"({"ret": 1205, "count": 0})"), 200);
    EXPECT_NE(h.Send(h.Web(), "post", h.Path("webwxsendmsg"), msg, cookie).body.find("\"Ret\": 0,"),
              std::string::npos);
    ASSERT_EQ(control.Get("/refused").size(), 1u);
    EXPECT_EQ(control.Get("/refused")[0]["ret"], 1205);
    EXPECT_EQ(control.Get("/sent").size(), 1u);

    const sim::SessionInfo s = h.simulator.Session();
    const std::string synccheck =
        "/cgi-bin/mmwebwx-bin/synccheck?" + h.SkeyQuery() + "&sid=" + s.sid + "&uin=" + s.uin +
        "&deviceid=e402715839261573&synckey=" + simtest::SyncKeyText(init);
    const auto check = [&] {
        return h.Send(h.simulator.HostFor("push"), "GET", synccheck, "", cookie).body;
    };
    EXPECT_EQ(control.Post("/synccheck", R"({"retcode": 9999, "selector": "0"})"), 200);
    EXPECT_EQ(control.Post("/synccheck", R"({"selector": "0"})"), 400);
    EXPECT_EQ(check(), "window.synccheck={retcode:\"9999\",selector:\"0\"}");
    EXPECT_EQ(control.Post("/synccheck", R"({"retcode": ""})"), 200);

    EXPECT_EQ(control.Post("/messages", R"({"count": 4, "from": ["alice", "bob"],
                                            "text": "n{n}", "every": 2, "every_text": "功能{n}"})"),
              200);
    EXPECT_EQ(control.Post("/messages", R"({"count": 0})"), 400);
    // The held poll ends when the first of them is news.
    EXPECT_EQ(check(), "window.synccheck={retcode:\"0\",selector:\"2\"}");
    EXPECT_EQ(control.Get("/delivered?list=0")["queued"], 4);
    const nlohmann::json delivered = control.Get("/delivered");
    ASSERT_EQ(delivered["messages"].size(), 4u);
    EXPECT_EQ(delivered["messages"][2]["text"], "n3");
    EXPECT_EQ(delivered["messages"][3]["text"], "功能4");
    EXPECT_EQ(delivered["messages"][3]["special"], true);
    EXPECT_EQ(delivered["messages"][1]["from"], h.simulator.UserNameOf("bob"));
    EXPECT_EQ(delivered["delivered"], 0);

    EXPECT_EQ(control.Post("/fault", R"({"path": "webwxgetcontact", "kind": "http500",
                                         "count": 2})"),
              200);
    EXPECT_EQ(control.Post("/fault", R"({"path": "webwxsync", "kind": "cut_before_synckey"})"),
              200);
    const auto contacts = [&] {
        return h.Send(h.Web(), "post", h.Path("webwxgetcontact"), "{}", cookie).status;
    };
    EXPECT_EQ(contacts(), 500);
    EXPECT_EQ(contacts(), 500);
    EXPECT_EQ(contacts(), 200);
}

// The demo scripts the model endpoint from its shell, as the tests do in process.
TEST(ControlApi, ModelScriptsGoInAndTheCallsComeOutAsJson) {
    sim::SimulatorOptions options = Harness::Options(5000);
    options.control_port = 0;
    Harness h(options);
    ASSERT_TRUE(h.simulator.Start());
    Control control(h.simulator.ControlPort());
    EXPECT_EQ(control.Post("/model/answer", R"({"match": "hi", "content": null, "refusal": "no"})"),
              200);
    EXPECT_EQ(control.Post("/model/answer", R"({"status": "teapot"})"), 400);
    const std::string body =
        R"({"model":"m","messages":[{"role":"user","content":"hi there"}],"stream":false})";
    const nlohmann::json answer = nlohmann::json::parse(
        h.Send("127.0.0.1", "POST", "/v1/chat/completions", body, "", false).body, nullptr, false);
    EXPECT_TRUE(answer["choices"][0]["message"]["content"].is_null());
    EXPECT_EQ(answer["choices"][0]["message"]["refusal"], "no");
    const nlohmann::json calls = control.Get("/model/calls");
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0]["messages"][0]["content"], "hi there");
    EXPECT_EQ(calls[0]["stream"], "false");
    EXPECT_TRUE(calls[0]["valid"]);
}
