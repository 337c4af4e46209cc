#include "sim/ControlApi.h"

#include <httplib.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <thread>

#include "sim/Scenario.h"
#include "sim/Simulator.h"

namespace sim {
namespace {

using Json = nlohmann::json;

Json ToJson(const RecordedRequest& request) {
    Json headers = Json::array();
    for (const auto& [key, value] : request.headers) {
        headers.push_back(Json::array({key, value}));
    }
    return {{"method", request.method}, {"host", request.host},   {"sni", request.sni},
            {"path", request.path},     {"query", request.query}, {"body", request.body},
            {"cookie", request.cookie}, {"headers", headers},     {"at_ms", request.at_ms}};
}

Json ToJson(const SentMessage& message) {
    return {{"from", message.from},
            {"to", message.to},
            {"content", message.content},
            {"type", message.type},
            {"client_msg_id", message.client_msg_id},
            {"local_id", message.local_id},
            {"ret", message.ret},
            {"at_ms", message.at_ms}};
}

void Reply(httplib::Response& response, const Json& value) {
    // Replace invalid UTF-8 from recorded bodies instead of failing the whole answer.
    response.set_content(value.dump(1, ' ', false, Json::error_handler_t::replace),
                         "application/json");
}

void Ok(httplib::Response& response) {
    Reply(response, {{"ok", true}});
}

void Bad(httplib::Response& response, const std::string& why) {
    response.status = 400;
    Reply(response, {{"ok", false}, {"error", why}});
}

}  // namespace

bool FaultFromJsonText(std::string_view json_text, Fault& fault) {
    const Json root = Json::parse(json_text, nullptr, false);
    if (!root.is_object()) {
        return false;
    }
    static const std::pair<std::string_view, FaultKind> kinds[] = {
        {"none", FaultKind::None},
        {"delay", FaultKind::Delay},
        {"reset", FaultKind::Reset},
        {"empty", FaultKind::Empty200},
        {"http500", FaultKind::Http500},
        {"truncated_gzip", FaultKind::TruncatedGzip},
        {"invalid_gzip", FaultKind::InvalidGzip},
        {"garbage", FaultKind::Garbage},
        {"huge", FaultKind::Huge},
    };
    const std::string kind = root.value("kind", std::string());
    bool known = false;
    for (const auto& [name, value] : kinds) {
        if (name == kind) {
            fault.kind = value;
            known = true;
        }
    }
    if (!known) {
        return false;
    }
    try {
        fault.delay_ms = root.value("delay_ms", 0);
        fault.sticky = root.value("sticky", false);
        fault.huge_bytes = root.value("huge_bytes", fault.huge_bytes);
    } catch (const std::exception&) {
        return false;
    }
    return true;
}

struct ControlApi::Impl {
    Simulator& simulator;
    httplib::Server server;
    std::thread thread;
    int port = -1;

    explicit Impl(Simulator& owner) : simulator(owner) {}

    void Routes() {
        const auto action = [this](const char* path, auto call) {
            server.Post(path, [call](const httplib::Request&, httplib::Response& response) {
                call();
                Ok(response);
            });
        };
        action("/scan", [this] { simulator.Scan(); });
        action("/confirm", [this] { simulator.Confirm(); });
        action("/expire", [this] { simulator.ExpireCode(); });
        action("/logout", [this] { simulator.EndSession(1100); });
        action("/invalidate", [this] { simulator.EndSession(1101); });
        action("/resume", [this] { simulator.ResumeSession(); });
        action("/faults/clear", [this] { simulator.ClearFaults(); });
        server.Post("/message",
                    [this](const httplib::Request& request, httplib::Response& response) {
                        MessageSpec message;
                        if (!MessageFromJsonText(request.body, message)) {
                            return Bad(response, "expected a message object");
                        }
                        simulator.DeliverMessage(message);
                        Ok(response);
                    });
        server.Post("/contact",
                    [this](const httplib::Request& request, httplib::Response& response) {
                        ContactSpec contact;
                        if (!ContactFromJsonText(request.body, contact)) {
                            return Bad(response, "expected a contact object");
                        }
                        simulator.ChangeContact(contact);
                        Ok(response);
                    });
        server.Post("/contact/delete", [this](const httplib::Request& request,
                                              httplib::Response& response) {
            const Json body = Json::parse(request.body, nullptr, false);
            if (!body.is_object() || !body.contains("who") || !body["who"].is_string()) {
                return Bad(response, "expected {\"who\": ...}");
            }
            simulator.DeleteContact(body["who"].get<std::string>());
            Ok(response);
        });
        server.Post("/fault", [this](const httplib::Request& request, httplib::Response& response) {
            const Json body = Json::parse(request.body, nullptr, false);
            Fault fault;
            if (!body.is_object() || !body.contains("path") || !body["path"].is_string() ||
                !FaultFromJsonText(request.body, fault)) {
                return Bad(response, "expected {\"path\": ..., \"kind\": ...}");
            }
            simulator.SetFault(body["path"].get<std::string>(), fault);
            Ok(response);
        });
        server.Get("/session", [this](const httplib::Request&, httplib::Response& response) {
            const SessionInfo s = simulator.Session();
            Reply(response, {{"uuid", simulator.CurrentUuid()},
                             {"fun", s.fun},
                             {"uin", s.uin},
                             {"sid", s.sid},
                             {"skey", s.skey},
                             {"pass_ticket", s.pass_ticket},
                             {"user_name", s.user_name},
                             {"device_id", s.device_id},
                             {"logged_in", s.logged_in},
                             {"ended_retcode", s.ended_retcode}});
        });
        server.Get("/requests", [this](const httplib::Request&, httplib::Response& response) {
            Json list = Json::array();
            for (const RecordedRequest& request : simulator.Requests()) {
                list.push_back(ToJson(request));
            }
            Reply(response, list);
        });
        // Blocks until a request whose path holds `path` has arrived `count` times, so a
        // script or test in another process need not poll.
        server.Get("/wait", [this](const httplib::Request& request, httplib::Response& response) {
            const std::string path = request.get_param_value("path");
            const long count = std::strtol(request.get_param_value("count").c_str(), nullptr, 10);
            const long timeout_ms =
                std::strtol(request.get_param_value("timeout_ms").c_str(), nullptr, 10);
            if (path.empty() || timeout_ms <= 0) {
                Bad(response, "needs path and timeout_ms");
                return;
            }
            const bool arrived =
                simulator.WaitForRequests(path, static_cast<std::size_t>(std::max(count, 1L)),
                                          std::chrono::milliseconds(std::min(timeout_ms, 600000L)));
            Reply(response, {{"ok", arrived}});
        });
        server.Get("/sent", [this](const httplib::Request&, httplib::Response& response) {
            Json list = Json::array();
            for (const SentMessage& message : simulator.SentMessages()) {
                list.push_back(ToJson(message));
            }
            Reply(response, list);
        });
        server.Get("/violations", [this](const httplib::Request&, httplib::Response& response) {
            Reply(response, simulator.Violations());
        });
        server.Get("/contacts", [this](const httplib::Request&, httplib::Response& response) {
            Json list = Json::array();
            for (const ContactInfo& contact : simulator.Contacts()) {
                list.push_back({{"id", contact.id},
                                {"user_name", contact.user_name},
                                {"nick_name", contact.nick_name},
                                {"is_group", contact.is_group}});
            }
            Reply(response, list);
        });
    }
};

ControlApi::ControlApi(Simulator& simulator) : m_impl(std::make_unique<Impl>(simulator)) {}

ControlApi::~ControlApi() {
    Stop();
}

bool ControlApi::Start(int port) {
    m_impl->Routes();
    m_impl->port = port == 0 ? m_impl->server.bind_to_any_port("127.0.0.1")
                             : (m_impl->server.bind_to_port("127.0.0.1", port) ? port : -1);
    if (m_impl->port < 0) {
        return false;
    }
    m_impl->thread = std::thread([this] { m_impl->server.listen_after_bind(); });
    return true;
}

int ControlApi::Port() const {
    return m_impl->port;
}

void ControlApi::Stop() {
    m_impl->server.stop();
    if (m_impl->thread.joinable()) {
        m_impl->thread.join();
    }
}

}  // namespace sim
