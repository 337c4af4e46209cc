#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/Encoding.h"
#include "platform/GbkLiteral.h"
#include "protocol/AnswerCutReference.h"
#include "protocol/InitAnswer.h"
#include "protocol/LoginFlow.h"
#include "sim/Certificates.h"
#include "sim/QrPng.h"
#include "support/FakeClock.h"
#include "support/RawTlsServer.h"
#include "support/TestSupport.h"

namespace zelmo::protocol {
namespace {

using platform::Gbk;
using namespace std::string_view_literals;

struct Seen {
    std::string host;
    std::string target;
    std::string cookie;
    std::string body;
    std::string client_version;  // the desktop mode's header lines; empty when absent
    std::string extspam;
    bool has_desktop_headers = false;
};

constexpr std::string_view LOGIN_XML_OK =
    "<error><ret>0</ret><message>OK</message><skey>@crypt_ab12@cd</skey><wxsid>SID1</wxsid>"
    "<wxuin>12345</wxuin><pass_ticket>pt%2Bx</pass_ticket><isgrayscale>1</isgrayscale></error>";
constexpr std::string_view LOGIN_XML_EMPTY_MESSAGE =
    "<error><ret>0</ret><message></message><skey>@crypt_ab12_cd</skey><wxsid>SID2</wxsid>"
    "<wxuin>777</wxuin><pass_ticket>pt</pass_ticket><isgrayscale>1</isgrayscale></error>";

std::string HeaderOf(const std::string& raw, std::string_view name) {
    const std::string marker = "\r\n" + std::string(name) + ": ";
    const std::size_t at = raw.find(marker);
    if (at == std::string::npos) {
        return {};
    }
    const std::size_t from = at + marker.size();
    return raw.substr(from, raw.find("\r\n", from) - from);
}

Seen Parse(const std::string& raw) {
    Seen seen;
    const std::size_t first_blank = raw.find(' ');
    const std::size_t second_blank = raw.find(' ', first_blank + 1);
    seen.target = raw.substr(first_blank + 1, second_blank - first_blank - 1);
    seen.host = HeaderOf(raw, "Host");
    seen.cookie = HeaderOf(raw, "Cookie");
    seen.client_version = HeaderOf(raw, "client-version");
    seen.extspam = HeaderOf(raw, "extspam");
    const std::string head = raw.substr(0, raw.find("\r\n\r\n"));
    seen.has_desktop_headers = head.find("\r\nclient-version:") != std::string::npos ||
                               head.find("\r\nextspam:") != std::string::npos;
    const std::size_t end = raw.find("\r\n\r\n");
    seen.body = end == std::string::npos ? "" : raw.substr(end + 4);
    return seen;
}

std::string Answer(std::string_view body, std::string_view extra_headers = {}) {
    return "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nConnection: close\r\n" +
           std::string(extra_headers) + "Content-Length: " + std::to_string(body.size()) +
           "\r\n\r\n" + std::string(body);
}

// A real TLS server playing the service's web host with scripted answers. It takes the
// lowercase "post" the client sends, which ordinary server libraries refuse.
class LoginFlowTest : public ::testing::Test {
protected:
    void SetUp() override {
        const sim::CertificateFiles files =
            sim::MakeCertificates(m_dir.Path(), {"wx.qq.com", "*.qq.com"});
        m_server = std::make_unique<test::RawTlsServer>(
            files.server_cert, files.server_key, [this](const std::string& raw) {
                const Seen seen = Parse(raw);
                std::lock_guard lock(m_mutex);
                m_seen.push_back(seen);
                if (seen.target.starts_with("/cgi-bin/mmwebwx-bin/webwxnewloginpage")) {
                    std::string body;
                    if (!m_redirect_answers.empty()) {
                        body = m_redirect_answers.front();
                        m_redirect_answers.erase(m_redirect_answers.begin());
                    }
                    return Answer(body,
                                  "Set-Cookie: wxuin=12345; Path=/\r\n"
                                  "Set-Cookie: wxsid=SID1; Path=/\r\n");
                }
                if (seen.target.starts_with("/cgi-bin/mmwebwx-bin/webwxinit")) {
                    return Answer(m_init_answer);
                }
                return Answer("{}");
            });
        ASSERT_TRUE(m_server->Start());
        m_profile.web_host = "wx{fun}.qq.com";
        m_profile.login_host = "login.qq.com";
        m_profile.connect_to = m_server->ConnectTo();
        m_profile.ca_file = files.ca_cert;
        m_web = std::make_unique<platform::WebClient>(ClientConfig(m_profile));
        m_session.uuid = "UUID==";
        m_session.cookies = "home=1";
    }

    ServiceLink Link() { return {*m_web, m_profile, m_clock}; }

    void ScriptRedirects(std::vector<std::string> answers) {
        std::lock_guard lock(m_mutex);
        m_redirect_answers = std::move(answers);
    }

    std::vector<Seen> SeenRequests() {
        std::lock_guard lock(m_mutex);
        return m_seen;
    }

    test::TempDir m_dir;
    ServiceProfile m_profile;
    test::FakeClock m_clock;
    std::unique_ptr<platform::WebClient> m_web;
    Session m_session;
    std::mutex m_mutex;
    std::vector<Seen> m_seen;
    std::vector<std::string> m_redirect_answers;
    std::string m_init_answer;
    std::unique_ptr<test::RawTlsServer> m_server;  // last: it stops before the rest goes
};

TEST_F(LoginFlowTest, RedirectWithoutFunGetsFunNewAndStoresTheCredentials) {
    ScriptRedirects({std::string(LOGIN_XML_OK)});
    // The web mode sends exactly the web client's requests.
    m_session.login_mode = LoginMode::Web;
    const std::string poll =
        "window.code=200;\nwindow.redirect_uri=\"https://wx2.qq.com/cgi-bin/mmwebwx-bin/"
        "webwxnewloginpage?ticket=T1@qrticket_0&uuid=UUID==&lang=zh_CN&scan=1\";";
    ASSERT_TRUE(CompleteLogin(Link(), poll, m_session));

    const std::vector<Seen> seen = SeenRequests();
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].host, "wx2.qq.com");
    EXPECT_EQ(seen[0].target,
              "/cgi-bin/mmwebwx-bin/webwxnewloginpage?ticket=T1@qrticket_0&uuid=UUID==&lang=zh_CN"
              "&scan=1&fun=new");
    EXPECT_EQ(seen[0].cookie, "home=1");
    EXPECT_FALSE(seen[0].has_desktop_headers);

    EXPECT_EQ(m_session.fun, "2");
    EXPECT_EQ(m_session.uin, "12345");
    EXPECT_EQ(m_session.sid, "SID1");
    EXPECT_EQ(m_session.pass_ticket, "pt%2Bx");
    EXPECT_EQ(m_session.skey, "crypt_ab12cd");  // every "@" goes, not only the first
    EXPECT_EQ(m_session.deviceid, "e402715839261573");
    EXPECT_EQ(m_session.cookies, "home=1; wxuin=12345; wxsid=SID1");
    EXPECT_EQ(m_session.Delay, "0");  // the fake clock did not move

    // Status report 3 goes to the primary host with the whole jar.
    EXPECT_EQ(seen[1].host, "wx.qq.com");
    EXPECT_TRUE(seen[1].target.starts_with("/cgi-bin/mmwebwx-bin/webwxstatreport?type=1&r="));
    EXPECT_TRUE(seen[1].target.ends_with("&skey=&pass_ticket=undefined"));
    EXPECT_EQ(seen[1].cookie, "home=1; wxuin=12345; wxsid=SID1");
    EXPECT_FALSE(seen[1].has_desktop_headers);
    EXPECT_EQ(
        seen[1].body,
        R"({"BaseRequest":{"Uin":0,"Sid":0},"Count":1,"List":[{"Type":1,"Text":)"
        R"("/cgi-bin/mmwebwx-bin/login, Second Request Success, uuid: UUID==, time: 0ms"}]})");
}

TEST_F(LoginFlowTest, RedirectThatNamesFunIsUsedUnchangedAndAnEmptyMessageLogsIn) {
    ScriptRedirects({std::string(LOGIN_XML_EMPTY_MESSAGE)});
    const std::string poll =
        "window.code=200;\nwindow.redirect_uri=\"https://wx.qq.com/cgi-bin/mmwebwx-bin/"
        "webwxnewloginpage?ticket=T&uuid=U&fun=new&version=v2\";";
    ASSERT_TRUE(CompleteLogin(Link(), poll, m_session));
    const std::vector<Seen> seen = SeenRequests();
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen[0].target,
              "/cgi-bin/mmwebwx-bin/webwxnewloginpage?ticket=T&uuid=U&fun=new&version=v2");
    EXPECT_EQ(m_session.fun, "");  // the primary host: later URLs use it
    EXPECT_EQ(m_session.uin, "777");
}

// Both redirect rows of a desktop-mode login carry the desktop client's two header lines;
// the profile's token replaces the built-in one.
TEST_F(LoginFlowTest, IntermediateLocationAnswerIsFollowedWithoutCookies) {
    ASSERT_EQ(m_session.login_mode, LoginMode::Desktop);
    m_profile.extspam = "TOKEN-from-the-profile";
    ScriptRedirects(
        {"<script>window.location.href=\"https://wx8.qq.com/cgi-bin/mmwebwx-bin/"
         "webwxnewloginpage?ticket=T2&uuid=U\";</script>",
         std::string(LOGIN_XML_OK)});
    const std::string poll =
        "window.code=200;\nwindow.redirect_uri=\"https://wx.qq.com/cgi-bin/mmwebwx-bin/"
        "webwxnewloginpage?ticket=T1&uuid=U\";";
    ASSERT_TRUE(CompleteLogin(Link(), poll, m_session));
    const std::vector<Seen> seen = SeenRequests();
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[0].cookie, "home=1");
    EXPECT_EQ(seen[1].host, "wx8.qq.com");
    EXPECT_EQ(seen[1].target, "/cgi-bin/mmwebwx-bin/webwxnewloginpage?ticket=T2&uuid=U&fun=new");
    EXPECT_EQ(seen[1].cookie, "");
    for (std::size_t row = 0; row < 2; ++row) {
        EXPECT_EQ(seen[row].client_version, "2.0.0") << row;
        EXPECT_EQ(seen[row].extspam, "TOKEN-from-the-profile") << row;
    }
    // Status report 3 is no redirect row.
    EXPECT_FALSE(seen[2].has_desktop_headers);
    EXPECT_EQ(m_session.fun, "8");
    // Both answers' cookies were collected.
    EXPECT_EQ(m_session.cookies, "home=1; wxuin=12345; wxsid=SID1; wxuin=12345; wxsid=SID1");
}

TEST_F(LoginFlowTest, RefusedLoginStoresNothing) {
    ScriptRedirects({"<error><ret>1203</ret><message>不能登录网页微信</message></error>"});
    const std::string poll =
        "window.code=200;\nwindow.redirect_uri=\"https://wx.qq.com/cgi-bin/mmwebwx-bin/"
        "webwxnewloginpage?ticket=T&uuid=U\";";
    std::optional<LoginRefusal> refusal;
    EXPECT_FALSE(CompleteLogin(Link(), poll, m_session, &refusal));
    ASSERT_TRUE(refusal);
    EXPECT_EQ(refusal->ret, "1203");
    EXPECT_EQ(refusal->message, Gbk("不能登录网页微信"));
    EXPECT_TRUE(m_session.uin.empty());
    EXPECT_TRUE(m_session.skey.empty());
    EXPECT_TRUE(m_session.deviceid.empty());
    // No status report for a failed login.
    EXPECT_EQ(SeenRequests().size(), 1u);
    // "<ret>0</ret>" without the credentials could never initialise a session; nor is it a
    // refusal to show, and neither is an answer that is no such XML.
    for (const std::string& answer : {std::string("<error><ret>0</ret><message></message></error>"),
                                      std::string("<html>502</html>")}) {
        ScriptRedirects({answer});
        EXPECT_FALSE(CompleteLogin(Link(), poll, m_session, &refusal));
        EXPECT_FALSE(refusal) << answer;
    }
}

// jslogin names the page the login redirect goes to: the desktop page only in desktop mode.
TEST_F(LoginFlowTest, JsloginAsksForTheDesktopLoginPageOnlyInDesktopMode) {
    for (const LoginMode mode : {LoginMode::Web, LoginMode::Desktop}) {
        m_profile.login_mode = mode;
        Session session;
        // The scripted server gives no uuid: one attempt, then the pause ends the fetch.
        FetchQrCode(Link(), session, [](int) { return false; });
        EXPECT_EQ(session.login_mode, mode);
    }
    std::vector<std::string> targets;
    for (const Seen& seen : SeenRequests()) {
        if (seen.target.starts_with("/jslogin?")) {
            EXPECT_EQ(seen.host, "login.qq.com");
            targets.push_back(seen.target.substr(0, seen.target.find("&_=")));
        }
    }
    const std::string web =
        "/jslogin?appid=wx782c26e4c19acffb&redirect_uri=https%3A%2F%2Fwx.qq.com%2Fcgi-bin"
        "%2Fmmwebwx-bin%2Fwebwxnewloginpage";
    EXPECT_EQ(targets, (std::vector<std::string>{web + "&fun=new&lang=zh_CN",
                                                 web + "%3Fmod%3Ddesktop&fun=new&lang=zh_CN"}));
}

TEST_F(LoginFlowTest, InitSessionSendsTheSkeyWithItsAtSignsAndKeepsStateOnFailure) {
    ProtocolState state;
    state.session.fun = "2";
    state.session.uin = "12345";
    state.session.sid = "SID1";
    state.session.skey = "crypt_ab";
    state.session.pass_ticket = "pt%2B";
    state.session.deviceid = "e402715839261573";
    state.session.cookies = "a=1; b=2";
    state.sync_key.text = "old";
    {
        std::lock_guard lock(m_mutex);
        m_init_answer = "{\n\"BaseResponse\": {\n\"Ret\": 1,\n\"ErrMsg\": \"\"\n}\n}\n";
    }
    EXPECT_FALSE(InitSession(Link(), state));
    EXPECT_EQ(state.sync_key.text, "old");
    EXPECT_NE(state.init_answer.find("Ret\": 1"), std::string::npos);

    {
        std::lock_guard lock(m_mutex);
        m_init_answer =
            "{\n\"BaseResponse\": {\n\"Ret\": 0,\n\"ErrMsg\": \"\"\n}\n,\n\"SyncKey\": {\n"
            "\"Count\": 1,\n\"List\": [{\n\"Key\": 1,\n\"Val\": 42\n}\n]\n}\n,\n\"User\": {\n"
            "\"Uin\": 12345,\n\"UserName\": \"@me\",\n\"NickName\": \"小明\",\n"
            "\"HeadImgUrl\": \"/icon?x=1\",\n\"Sex\": 1,\n\"Signature\": \"hi\",\n"
            "\"SnsFlag\": 0\n}\n}\n";
    }
    ASSERT_TRUE(InitSession(Link(), state));
    EXPECT_EQ(state.sync_key.text, "1_42");
    EXPECT_EQ(state.own.NickName, Gbk("小明"));
    EXPECT_EQ(state.own.Sex, Gbk("男"));
    EXPECT_EQ(state.own.HeadImgUrl, "https://wx2.qq.com/icon?x=1");

    const std::vector<Seen> seen = SeenRequests();
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[1].host, "wx2.qq.com");
    EXPECT_TRUE(seen[1].target.starts_with("/cgi-bin/mmwebwx-bin/webwxinit?pass_ticket=pt%2B&r="));
    EXPECT_TRUE(seen[1].target.ends_with("&skey=%40crypt_ab&pass_ticket=pt%2B"));
    EXPECT_EQ(seen[1].cookie, "a=1; b=2");
    EXPECT_EQ(seen[1].body, R"({"BaseRequest":{"Uin":"12345","Sid":"SID1","Skey":"@crypt_ab",)"
                            R"("DeviceID":"e402715839261573"}})");
}

// The Uin names the account's folder, where INI files are written and plugins loaded.
TEST_F(LoginFlowTest, LoginWhoseUinIsNotDigitsFails) {
    const std::string poll =
        "window.code=200;\nwindow.redirect_uri=\"https://wx.qq.com/cgi-bin/mmwebwx-bin/"
        "webwxnewloginpage?ticket=T&uuid=U\";";
    for (const std::string& uin :
         std::vector<std::string>{"../../../../tmp/x", "", "12a", " 123", "123 ", "-1", "1/2",
                                  std::string(21, '9'), std::string("12\0", 3)}) {
        ScriptRedirects(
            {"<error><ret>0</ret><message></message><skey>@k</skey><wxsid>S</wxsid>"
             "<wxuin>" +
             uin + "</wxuin><pass_ticket>p</pass_ticket></error>"});
        Session session;
        EXPECT_FALSE(CompleteLogin(Link(), poll, session)) << uin;
        EXPECT_TRUE(session.uin.empty());
        EXPECT_TRUE(session.sid.empty());
    }
    ScriptRedirects(
        {"<error><ret>0</ret><message></message><skey>@k</skey><wxsid>S</wxsid>"
         "<wxuin>" +
         std::string(20, '9') + "</wxuin><pass_ticket>p</pass_ticket></error>"});
    ASSERT_TRUE(CompleteLogin(Link(), poll, m_session));
    EXPECT_EQ(m_session.uin, std::string(20, '9'));
}

// The answer's URL would receive the whole cookie jar: never over plain http.
TEST_F(LoginFlowTest, RedirectToPlainHttpFailsWithoutSending) {
    ScriptRedirects({std::string(LOGIN_XML_OK)});
    const std::string poll =
        "window.code=200;\nwindow.redirect_uri=\"http://wx.qq.com/cgi-bin/mmwebwx-bin/"
        "webwxnewloginpage?ticket=T&uuid=U\";";
    EXPECT_FALSE(CompleteLogin(Link(), poll, m_session));
    EXPECT_TRUE(SeenRequests().empty());
    EXPECT_TRUE(m_session.uin.empty());
}

TEST(RedirectParsingTest, TakesTheCredentialsOnlyFromAnAcceptedAnswer) {
    const std::optional<LoginCredentials> ok = ParseRedirectAnswer(LOGIN_XML_OK);
    ASSERT_TRUE(ok);
    EXPECT_EQ(ok->uin, "12345");
    EXPECT_EQ(ok->sid, "SID1");
    EXPECT_EQ(ok->pass_ticket, "pt%2Bx");
    EXPECT_EQ(ok->skey, "crypt_ab12cd");
    EXPECT_FALSE(ParseRedirectAnswer("<error><ret>1203</ret><wxuin>1</wxuin><wxsid>S</wxsid>"));
    EXPECT_FALSE(ParseRedirectAnswer("<error><ret>0</ret><wxuin>1</wxuin></error>"));
    EXPECT_FALSE(ParseRedirectAnswer(""));

    EXPECT_EQ(RedirectUrlOf(R"(window.redirect_uri="https://wx.qq.com/p?ticket=T";)"),
              "https://wx.qq.com/p?ticket=T&fun=new");
    EXPECT_EQ(RedirectUrlOf(R"(window.redirect_uri="https://wx.qq.com/p?fun=old";)"),
              "https://wx.qq.com/p?fun=old");
    EXPECT_EQ(RedirectUrlOf(R"(window.redirect_uri="https://cut.off)"), "");
    EXPECT_EQ(RedirectUrlOf("window.code=200;"), "");
}

TEST(QrImageTest, OnlyAWholePngJpegOrGifIsAnImage) {
    const std::string png = sim::QrCodePng("https://login.weixin.qq.com/l/abc");
    ASSERT_FALSE(png.empty());
    EXPECT_TRUE(IsImage(png));
    EXPECT_FALSE(IsImage(png.substr(0, png.size() / 2))) << "cut off";
    EXPECT_FALSE(IsImage(png.substr(0, png.size() - 1)));
    EXPECT_TRUE(IsImage("\xff\xd8\xff\xe0 jfif data \xff\xd9"));
    EXPECT_FALSE(IsImage("\xff\xd8\xff\xe0 jfif data, cut"));
    EXPECT_FALSE(IsImage("\xff\xd8\xff\xd9"));
    EXPECT_TRUE(IsImage("GIF89a\x01\x00\x01\x00\x80\x00\x00 data;"sv));
    EXPECT_TRUE(IsImage("GIF87a screen data;"));
    EXPECT_FALSE(IsImage("GIF89a\x01\x00\x01\x00\x80\x00\x00 cut"sv));
    EXPECT_FALSE(IsImage("GIF89a;"));
    EXPECT_FALSE(IsImage("<html><body>500 Internal Server Error</body></html>"));
    EXPECT_FALSE(IsImage(""));
    EXPECT_FALSE(IsImage("\x89PNG\r\n\x1a\n"));
}

// An answer cut off (or padded) after `Ret": 0` is no session: it is retried like any
// failed init, and what the last good answer gave stays.
TEST_F(LoginFlowTest, InitAnswerWithoutSyncKeyOrOwnUserFails) {
    ProtocolState state;
    state.session.uin = "12345";
    state.session.sid = "SID1";
    state.sync_key = {"old", "{old}"};
    state.own.UserName = "@old";
    const std::string head = "{\n\"BaseResponse\": {\n\"Ret\": 0,\n\"ErrMsg\": \"\"\n}\n,\n";
    const std::string sync_key =
        "\"SyncKey\": {\n\"Count\": 1,\n\"List\": [{\n\"Key\": 1,\n\"Val\": 42\n}\n]\n}\n,\n";
    const auto user = [](std::string_view uin, std::string_view user_name) {
        return "\"User\": {\n\"Uin\": " + std::string(uin) + ",\n\"UserName\": \"" +
               std::string(user_name) + "\",\n\"NickName\": \"me\",\n\"HeadImgUrl\": \"/h\",\n" +
               "\"Sex\": 1,\n\"Signature\": \"\",\n\"SnsFlag\": 0\n}\n}\n";
    };
    const std::string empty_key = "\"SyncKey\": {\n\"Count\": 0,\n\"List\": []\n}\n,\n";
    const std::string padded = std::string(2000, ' ') + "\"Ret\": 0,\n\"MsgId\": \"0\",\n";
    for (const std::string& answer :
         {head, head + sync_key, head + sync_key + "\"User\": {\n\"Uin\": 12345,\n",
          head + empty_key + user("12345", "@me"), head + sync_key + user("../x", "@me"),
          head + sync_key + user("12345", ""), padded}) {
        {
            std::lock_guard lock(m_mutex);
            m_init_answer = answer;
        }
        EXPECT_FALSE(InitSession(Link(), state)) << answer;
        EXPECT_EQ(state.sync_key.text, "old");
        EXPECT_EQ(state.sync_key.json, "{old}");
        EXPECT_EQ(state.own.UserName, "@old");
    }
    {
        std::lock_guard lock(m_mutex);
        m_init_answer = head + sync_key + user("12345", "@me");
    }
    ASSERT_TRUE(InitSession(Link(), state));
    EXPECT_EQ(state.sync_key.text, "1_42");
    EXPECT_EQ(state.own.UserName, "@me");
    EXPECT_EQ(state.own.Uin, "12345");
}

std::string InitAnswerWithUser(std::string_view sex, std::string_view nick) {
    return "{\n\"ContactList\": [{\n\"Uin\": 0,\n\"UserName\": \"filehelper\",\n"
           "\"NickName\": \"other\",\n\"Sex\": 1,\n\"Signature\": \"x\",\n}\n],\n"
           "\"SyncKey\": {\n\"Count\": 0,\n\"List\": []\n}\n,\n\"User\": {\n\"Uin\": 99,\n"
           "\"UserName\": \"@self\",\n\"NickName\": \"" +
           std::string(nick) + "\",\n\"HeadImgUrl\": \"/h\",\n\"Sex\": " + std::string(sex) +
           ",\n\"Signature\": \"sig?\",\n\"SnsFlag\": 0\n}\n}\n";
}

// The own profile as the one-pass reader takes it from the answer, and as the reference cut
// takes it from the answer's GBK text; nothing where either refuses it.
std::vector<std::optional<OwnProfile>> BothProfiles(const ServiceProfile& profile,
                                                    std::string_view fun, std::string_view answer) {
    std::vector<std::optional<OwnProfile>> both;
    both.push_back(ReadInitAnswer(profile, fun, answer).own);
    OwnProfile own;
    own.Uin = "keep";
    const bool taken = reference::ParseOwnProfile(profile, fun, platform::Utf8ToGbk(answer), own);
    // A refused profile leaves the old one as it was.
    EXPECT_TRUE(taken || (own.Uin == "keep" && own.UserName.empty())) << answer;
    both.push_back(taken ? std::optional<OwnProfile>(own) : std::nullopt);
    return both;
}

TEST(ParseOwnProfileTest, ReadsTheUserAfterTheSyncKey) {
    ServiceProfile profile;
    for (const std::string_view sex : {"0", "2"}) {
        for (const std::optional<OwnProfile>& own :
             BothProfiles(profile, "", InitAnswerWithUser(sex, "Bob"))) {
            ASSERT_TRUE(own.has_value());
            EXPECT_EQ(own->Sex, Gbk("女")) << sex;
            EXPECT_EQ(own->UserName, "@self");
            EXPECT_EQ(own->Uin, "99");
            EXPECT_EQ(own->NickName, "Bob");
            EXPECT_EQ(own->Signature, "sig");  // a "?" stands for an unmappable character
            EXPECT_EQ(own->HeadImgUrl, "https://wx.qq.com/h");
        }
    }
    for (const std::optional<OwnProfile>& own : BothProfiles(
             profile, "2",
             InitAnswerWithUser("1", R"(A<span class=\"emoji emoji1f639\"></span>B \"q\")"))) {
        ASSERT_TRUE(own.has_value());
        EXPECT_EQ(own->Sex, Gbk("男"));
        EXPECT_EQ(own->NickName, "AB \"q\"");
        EXPECT_EQ(own->HeadImgUrl, "https://wx2.qq.com/h");
    }

    for (const std::optional<OwnProfile>& own :
         BothProfiles(profile, "", "{\n\"User\": {\n\"UserName\": \"@x\"\n}\n}")) {
        EXPECT_FALSE(own.has_value());
    }
}

TEST(ParseOwnProfileTest, RefusesAUinThatIsNoNumberAndAHeadImageOffTheHost) {
    ServiceProfile profile;
    const auto answer = [](std::string_view uin, std::string_view head) {
        return "{\n\"SyncKey\": {\n\"Count\": 0,\n\"List\": []\n}\n,\n\"User\": {\n\"Uin\": " +
               std::string(uin) + ",\n\"UserName\": \"@self\",\n\"NickName\": \"n\",\n" +
               "\"HeadImgUrl\": \"" + std::string(head) + "\",\n\"Sex\": 1,\n}\n}\n";
    };
    for (const std::string& uin : std::vector<std::string>{"\"../../../../tmp/x\"", "../x", "",
                                                           "1e5", std::string(21, '1'), "12 34"}) {
        for (const std::optional<OwnProfile>& own : BothProfiles(profile, "", answer(uin, "/h"))) {
            EXPECT_FALSE(own.has_value()) << uin;
        }
    }
    for (const std::optional<OwnProfile>& own :
         BothProfiles(profile, "2", answer(std::string(20, '1'), "/h?x=1"))) {
        ASSERT_TRUE(own.has_value());
        EXPECT_EQ(own->Uin, std::string(20, '1'));
        EXPECT_EQ(own->HeadImgUrl, "https://wx2.qq.com/h?x=1");
    }
    // "@host/x" after the host name would be user info before another host.
    for (const std::string_view head : {"@evil.example/x", "evil.example/x", ".evil", ""}) {
        for (const std::optional<OwnProfile>& own : BothProfiles(profile, "2", answer("1", head))) {
            ASSERT_TRUE(own.has_value()) << head;
            EXPECT_EQ(own->HeadImgUrl, "") << head;
            EXPECT_EQ(own->UserName, "@self");
        }
    }
}

}  // namespace
}  // namespace zelmo::protocol
