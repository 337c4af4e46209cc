#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "platform/Gzip.h"
#include "platform/ManualResetEvent.h"
#include "platform/WebClient.h"
#include "support/RawTlsServer.h"
#include "support/TlsTestServer.h"

namespace zelmo::platform {
namespace {

using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

const std::string base_url = "https://wx.qq.com";

// A complete HTTP/1.1 answer with the given header lines (each ending in CR LF).
std::string RawAnswer(const std::string& header_lines, const std::string& body) {
    return "HTTP/1.1 200 OK\r\n" + header_lines + "Content-Length: " + std::to_string(body.size()) +
           "\r\nConnection: close\r\n\r\n" + body;
}

std::string Plain(std::size_t size) {
    std::string text;
    while (text.size() < size) {
        text += "SyncKey " + std::to_string(text.size()) + " {\"Ret\": 0}\n";
    }
    text.resize(size);
    return text;
}

// Answers every request with a body and any header lines; each raw request is kept.
class RawServerTest : public ::testing::Test {
protected:
    void Serve(const std::string& header_lines, const std::string& body = "ok") {
        Serve([header_lines, body](const std::string&) { return RawAnswer(header_lines, body); });
    }
    void Serve(test::RawTlsServer::Responder responder) {
        m_raw = std::make_unique<test::RawTlsServer>(m_certs.CertFile(), m_certs.KeyFile(),
                                                     std::move(responder));
        ASSERT_TRUE(m_raw->Start());
        m_client =
            std::make_unique<WebClient>(WebClientConfig{m_raw->ConnectTo(), m_certs.CaFile()});
    }

    test::TlsTestServer m_certs;
    std::unique_ptr<test::RawTlsServer> m_raw;
    std::unique_ptr<WebClient> m_client;
};

TEST_F(RawServerTest, GetSendsTheHeaderTableInOrderAndNoBody) {
    Serve("");
    std::string jar;
    const std::string body = m_client->Request(
        base_url + "/cgi-bin/mmwebwx-bin/synccheck?r=1&sid=a%2Fb+c",
        {.method = "", .body = "ignored on GET", .cookie_header = "wxuin=1; wxsid=x"});
    EXPECT_EQ(body, "ok");
    const std::vector<std::string> requests = m_raw->Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0],
              "GET /cgi-bin/mmwebwx-bin/synccheck?r=1&sid=a%2Fb+c HTTP/1.1\r\n"
              "Host: wx.qq.com\r\n"
              "Referer: https://wx.qq.com/cgi-bin/mmwebwx-bin/synccheck?r=1&sid=a%2Fb+c\r\n"
              "Accept: text/html,application/xhtml+xml,application/xml;q=0.9,*/*;q=0.8\r\n"
              "Accept-Language: zh-CN,zh;q=0.8,en-US;q=0.6,en;q=0.4\r\n"
              "Accept-Charset: GBK,utf-8;q=0.7,*;q=0.3\r\n"
              "Accept-Encoding: gzip\r\n"
              "User-Agent: Mozilla/5.0 (Windows NT 6.2) AppleWebKit/537.36 (KHTML, like Gecko) "
              "Chrome/27.0.1453.116 Safari/537.36\r\n"
              "Content-Type: application/x-www-form-urlencoded\r\n"
              "Connection: keep-alive\r\n"
              "Cookie: wxuin=1; wxsid=x\r\n"
              "\r\n");
}

TEST_F(RawServerTest, LowercasePostSendsItsBodyUnchanged) {
    Serve("");
    // UTF-8, a NUL, a line break and more than curl's 100-continue threshold.
    std::string payload = "{\"Msg\":{\"Content\":\"\xE4\xBD\xA0\xE5\xA5\xBD\"}}";
    payload += std::string("\0\r\n", 3) + Plain(std::size_t{2} << 20);
    EXPECT_EQ(m_client->Request(base_url + "/cgi-bin/mmwebwx-bin/webwxsendmsg",
                                {.method = "post", .body = payload}),
              "ok");
    const std::vector<std::string> requests = m_raw->Requests();
    ASSERT_EQ(requests.size(), 1u);
    const std::string& raw = requests[0];
    const std::size_t head_end = raw.find("\r\n\r\n");
    ASSERT_NE(head_end, std::string::npos);
    const std::string head = raw.substr(0, head_end + 2);
    EXPECT_TRUE(head.starts_with("post /cgi-bin/mmwebwx-bin/webwxsendmsg HTTP/1.1\r\n")) << head;
    EXPECT_NE(head.find("\r\nConnection: keep-alive\r\nContent-Length: " +
                        std::to_string(payload.size()) + "\r\n"),
              std::string::npos)
        << head;
    EXPECT_EQ(head.find("Cookie"), std::string::npos);
    EXPECT_EQ(head.find("Expect"), std::string::npos);
    EXPECT_EQ(head.find("Content-Type"), head.rfind("Content-Type")) << "sent twice";
    EXPECT_TRUE(raw.substr(head_end + 4) == payload);
}

TEST_F(RawServerTest, RedirectsAreFollowedAsBrowsersDo) {
    Serve([](const std::string& request) {
        const auto redirect = [](const std::string& status, const std::string& location) {
            return "HTTP/1.1 " + status + "\r\nLocation: " + location +
                   "\r\nContent-Length: 4\r\nConnection: close\r\n\r\nstay";
        };
        const std::string target = request.substr(0, request.find(" HTTP/1.1"));
        if (target.ends_with(" /302")) {
            return redirect("302 Found", "/next");
        }
        if (target.ends_with(" /307")) {
            return redirect("307 Temporary Redirect", "https://wx2.qq.com/next");
        }
        if (target.ends_with(" /loop")) {
            return redirect("302 Found", "/loop");
        }
        if (target.ends_with(" /down")) {
            return redirect("302 Found", "http://wx.qq.com/next");
        }
        return RawAnswer("", "ok");
    });
    const auto last_request = [&] { return m_raw->Requests().back(); };

    EXPECT_EQ(m_client->Request(base_url + "/302", {.method = "post", .body = "abc"}), "ok");
    EXPECT_TRUE(last_request().starts_with("GET /next HTTP/1.1\r\nHost: wx.qq.com\r\n"));
    EXPECT_TRUE(last_request().ends_with("Connection: keep-alive\r\n\r\n")) << last_request();

    EXPECT_EQ(m_client->Request(base_url + "/307", {.method = "post", .body = "abc"}), "ok");
    EXPECT_TRUE(last_request().starts_with("post /next HTTP/1.1\r\nHost: wx2.qq.com\r\n"));
    EXPECT_TRUE(last_request().ends_with("Content-Length: 3\r\n\r\nabc")) << last_request();

    const std::size_t before = m_raw->Requests().size();
    EXPECT_EQ(m_client->Request(base_url + "/loop"), "");
    EXPECT_EQ(m_raw->Requests().size() - before, 11u) << "one request and ten redirects";

    EXPECT_EQ(m_client->Request(base_url + "/down"), "stay") << "followed https down to http";
}

TEST_F(RawServerTest, RefusesEmptyUrlAndHeaderInjectionWithoutSending) {
    Serve("");
    EXPECT_EQ(m_client->Request(""), "");
    EXPECT_EQ(m_client->Request(base_url + "/x", {.cookie_header = "a=1\r\nX-Forged: 1"}), "");
    EXPECT_EQ(m_client->Request(base_url + "/x\r\nX-Forged: 1"), "");
    EXPECT_TRUE(m_raw->Requests().empty());
}

TEST_F(RawServerTest, CollectsSetCookiePairsByTheHeaderRules) {
    Serve(
        "Set-Cookie: wxuin=123; Domain=wx.qq.com; Secure\r\n"
        "Set-Cookie: cleared=; Path=/\r\n"
        "Set-Cookie:   webwx_data_ticket=gSc=a/b+   ; Domain=.qq.com\r\n"
        "Set-Cookie: mm_lang=zh_CN\r\n"
        "set-cookie: lower=1; Path=/\r\n"
        "Set-Cookie: novalue\r\n"
        "X-Set-Cookie: other=1;\r\n");
    std::string jar = "old=1";
    m_client->Request(base_url + "/cgi-bin/mmwebwx-bin/webwxnewloginpage", {.cookie_jar = &jar});
    // "lower" has no exact "Set-Cookie:" to cut the pair after, so it adds nothing.
    EXPECT_EQ(jar, "old=1; wxuin=123; webwx_data_ticket=gSc=a/b+; mm_lang=zh_CN");

    std::string fresh;
    m_client->Request(base_url + "/again", {.cookie_jar = &fresh});
    EXPECT_EQ(fresh, "wxuin=123; webwx_data_ticket=gSc=a/b+; mm_lang=zh_CN");
}

TEST_F(RawServerTest, CollectsNothingWithoutTheExactSetCookieName) {
    Serve("set-cookie: a=1; Path=/\r\nSET-COOKIE: b=2;\r\n");
    std::string jar;
    m_client->Request(base_url + "/x", {.cookie_jar = &jar});
    EXPECT_EQ(jar, "");
}

TEST_F(RawServerTest, DecodesGzipOnlyUnderTheExactHeader) {
    const std::string text = Plain(300000);
    const std::string packed = Gzip(text);
    ASSERT_FALSE(packed.empty());
    struct Case {
        std::string header;
        bool decoded;
    };
    const Case cases[] = {
        {"Content-Encoding: gzip\r\n", true},
        {"Content-Type: text/plain\r\nContent-Encoding: gzip\r\n", true},
        {"content-encoding: gzip\r\n", false},
        {"Content-Encoding:gzip\r\n", false},
        {"Content-Encoding: GZIP\r\n", false},
        {"X-Content-Encoding: gzip\r\n", false},
    };
    for (const Case& c : cases) {
        Serve(c.header, packed);
        const std::string body = m_client->Request(base_url + "/cgi-bin/mmwebwx-bin/webwxinit");
        EXPECT_TRUE(body == (c.decoded ? text : packed)) << c.header << " gave " << body.size();
    }
}

TEST_F(RawServerTest, BrokenGzipBodiesEndWithoutHanging) {
    const std::string text = Plain(100000);
    const std::string packed = Gzip(text);
    const std::string bodies[] = {packed.substr(0, packed.size() / 2), packed.substr(0, 10),
                                  "this is not gzip at all", std::string(5000, '\x1f')};
    for (const std::string& broken : bodies) {
        Serve("Content-Encoding: gzip\r\n", broken);
        const std::string body = m_client->Request(base_url + "/x");
        EXPECT_TRUE(text.starts_with(body)) << "decoded " << body.size() << " bytes of rubbish";
    }
}

// A body past the limit fails whole, whether it arrives that big or unpacks to it.
TEST_F(RawServerTest, BodiesPastTheLimitFail) {
    const std::string bomb = Gzip(std::string(MAX_BODY_BYTES + 1, 'x'));
    Serve([&bomb](const std::string& request) {
        if (request.starts_with("GET /bomb ")) {
            return RawAnswer("Content-Encoding: gzip\r\n", bomb);
        }
        const bool over = request.starts_with("GET /over ");
        return RawAnswer("", std::string(MAX_BODY_BYTES + (over ? 1 : 0), 'y'));
    });
    EXPECT_EQ(m_client->Request(base_url + "/bomb"), "");
    EXPECT_EQ(m_client->Request(base_url + "/over"), "");
    EXPECT_EQ(m_client->Request(base_url + "/limit").size(), MAX_BODY_BYTES);
    EXPECT_EQ(m_raw->Requests().size(), 3u);
}

// Cookies must never go out in clear text, whatever URL an answer names.
TEST(WebClientPlainHttp, RefusesEveryUrlThatIsNotHttps) {
    httplib::Server plain;
    std::atomic<int> arrivals = 0;
    plain.Get(".*", [&arrivals](const httplib::Request&, httplib::Response& res) {
        ++arrivals;
        res.set_content("in clear text", "text/plain");
    });
    const int port = plain.bind_to_any_port("127.0.0.1");
    ASSERT_GT(port, 0);
    std::thread serving([&plain] { plain.listen_after_bind(); });
    const WebClient client(WebClientConfig{"127.0.0.1:" + std::to_string(port)});
    for (const char* url : {"http://wx.qq.com/cgi-bin/mmwebwx-bin/webwxnewloginpage?fun=new",
                            "HTTP://wx.qq.com/x", "ftp://wx.qq.com/x", "wx.qq.com/x"}) {
        EXPECT_EQ(client.Request(url, {.cookie_header = "wxsid=secret", .timeout_s = 2}), "")
            << url;
    }
    // The server was there to be reached all along.
    httplib::Client control("127.0.0.1", port);
    const httplib::Result answer = control.Get("/x");
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->body, "in clear text");
    plain.stop();
    serving.join();
    EXPECT_EQ(arrivals.load(), 1);
}

// A local server the user named may be reached in clear text; nothing else may.
TEST(WebClientPlainHttp, ReachesLoopbackOnlyWhenAskedAndGoesDirect) {
    httplib::Server plain;
    plain.Post("/v1/chat", [](const httplib::Request& req, httplib::Response& res) {
        res.set_content(req.get_header_value("Content-Type"), "text/plain");
    });
    const int port = plain.bind_to_any_port("127.0.0.1");
    ASSERT_GT(port, 0);
    std::thread serving([&plain] { plain.listen_after_bind(); });
    // connect_to names a port where nobody listens: a direct call must not go there.
    const WebClient client(WebClientConfig{"127.0.0.1:1"});
    const std::string url = "http://127.0.0.1:" + std::to_string(port) + "/v1/chat";
    const std::string_view json[] = {"Content-Type: application/json"};
    RequestOptions options{.method = "POST",
                           .body = "{}",
                           .timeout_s = 2,
                           .extra_headers = json,
                           .allow_loopback_http = true,
                           .direct = true};
    EXPECT_EQ(client.Request(url, options), "application/json") << "the fixed type stayed";
    options.allow_loopback_http = false;
    EXPECT_EQ(client.Request(url, options), "");
    options.allow_loopback_http = true;
    EXPECT_EQ(client.Request("http://wx.qq.com:" + std::to_string(port) + "/v1/chat", options), "");
    plain.stop();
    serving.join();
    // Only an address is this machine: a name that starts like one is looked up anywhere.
    for (const char* host : {"localhost", "LocalHost", "[::1]", "127.0.0.1", "127.255.3.9"}) {
        EXPECT_TRUE(IsLoopbackHost(host)) << host;
    }
    for (const char* host : {"127.evil.example", "127.0.0.1.nip.io", "127.0.0.256", "127.1",
                             "127.0.0.", "128.0.0.1", "localhost.example", ""}) {
        EXPECT_FALSE(IsLoopbackHost(host)) << host;
    }
}

// An httplib server with a release event, so handlers that hold an answer end at teardown.
class WebClientTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_server.Start());
        // As the robot's client: the service's cookies belong to qq.com.
        m_client = std::make_unique<WebClient>(
            WebClientConfig{m_server.ConnectTo(), m_server.CaFile(), 1.0, "qq.com"});
    }
    void TearDown() override { m_release.Set(); }

    httplib::Server& Http() { return m_server.Http(); }

    ManualResetEvent m_release;
    ManualResetEvent m_arrived;
    test::TlsTestServer m_server;
    std::unique_ptr<WebClient> m_client;
};

TEST_F(WebClientTest, FollowsRedirectsAndReadsCookiesOfTheFinalAnswerOnly) {
    std::string final_cookie;
    std::string final_referer;
    Http().Get("/hop", [](const httplib::Request&, httplib::Response& res) {
        res.set_header("Set-Cookie", "hop=1; Path=/");
        // Another host of the service's domain: the hand-set Cookie header goes along.
        res.set_redirect("https://wx2.qq.com/final");
        res.set_content("moved", "text/plain");
    });
    Http().Get("/away", [](const httplib::Request&, httplib::Response& res) {
        res.set_redirect("https://localhost/final");
    });
    Http().Get("/final", [&](const httplib::Request& req, httplib::Response& res) {
        final_cookie = req.get_header_value("Cookie");
        final_referer = req.get_header_value("Referer");
        res.set_header("Set-Cookie", "final=2; Path=/");
        res.set_content("arrived", "text/plain");
    });

    std::string jar;
    EXPECT_EQ(
        m_client->Request(base_url + "/hop", {.cookie_header = "wxsid=s", .cookie_jar = &jar}),
        "arrived");
    EXPECT_EQ(jar, "final=2");
    EXPECT_EQ(final_cookie, "wxsid=s");

    // A host outside it gets no cookie nor the tickets of the URL, and sets none.
    jar.clear();
    EXPECT_EQ(m_client->Request(base_url + "/away?skey=secret",
                                {.cookie_header = "wxsid=s", .cookie_jar = &jar}),
              "arrived");
    EXPECT_EQ(final_cookie, "");
    EXPECT_EQ(final_referer, base_url + "/");
    EXPECT_EQ(jar, "");

    jar.clear();
    final_cookie.clear();
    EXPECT_EQ(m_client->Request(base_url + "/hop", {.cookie_jar = &jar, .no_redirect = true}),
              "moved");
    EXPECT_EQ(jar, "hop=1");
    EXPECT_EQ(final_cookie, "");
}

TEST_F(WebClientTest, SameCookieFromTwoAnswersStaysTwiceInArrivalOrder) {
    int count = 0;
    Http().Get("/sync", [&](const httplib::Request&, httplib::Response& res) {
        res.set_header("Set-Cookie", "wxloadtime=" + std::to_string(++count) + "; Path=/");
        res.set_content("{}", "text/plain");
    });
    std::string jar;
    m_client->Request(base_url + "/sync", {.cookie_jar = &jar});
    m_client->Request(base_url + "/sync", {.cookie_jar = &jar});
    EXPECT_EQ(jar, "wxloadtime=1; wxloadtime=2");
}

TEST_F(WebClientTest, KeepsOnlyTheConnectionBetweenCalls) {
    std::vector<int> ports;
    std::vector<std::string> cookies;
    Http().Get("/x", [&](const httplib::Request& req, httplib::Response& res) {
        ports.push_back(req.remote_port);
        cookies.push_back(req.get_header_value("Cookie"));
        res.set_header("Set-Cookie", "wxuin=7; Path=/");
        res.set_content("x", "text/plain");
    });
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(m_client->Request(base_url + "/x"), "x");
    }
    ASSERT_EQ(ports.size(), 4u);
    EXPECT_EQ(ports.front(), ports.back()) << "a new connection for every call";
    EXPECT_EQ(cookies, std::vector<std::string>(4, "")) << "a cookie engine is on";
}

TEST_F(WebClientTest, ReturnsTheBodyWhateverTheStatus) {
    Http().Get("/boom", [](const httplib::Request&, httplib::Response& res) {
        res.status = 500;
        res.set_content("{\"BaseResponse\": {\"Ret\": 1100}}", "text/plain");
    });
    EXPECT_EQ(m_client->Request(base_url + "/boom"), "{\"BaseResponse\": {\"Ret\": 1100}}");
}

// Downloads: the final answer's head, and its body handed on as it arrives.
TEST_F(WebClientTest, SinkTakesTheFinalBodyAndHeadTellsItsStatus) {
    const std::string picture = "\xff\xd8\xff" + Plain(300000);
    Http().Get("/moved", [](const httplib::Request&, httplib::Response& res) {
        res.set_redirect("https://wx.qq.com/picture");
        res.set_content("the redirect's own body", "text/plain");
    });
    Http().Get("/picture", [&picture](const httplib::Request&, httplib::Response& res) {
        res.status = 206;
        res.set_content(picture, "image/jpeg");
    });
    std::string received;
    const BodySink sink = [&received](std::string_view bytes) {
        received.append(bytes);
        return true;
    };
    AnswerHead head;
    EXPECT_EQ(m_client->Request(base_url + "/moved", {.head = &head, .sink = &sink}), "");
    EXPECT_TRUE(head.complete);
    EXPECT_EQ(head.status, 206);
    EXPECT_NE(head.headers.find("Content-Type: image/jpeg\r\n"), std::string::npos);
    EXPECT_EQ(received, picture);

    // A sink that has had enough ends the transfer, and the call fails.
    std::size_t taken = 0;
    const BodySink enough = [&taken](std::string_view bytes) {
        taken += bytes.size();
        return taken < 100000;
    };
    EXPECT_EQ(m_client->Request(base_url + "/picture", {.head = &head, .sink = &enough}), "");
    EXPECT_FALSE(head.complete);
    EXPECT_LT(taken, picture.size());

    EXPECT_EQ(m_client->Request(base_url + "/picture", {.max_body_bytes = 1000}), "");
    EXPECT_EQ(m_client->Request(base_url + "/picture", {.max_body_bytes = picture.size()}),
              picture);
}

TEST_F(WebClientTest, FailsEmptyOnUntrustedCertificateOrWrongHost) {
    Http().Get("/x", [](const httplib::Request&, httplib::Response& res) {
        res.set_content("secret", "text/plain");
    });
    const WebClient system_only(WebClientConfig{m_server.ConnectTo(), ""});
    EXPECT_EQ(system_only.Request(base_url + "/x"), "");
    // Trusted CA, but the certificate does not name this host.
    EXPECT_EQ(m_client->Request("https://example.com/x"), "");
    EXPECT_EQ(m_client->Request(base_url + "/x"), "secret");
}

TEST(WebClientFailure, FailsEmptyOnRefusedConnection) {
    // A port that was free a moment ago and has no listener now.
    const int probe = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof(address);
    ASSERT_EQ(bind(probe, reinterpret_cast<sockaddr*>(&address), length), 0);
    ASSERT_EQ(getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length), 0);
    close(probe);
    const WebClient client(WebClientConfig{"127.0.0.1:" + std::to_string(ntohs(address.sin_port))});
    EXPECT_EQ(client.Request(base_url + "/x", {.timeout_s = 2}), "");
}

TEST_F(WebClientTest, TimeOutBoundsTheWholeRequest) {
    Http().Get("/hold", [&](const httplib::Request& req, httplib::Response& res) {
        m_release.WaitFor(milliseconds(std::stoi(req.get_param_value("ms"))));
        res.set_content("late", "text/plain");
    });
    const Clock::time_point start = Clock::now();
    EXPECT_EQ(m_client->Request(base_url + "/hold?ms=3000", {.timeout_s = 1}), "");
    EXPECT_LT(Clock::now() - start, milliseconds(2800)) << "waited for the answer";
    // 0 is the 15 s default, not "no time at all".
    EXPECT_EQ(m_client->Request(base_url + "/hold?ms=1200", {.timeout_s = 0}), "late");
}

TEST_F(WebClientTest, TimeOutScaleShortensEveryTimeOut) {
    Http().Get("/hold", [&](const httplib::Request&, httplib::Response& res) {
        m_release.WaitFor(milliseconds(5000));
        res.set_content("late", "text/plain");
    });
    WebClientConfig config{m_server.ConnectTo(), m_server.CaFile()};
    config.timeout_scale = 0.1;
    const WebClient scaled(config);
    const Clock::time_point start = Clock::now();
    EXPECT_EQ(scaled.Request(base_url + "/hold", {.timeout_s = 10}), "");
    const auto took = Clock::now() - start;
    EXPECT_GE(took, milliseconds(900));
    EXPECT_LT(took, milliseconds(4000)) << "the scale was not applied";
}

TEST_F(WebClientTest, StopAbortsALongPollAndEveryLaterRequest) {
    std::atomic<int> arrivals = 0;
    Http().Get("/synccheck", [&](const httplib::Request&, httplib::Response& res) {
        ++arrivals;
        m_arrived.Set();
        m_release.WaitFor(milliseconds(30000));
        res.set_content("window.synccheck={retcode:\"0\",selector:\"0\"}", "text/plain");
    });
    std::string answer = "unset";
    Clock::time_point returned;
    std::thread poll([&] {
        answer = m_client->Request(base_url + "/synccheck", {.timeout_s = 30});
        returned = Clock::now();
    });
    ASSERT_TRUE(m_arrived.WaitFor(milliseconds(10000)));
    const Clock::time_point stopped = Clock::now();
    m_client->Stop();
    poll.join();
    EXPECT_EQ(answer, "");
    EXPECT_LT(returned - stopped, milliseconds(2000)) << "Stop() did not abort the transfer";
    EXPECT_TRUE(m_client->Stopped());

    EXPECT_EQ(m_client->Request(base_url + "/synccheck"), "");
    EXPECT_EQ(arrivals.load(), 1);
}

TEST_F(WebClientTest, ManyThreadsGetTheirOwnAnswersAndCookies) {
    Http().Get("/echo", [](const httplib::Request& req, httplib::Response& res) {
        const std::string n = req.get_param_value("n");
        res.set_header("Set-Cookie", "n=" + n + "; Path=/");
        res.set_content(n + "|" + req.get_header_value("Cookie"), "text/plain");
    });
    constexpr int THREADS = 8;
    constexpr int REQUESTS = 50;
    std::atomic<int> correct = 0;
    std::vector<std::thread> threads;
    threads.reserve(THREADS);
    for (int t = 0; t < THREADS; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < REQUESTS; ++i) {
                const std::string n = std::to_string(t * 1000 + i);
                const std::string cookie = "t=" + std::to_string(t);
                std::string jar;
                const std::string body =
                    m_client->Request((base_url + "/echo?n=").append(n),
                                      {.cookie_header = cookie, .cookie_jar = &jar});
                std::string expected = n;
                expected.append("|").append(cookie);
                correct += (body == expected && jar == "n=" + n) ? 1 : 0;
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(correct.load(), THREADS * REQUESTS);
}

TEST(TextBetween, FollowsTheEmptyMarkerRules) {
    EXPECT_EQ(TextBetween("a=b; c=d", "=", ";"), "b");
    EXPECT_EQ(TextBetween("a=b; c=d", "c=", ";"), "d");  // right marker missing: the rest
    EXPECT_EQ(TextBetween("a=b", "x", ";"), "");
    EXPECT_EQ(TextBetween("a=b; c=d", "", ";"), "a=b");
    EXPECT_EQ(TextBetween("a=b", "", ";"), "");
    EXPECT_EQ(TextBetween("a=b; c=d", "; ", ""), "c=d");
    EXPECT_EQ(TextBetween("a=b", "; ", ""), "");
    EXPECT_EQ(TextBetween("Set-Cookie: x", "set-cookie:", ""), "");  // case-sensitive
    EXPECT_EQ(TextBetween("", "", ""), "");
}

}  // namespace
}  // namespace zelmo::platform
