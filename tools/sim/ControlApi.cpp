#include "sim/ControlApi.h"

#include <httplib.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <thread>

#include "sim/ModelEndpoint.h"
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

Json ToJson(const LoginInfo& login) {
    return {{"uuid", login.uuid},
            {"desktop", login.desktop},
            {"push_cycle", login.push_cycle},
            {"push_pending", login.push_pending},
            {"pushes", login.pushes},
            {"push_refusals", login.push_refusals},
            {"logins", login.logins},
            {"web_refusals", login.web_refusals}};
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

Json ToJson(const MediaSendRecord& send) {
    return {{"endpoint", send.endpoint},   {"type", send.type},
            {"from", send.from},           {"to", send.to},
            {"media_id", send.media_id},   {"content", send.content},
            {"signature", send.signature}, {"client_msg_id", send.client_msg_id},
            {"local_id", send.local_id},   {"file_name", send.file_name},
            {"size", send.size},           {"ret", send.ret},
            {"at_ms", send.at_ms},         {"msg_id", send.msg_id},
            {"revoked", send.revoked}};
}

Json ToJson(const UploadRecord& upload) {
    return {{"client_media_id", upload.client_media_id},
            {"media_id", upload.media_id},
            {"name", upload.name},
            {"type", upload.type},
            {"media_type", upload.media_type},
            {"to", upload.to},
            {"size", upload.size},
            {"chunks", upload.chunks},
            {"chunks_received", upload.chunks_received},
            {"file_md5", upload.file_md5},
            {"bytes_md5", upload.bytes_md5},
            {"checked", upload.checked},
            {"failed", upload.failed}};
}

Json ToJson(const DeliveryRecord& record) {
    return {{"msg_id", record.msg_id},
            {"from", record.from},
            {"text", record.text},
            {"special", record.special},
            {"queued_ms", record.queued_ms},
            {"first_delivered_ms", record.first_delivered_ms},
            {"deliveries", record.deliveries},
            {"used_up_ms", record.used_up_ms}};
}

// A number given as a JSON number or a decimal string; false for anything else.
bool ReadInteger(const Json& body, const char* key, long long& out) {
    const auto it = body.find(key);
    if (it == body.end()) {
        return false;
    }
    if (it->is_number_integer()) {
        out = it->get<long long>();
        return true;
    }
    if (!it->is_string()) {
        return false;
    }
    const std::string text = it->get<std::string>();
    char* end = nullptr;
    out = std::strtoll(text.c_str(), &end, 10);
    return !text.empty() && end == text.c_str() + text.size();
}

// A retcode or selector given as a string or a number.
std::string ReadCode(const Json& body, const char* key) {
    const auto it = body.find(key);
    if (it == body.end()) {
        return {};
    }
    return it->is_string() ? it->get<std::string>() : it->dump();
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
        {"cut_before_synckey", FaultKind::CutBeforeSyncKey},
        {"cut_body", FaultKind::CutBody},
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
        fault.times = root.value("count", 1);
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
        action("/push/confirm", [this] { simulator.Confirm(); });
        // {"retcode": "1102"}: ends the session as the service does.
        server.Post("/end", [this](const httplib::Request& request, httplib::Response& response) {
            const Json body = Json::parse(request.body, nullptr, false);
            long long retcode = 0;
            if (!body.is_object() || !ReadInteger(body, "retcode", retcode) || retcode <= 0 ||
                retcode > 99999) {
                return Bad(response, "expected {\"retcode\": \"1100|1101|1102\"}");
            }
            simulator.EndSession(static_cast<int>(retcode));
            Ok(response);
        });
        // {"refuse": true}: web-mode logins get the 1203 refusal; desktop mode still works.
        server.Post(
            "/web-login", [this](const httplib::Request& request, httplib::Response& response) {
                const Json body = Json::parse(request.body, nullptr, false);
                if (!body.is_object() || !body.contains("refuse") || !body["refuse"].is_boolean()) {
                    return Bad(response, "expected {\"refuse\": true|false}");
                }
                simulator.SetRefuseWebLogin(body["refuse"].get<bool>());
                Ok(response);
            });
        // {"fails": true}: webwxpushloginurl answers without a uuid.
        server.Post("/push", [this](const httplib::Request& request, httplib::Response& response) {
            const Json body = Json::parse(request.body, nullptr, false);
            if (!body.is_object() || !body.contains("fails") || !body["fails"].is_boolean()) {
                return Bad(response, "expected {\"fails\": true|false}");
            }
            simulator.SetPushLoginFails(body["fails"].get<bool>());
            Ok(response);
        });
        // {"ret": 1205, "count": 3}; count -1 (or "forever") until cleared, 0 clears.
        server.Post("/send-refusal",
                    [this](const httplib::Request& request, httplib::Response& response) {
                        const Json body = Json::parse(request.body, nullptr, false);
                        long long ret = 0;
                        long long count = 1;
                        if (!body.is_object() || !ReadInteger(body, "ret", ret)) {
                            return Bad(response, "expected {\"ret\": 1205, \"count\": N}");
                        }
                        if (body.value("count", Json()) == "forever") {
                            count = -1;
                        } else if (body.contains("count") && !ReadInteger(body, "count", count)) {
                            return Bad(response, "count is a number or \"forever\"");
                        }
                        simulator.RefuseSends(static_cast<int>(ret), count);
                        Ok(response);
                    });
        // {"retcode": "9999", "selector": "0", "count": -1}; an empty retcode clears.
        server.Post("/synccheck", [this](const httplib::Request& request,
                                         httplib::Response& response) {
            const Json body = Json::parse(request.body, nullptr, false);
            long long count = -1;
            if (!body.is_object() || !body.contains("retcode") ||
                (body.contains("count") && !ReadInteger(body, "count", count))) {
                return Bad(response, "expected {\"retcode\": ..., \"selector\": ...}");
            }
            simulator.ForceSyncCheck(ReadCode(body, "retcode"), ReadCode(body, "selector"), count);
            Ok(response);
        });
        server.Post("/messages",
                    [this](const httplib::Request& request, httplib::Response& response) {
                        BulkMessages bulk;
                        if (!BulkFromJsonText(request.body, bulk) || bulk.count == 0) {
                            return Bad(response, "expected {\"count\": N, \"per_second\": R, ...}");
                        }
                        simulator.QueueMessages(bulk);
                        Ok(response);
                    });
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
                             {"ended_retcode", s.ended_retcode},
                             {"desktop", s.desktop},
                             {"login", ToJson(simulator.Login())}});
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
        server.Get("/refused", [this](const httplib::Request&, httplib::Response& response) {
            Json list = Json::array();
            for (const SentMessage& message : simulator.RefusedMessages()) {
                list.push_back(ToJson(message));
            }
            Reply(response, list);
        });
        // Every message put into the news and what became of it; ?list=0 gives the counts
        // alone.
        server.Get(
            "/delivered", [this](const httplib::Request& request, httplib::Response& response) {
                const std::vector<DeliveryRecord> records = simulator.Deliveries();
                std::size_t delivered = 0;
                std::size_t used_up = 0;
                Json list = Json::array();
                const bool with_list = request.get_param_value("list") != "0";
                for (const DeliveryRecord& record : records) {
                    delivered += record.deliveries > 0 ? 1 : 0;
                    used_up += record.used_up_ms >= 0 ? 1 : 0;
                    if (with_list) {
                        list.push_back(ToJson(record));
                    }
                }
                Json answer = {
                    {"queued", records.size()}, {"delivered", delivered}, {"used_up", used_up}};
                if (with_list) {
                    answer["messages"] = std::move(list);
                }
                Reply(response, answer);
            });
        // The media messages sent and the uploads behind them.
        server.Get("/media-sent", [this](const httplib::Request&, httplib::Response& response) {
            Json sends = Json::array();
            for (const MediaSendRecord& send : simulator.MediaSends()) {
                sends.push_back(ToJson(send));
            }
            Json uploads = Json::array();
            for (const UploadRecord& upload : simulator.Uploads()) {
                uploads.push_back(ToJson(upload));
            }
            Reply(response, {{"sends", sends}, {"uploads", uploads}});
        });
        // {"chunk": 2, "ret": -1}: the next upload's third chunk is refused; a negative chunk
        // clears.
        server.Post("/upload-fault",
                    [this](const httplib::Request& request, httplib::Response& response) {
                        const Json body = Json::parse(request.body, nullptr, false);
                        long long chunk = 0;
                        long long ret = -1;
                        if (!body.is_object() || !ReadInteger(body, "chunk", chunk) ||
                            (body.contains("ret") && !ReadInteger(body, "ret", ret))) {
                            return Bad(response, "expected {\"chunk\": N, \"ret\": R}");
                        }
                        simulator.FailUploadChunk(static_cast<int>(chunk), static_cast<int>(ret));
                        Ok(response);
                    });
        // A scripted answer of the model endpoint: the ModelScript fields by name.
        server.Post("/model/answer",
                    [this](const httplib::Request& request, httplib::Response& response) {
                        ModelScript script;
                        if (!ModelScriptFromJsonText(request.body, script)) {
                            return Bad(response, "expected {\"content\": ..., \"status\": ...}");
                        }
                        simulator.QueueModelAnswer(std::move(script));
                        Ok(response);
                    });
        action("/model/clear", [this] { simulator.ClearModelAnswers(); });
        action("/model/end-stalls", [this] { simulator.EndModelStalls(); });
        server.Get("/model/calls", [this](const httplib::Request&, httplib::Response& response) {
            Json list = Json::array();
            for (const ModelCall& call : simulator.ModelCalls()) {
                Json messages = Json::array();
                for (const auto& [role, content] : call.messages) {
                    messages.push_back({{"role", role}, {"content", content}});
                }
                list.push_back({{"model", call.model},
                                {"messages", messages},
                                {"stream", call.stream},
                                {"max_tokens", call.max_tokens},
                                {"authorization", call.authorization},
                                {"valid", call.valid},
                                {"status", call.status},
                                {"at_ms", call.at_ms}});
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
