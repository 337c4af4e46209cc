#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <vector>

#include "SimTestClient.h"

using simtest::Answer;
using simtest::Harness;
using simtest::HasViolation;

TEST(Strictness, BrokenRequestsGetTheServiceErrorsAndAreRecorded) {
    Harness h(Harness::Options(200));
    ASSERT_TRUE(h.simulator.Start());
    std::string cookie;
    ASSERT_NE(h.LoginAndInit(cookie).find("\"Ret\": 0,"), std::string::npos);
    ASSERT_TRUE(h.simulator.Violations().empty());
    const std::string notify_tail = ",\"Code\":3,\"FromUserName\":\"" +
                                    h.simulator.Session().user_name + "\",\"ToUserName\":\"" +
                                    h.simulator.Session().user_name + "\",\"ClientMsgId\":\"1\"}";

    // A body that is not JSON (an unescaped quote pasted into it).
    Answer answer = h.Send(h.Web(), "post", h.Path("webwxstatusnotify"),
                           h.Envelope() + ",\"Code\":3,\"FromUserName\":\"a\"b\"}", cookie);
    EXPECT_NE(answer.body.find("\"Ret\": -1,"), std::string::npos);
    EXPECT_NE(answer.body.find("\"MsgID\": \"\""), std::string::npos);
    EXPECT_TRUE(HasViolation(h.simulator, "not valid JSON"));

    // The well-formed request is accepted.
    answer =
        h.Send(h.Web(), "post", h.Path("webwxstatusnotify"), h.Envelope() + notify_tail, cookie);
    EXPECT_NE(answer.body.find("\"Ret\": 0,"), std::string::npos) << answer.body;

    // Without the session cookies.
    answer = h.Send(h.Web(), "post", h.Path("webwxstatusnotify"), h.Envelope() + notify_tail);
    EXPECT_NE(answer.body.find("\"Ret\": 1100,"), std::string::npos);
    EXPECT_TRUE(HasViolation(h.simulator, "cookies"));

    // A stale pass_ticket.
    std::string stale = h.Path("webwxstatusnotify", false) + "&pass_ticket=old";
    answer = h.Send(h.Web(), "post", stale, h.Envelope() + notify_tail, cookie);
    EXPECT_NE(answer.body.find("\"Ret\": 1101,"), std::string::npos);
    EXPECT_TRUE(HasViolation(h.simulator, "pass_ticket"));

    // An skey in the JSON without its "@".
    std::string envelope = h.Envelope();
    envelope.replace(envelope.find("\"@crypt"), 2, "\"");
    answer = h.Send(h.Web(), "post", h.Path("webwxstatusnotify"), envelope + notify_tail, cookie);
    EXPECT_NE(answer.body.find("\"Ret\": 1101,"), std::string::npos);
    EXPECT_TRUE(HasViolation(h.simulator, "Skey"));

    // The primary host instead of the session's variant.
    answer = h.Send(h.simulator.HostFor("primary"), "post", h.Path("webwxstatusnotify"),
                    h.Envelope() + notify_tail, cookie);
    EXPECT_NE(answer.body.find("\"Ret\": 1,"), std::string::npos);
}

TEST(Strictness, SessionChecksOnInitAndSyncCheck) {
    Harness h(Harness::Options(200));
    ASSERT_TRUE(h.simulator.Start());
    const std::string cookie = h.Login();
    ASSERT_FALSE(cookie.empty());
    const sim::SessionInfo s = h.simulator.Session();
    const std::string init_body = "{\"BaseRequest\":{\"Uin\":\"" + s.uin + "\",\"Sid\":\"" + s.sid +
                                  "\",\"Skey\":\"" + s.skey +
                                  "\",\"DeviceID\":\"e402715839261573\"}}";
    const Answer no_cookie = h.Send(h.Web(), "post", h.Path("webwxinit"), init_body);
    const std::string text = no_cookie.Text();
    EXPECT_NE(text.find("\"Ret\": 1100,"), std::string::npos);
    // The error answer still has every key.
    EXPECT_NE(text.find("\"ClickReportInterval\": 0\n}\n"), std::string::npos);

    const std::string synccheck = "/cgi-bin/mmwebwx-bin/synccheck?" + h.SkeyQuery() +
                                  "&sid=" + s.sid + "&uin=" + s.uin +
                                  "&deviceid=e402715839261573&synckey=1_1&_=1";
    EXPECT_EQ(h.Send(h.simulator.HostFor("push"), "GET", synccheck).body,
              "window.synccheck={retcode:\"1102\",selector:\"0\"}");
    // Sent to the push host without the session's variant.
    EXPECT_EQ(h.Send("webpush.weixin.qq.com", "GET", synccheck, "", cookie).body,
              "window.synccheck={retcode:\"1100\",selector:\"0\"}");
}

TEST(Strictness, RecordsTheRequestAsReceived) {
    Harness h(Harness::Options(200));
    ASSERT_TRUE(h.simulator.Start());
    h.Send(h.simulator.HostFor("primary"), "post",
           "/cgi-bin/mmwebwx-bin/webwxstatreport?type=1&r=1&skey=&pass_ticket=undefined",
           R"({"BaseRequest":{"Uin":0,"Sid":0},"Count":1,"List":[]})", "a=b");
    const std::vector<sim::RecordedRequest> requests = h.simulator.Requests();
    ASSERT_EQ(requests.size(), 1u);
    const sim::RecordedRequest& r = requests[0];
    EXPECT_EQ(r.method, "post");
    EXPECT_EQ(r.host, "wx.qq.com");
    EXPECT_EQ(r.sni, "wx.qq.com");
    EXPECT_EQ(r.path, "/cgi-bin/mmwebwx-bin/webwxstatreport");
    EXPECT_EQ(r.query, "type=1&r=1&skey=&pass_ticket=undefined");
    EXPECT_EQ(r.cookie, "a=b");
    EXPECT_EQ(r.body, R"({"BaseRequest":{"Uin":0,"Sid":0},"Count":1,"List":[]})");
    std::vector<std::string> names;
    for (const auto& header : r.headers) {
        names.push_back(header.first);
    }
    // Order as the client wrote them.
    const auto accept = std::find(names.begin(), names.end(), "Accept-Encoding");
    const auto cookie = std::find(names.begin(), names.end(), "Cookie");
    ASSERT_NE(accept, names.end());
    ASSERT_NE(cookie, names.end());
    EXPECT_TRUE(h.simulator.Violations().empty());
}

TEST(Strictness, UploadChunksOutOfOrderShapeOrSizeAreRefused) {
    Harness h(Harness::Options(200));
    ASSERT_TRUE(h.simulator.Start());
    std::string cookie;
    ASSERT_NE(h.LoginAndInit(cookie).find("\"Ret\": 0,"), std::string::npos);
    const sim::SessionInfo session = h.simulator.Session();
    constexpr std::size_t CHUNK = 524288;
    const std::size_t size = CHUNK + 10;
    const std::string request =
        h.Envelope() + R"(,"UploadType":2,"ClientMediaId":1234,)" + R"("TotalLen":)" +
        std::to_string(size) + R"(,"StartPos":0,"DataLen":)" + std::to_string(size) +
        R"(,"MediaType":4,"FromUserName":")" + session.user_name +
        R"(","ToUserName":"filehelper","FileMd5":")" + std::string(32, 'a') + "\"}";
    const std::string boundary = "----WebKitFormBoundaryTEST";
    // The web client's fields, in the order given, and `bytes` as the file.
    const auto upload = [&](std::vector<std::string> order, int chunk, const std::string& bytes) {
        const std::map<std::string, std::string> values = {
            {"id", "WU_FILE_0"},
            {"name", "a.pdf"},
            {"type", "application/pdf"},
            {"lastModifiedDate", "Thu Jan 01 1970 08:00:00 GMT+0800"},
            {"size", std::to_string(size)},
            {"chunks", "2"},
            {"chunk", std::to_string(chunk)},
            {"mediatype", "doc"},
            {"uploadmediarequest", request},
            {"webwx_data_ticket", session.data_ticket},
            {"pass_ticket", session.pass_ticket}};
        std::string body;
        for (const std::string& name : order) {
            body += "--" + boundary + "\r\nContent-Disposition: form-data; name=\"" + name +
                    "\"\r\n\r\n" + values.at(name) + "\r\n";
        }
        body += "--" + boundary +
                "\r\nContent-Disposition: form-data; name=\"filename\"; filename=\"a.pdf\"\r\n"
                "Content-Type: application/pdf\r\n\r\n" +
                bytes + "\r\n--" + boundary + "--\r\n";
        return h.Send(h.simulator.HostFor("file"), "post",
                      "/cgi-bin/mmwebwx-bin/webwxuploadmedia?f=json", body, cookie, true,
                      {{"Content-Type", "multipart/form-data; boundary=" + boundary}});
    };
    const std::vector<std::string> order = {
        "id",         "name",  "type",      "lastModifiedDate",   "size",
        "chunks",     "chunk", "mediatype", "uploadmediarequest", "webwx_data_ticket",
        "pass_ticket"};
    const std::string first(CHUNK, 'x');
    const std::string second(10, 'y');
    const auto ret_of = [](const Answer& answer) {
        const std::size_t at = answer.body.find("\"Ret\": ");
        return at == std::string::npos
                   ? std::string("none")
                   : answer.body.substr(at + 7, answer.body.find(',', at) - at - 7);
    };

    EXPECT_EQ(ret_of(upload(order, 1, second)), "-1");
    EXPECT_TRUE(HasViolation(h.simulator, "never began"));
    std::vector<std::string> swapped = order;
    std::swap(swapped[2], swapped[7]);
    EXPECT_EQ(ret_of(upload(swapped, 0, first)), "-1");
    EXPECT_TRUE(HasViolation(h.simulator, "out of order"));
    EXPECT_EQ(ret_of(upload(order, 0, first.substr(1))), "-1");
    EXPECT_TRUE(HasViolation(h.simulator, "bytes instead of"));

    // In order: the first chunk's answer has no MediaId, a repeat of it is taken again, and
    // the last one brings it.
    Answer answer = upload(order, 0, first);
    EXPECT_EQ(ret_of(answer), "0") << answer.body;
    EXPECT_NE(answer.body.find("\"MediaId\": \"\",\n\"StartPos\": 524288,"), std::string::npos);
    EXPECT_EQ(ret_of(upload(order, 0, first)), "0");
    answer = upload(order, 1, second);
    EXPECT_EQ(ret_of(answer), "0");
    EXPECT_NE(answer.body.find("\"MediaId\": \"@crypt_"), std::string::npos) << answer.body;
    const std::vector<sim::UploadRecord> uploads = h.simulator.Uploads();
    ASSERT_FALSE(uploads.empty());
    EXPECT_EQ(uploads.back().chunks_received, 2u);
    EXPECT_EQ(h.simulator.UploadedBytes(uploads.back().media_id), first + second);
}
