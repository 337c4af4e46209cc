#include "SimTestClient.h"

#include <nlohmann/json.hpp>

#include "sim/DesktopLogin.h"
#include "sim/GzipText.h"

namespace simtest {

std::string Answer::Header(const std::string& name) const {
    const auto it = headers.find(name);
    return it == headers.end() ? std::string() : it->second;
}

std::string Answer::Text() const {
    return Gzipped() ? Gunzip(body) : body;
}

bool HasViolation(const sim::Simulator& simulator, const std::string& part) {
    for (const std::string& text : simulator.Violations()) {
        if (text.find(part) != std::string::npos) {
            return true;
        }
    }
    return false;
}

std::string Gunzip(const std::string& data) {
    return sim::GzipDecompress(data);
}

sim::SimulatorOptions Harness::Options(int hold_ms) {
    sim::SimulatorOptions options;
    options.login_poll_hold_ms = hold_ms;
    options.synccheck_hold_ms = hold_ms;
    return options;
}

Harness::Harness(sim::SimulatorOptions options)
    : simulator([&] {
          options.workdir = dir.Path();
          return options;
      }()) {}

Answer Harness::Send(const std::string& host, const std::string& method, const std::string& target,
                     const std::string& body, const std::string& cookie, bool gzip,
                     const httplib::Headers& headers) const {
    httplib::SSLClient client(host, simulator.Port());
    client.set_hostname_addr_map({{host, "127.0.0.1"}});
    client.set_ca_cert_path(simulator.CaFile());
    client.enable_server_certificate_verification(true);
    client.set_decompress(false);
    client.set_read_timeout(std::chrono::seconds(20));
    httplib::Request request;
    request.method = method;
    request.path = target;
    request.body = body;
    request.set_header("Accept-Encoding", gzip ? "gzip" : "identity");
    request.set_header("Content-Type", "application/x-www-form-urlencoded");
    if (!cookie.empty()) {
        request.set_header("Cookie", cookie);
    }
    // A header given replaces the default of its name.
    for (const auto& [key, value] : headers) {
        request.headers.erase(key);
    }
    for (const auto& [key, value] : headers) {
        request.set_header(key, value);
    }
    Answer answer;
    if (auto result = client.send(request)) {
        answer.status = result->status;
        answer.headers = result->headers;
        answer.body = result->body;
    }
    return answer;
}

std::string Harness::SkeyQuery() const {
    return "skey=%40" + simulator.Session().skey.substr(1);
}

std::string Harness::Envelope() const {
    const sim::SessionInfo s = simulator.Session();
    return "{\"BaseRequest\":{\"Uin\":" + s.uin + ",\"Sid\":\"" + s.sid + "\",\"Skey\":\"" +
           s.skey + "\",\"DeviceID\":\"e402715839261573\"}";
}

std::string Harness::Path(const std::string& name, bool with_ticket) const {
    std::string path = "/cgi-bin/mmwebwx-bin/" + name + "?r=1&" + SkeyQuery();
    if (with_ticket) {
        path += "&pass_ticket=" + simulator.Session().pass_ticket;
    }
    return path;
}

httplib::Headers Harness::DesktopHeaders() {
    return {{"client-version", std::string(sim::DESKTOP_CLIENT_VERSION)},
            {"extspam", std::string(sim::DESKTOP_EXTSPAM)}};
}

std::string Harness::JsLoginTarget(bool desktop) {
    return "/jslogin?appid=wx782c26e4c19acffb&redirect_uri=https%3A%2F%2Fwx.qq.com%2Fcgi-bin%2F"
           "mmwebwx-bin%2Fwebwxnewloginpage" +
           std::string(desktop ? "%3Fmod%3Ddesktop" : "") + "&fun=new&lang=zh_CN";
}

std::string Harness::Login(bool desktop) {
    const std::string login = simulator.HostFor("login");
    const Answer js = Send(login, "GET", JsLoginTarget(desktop));
    const std::string uuid = simulator.CurrentUuid();
    if (js.body.find(uuid) == std::string::npos || uuid.empty()) {
        return {};
    }
    simulator.Scan();
    simulator.Confirm();
    return FinishLogin(desktop ? DesktopHeaders() : httplib::Headers{});
}

std::string Harness::FinishLogin(const httplib::Headers& headers) {
    const Answer poll =
        Send(simulator.HostFor("login"), "GET",
             "/cgi-bin/mmwebwx-bin/login?uuid=" + simulator.CurrentUuid() + "&tip=0");
    const std::size_t start = poll.body.find("https://");
    if (start == std::string::npos) {
        return {};
    }
    const std::string url = poll.body.substr(start, poll.body.rfind('"') - start);
    const std::string target = url.substr(url.find('/', 8)) + "&fun=new";
    const Answer redirect = Send(Web(), "GET", target, "", "", true, headers);
    std::string cookie;
    for (const auto& [key, value] : redirect.headers) {
        if (key == "Set-Cookie") {
            cookie += (cookie.empty() ? "" : "; ") + value.substr(0, value.find(';'));
        }
    }
    return cookie;
}

std::string Harness::InitBody() const {
    const sim::SessionInfo s = simulator.Session();
    return "{\"BaseRequest\":{\"Uin\":\"" + s.uin + "\",\"Sid\":\"" + s.sid + "\",\"Skey\":\"" +
           s.skey + "\",\"DeviceID\":\"e402715839261573\"}}";
}

std::string Harness::LoginAndInit(std::string& cookie) {
    cookie = Login();
    return Send(Web(), "post", Path("webwxinit"), InitBody(), cookie).Text();
}

std::string SyncKeyJson(const std::string& answer) {
    const std::size_t start = answer.find("\"SyncKey\": ");
    if (start == std::string::npos) {
        return {};
    }
    // The answer is valid JSON, so the test may parse what the client cuts by markers.
    const auto root = nlohmann::json::parse(answer, nullptr, false);
    if (root.is_discarded()) {
        return {};
    }
    return root["SyncKey"].dump();
}

std::string SyncKeyText(const std::string& answer) {
    const auto root = nlohmann::json::parse(answer, nullptr, false);
    if (root.is_discarded()) {
        return {};
    }
    std::string text;
    for (const auto& item : root["SyncKey"]["List"]) {
        text += (text.empty() ? "" : "%7C") + std::to_string(item["Key"].get<int>()) + "_" +
                std::to_string(item["Val"].get<long long>());
    }
    return text;
}

}  // namespace simtest
