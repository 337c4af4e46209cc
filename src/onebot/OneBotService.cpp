#include "onebot/OneBotService.h"

#include <algorithm>
#include <cctype>

#include "media/ReceivedMedia.h"
#include "onebot/Auth.h"
#include "onebot/ContactViews.h"
#include "onebot/ReceivedEvents.h"
#include "platform/Encoding.h"
#include "protocol/TextHelpers.h"

namespace zelmo::onebot {

using platform::Json;

namespace {

constexpr std::size_t ACTION_THREADS = 2;
constexpr std::size_t ACTION_QUEUE = 4096;
// A framework that polled or took a webhook post this recently counts as connected.
constexpr std::int64_t CONNECTED_WINDOW_MS = 60000;
constexpr std::string_view USER_AGENT = "OneBot/12 (wechat) Zelmo/0.1";
constexpr std::string_view SUBPROTOCOL = "12.zelmo";
constexpr std::string_view JSON_TYPE = "application/json";

// The media type of a Content-Type value, lower case, without parameters.
std::string MediaType(std::string_view content_type) {
    content_type = content_type.substr(0, content_type.find(';'));
    while (!content_type.empty() && content_type.back() == ' ') {
        content_type.remove_suffix(1);
    }
    while (!content_type.empty() && content_type.front() == ' ') {
        content_type.remove_prefix(1);
    }
    std::string type(content_type);
    for (char& c : type) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return type;
}

std::string Address(const config::ListenAddress& address, int port) {
    const bool v6 = address.host.find(':') != std::string::npos;
    return (v6 ? "[" + address.host + "]" : address.host) + ":" + std::to_string(port);
}

}  // namespace

OneBotService::OneBotService(OneBotParts parts, config::OneBotSettings settings)
    : m_parts(std::move(parts)),
      m_settings(std::move(settings)),
      m_start_unix_ms(m_parts.link.clock.UnixMs()),
      m_ids(m_parts.keys),
      m_maker(m_start_unix_ms),
      m_files(m_parts.files_folder, m_start_unix_ms) {
    if (m_settings.HTTP事件 && !m_settings.HTTP地址.empty()) {
        m_events = std::make_unique<EventBuffer>(
            static_cast<std::size_t>(std::max(1LL, protocol::IntegerValue(m_settings.事件缓冲))));
    }
    m_outbox = std::make_unique<Outbox>(m_parts.sender, m_parts.connection, m_parts.settings,
                                        m_parts.link.clock);
    ActionContext context{m_parts,
                          m_settings,
                          m_ids,
                          *m_outbox,
                          m_memory,
                          m_files,
                          m_received,
                          m_events.get(),
                          m_web,
                          [this](int ms, std::function<void()> task) {
                              if (m_wire) {
                                  m_wire->After(ms, std::move(task));
                              }
                          },
                          [this] { return TransportsGood(); },
                          m_start_unix_ms};
    m_handler = std::make_unique<ActionHandler>(std::move(context));
    m_workers = std::make_unique<ActionWorkers>(ACTION_THREADS, ACTION_QUEUE);
}

OneBotService::~OneBotService() {
    Stop();
}

std::vector<ListenerReport> OneBotService::Start() {
    std::vector<ListenerReport> reports;
    if (!m_settings.启用 || m_wire) {
        return reports;
    }
    {
        std::lock_guard lock(m_publish_mutex);
        m_wire =
            std::make_unique<platform::WireService>(static_cast<platform::WireHandler&>(*this));
    }
    struct Wanted {
        std::string what;
        std::string text;
        bool http;
        bool websocket;
    };
    std::vector<Wanted> wanted;
    const std::string& http = m_settings.HTTP地址;
    const std::string& ws = m_settings.WS地址;
    // One address for both is one listener; port 0 ("any free one") is two.
    if (!http.empty() && http == ws && !http.ends_with(":0")) {
        wanted.push_back({"HTTP+WebSocket", http, true, true});
    } else {
        if (!http.empty()) {
            wanted.push_back({"HTTP", http, true, false});
        }
        if (!ws.empty()) {
            wanted.push_back({"WebSocket", ws, false, true});
        }
    }
    bool good = true;
    for (const Wanted& listener : wanted) {
        ListenerReport report;
        report.what = listener.what;
        config::ListenAddress address;
        if (!config::SplitListenAddress(listener.text, address)) {
            report.address = listener.text;
            report.error = "not host:port";
        } else {
            report.port = m_wire->Listen(address.host, address.port, listener.http,
                                         listener.websocket, &report.error);
            report.address =
                Address(address, report.port == 0 ? std::stoi(address.port) : report.port);
        }
        good = good && report.port != 0;
        Log(report.port != 0
                ? "OneBot " + report.what + " 正在监听 " + report.address
                : "OneBot " + report.what + " 无法监听 " + report.address + "：" + report.error);
        reports.push_back(std::move(report));
    }
    {
        std::lock_guard lock(m_mutex);
        m_listeners_good = good;
        m_listeners = reports;
    }
    std::vector<std::pair<std::string, std::string>> headers = {
        {"User-Agent", std::string(USER_AGENT)},
        {"Sec-WebSocket-Protocol", std::string(SUBPROTOCOL)}};
    if (!m_settings.访问令牌.empty()) {
        headers.emplace_back("Authorization", "Bearer " + m_settings.访问令牌);
    }
    const int retry_ms =
        static_cast<int>(std::max(1LL, protocol::IntegerValue(m_settings.重连间隔)));
    for (const std::string& url : config::SplitUrlList(m_settings.反向WS)) {
        if (!m_wire->Connect(url, headers, retry_ms)) {
            Log("OneBot 反向WS 地址无法使用：" + url);
        }
    }
    for (const std::string& url : config::SplitUrlList(m_settings.Webhook)) {
        WebhookParts parts{
            m_web, m_settings.访问令牌,
            [this](const std::string& request) {
                HandleRequest(request, Transport::Webhook, [this](const std::string& response) {
                    if (!response.starts_with(R"({"status":"ok")")) {
                        Log("OneBot Webhook 的动作失败：" + response.substr(0, 300));
                    }
                });
            },
            [this](std::string_view line) { Log(line); }};
        auto webhook = std::make_unique<Webhook>(url, std::move(parts));
        std::lock_guard lock(m_publish_mutex);
        m_webhooks.push_back(std::move(webhook));
    }
    const long long interval = protocol::IntegerValue(m_settings.心跳间隔);
    if (interval > 0) {
        ScheduleHeartbeat(static_cast<int>(std::min<long long>(interval, INT32_MAX)));
    }
    return reports;
}

void OneBotService::Stop() {
    {
        std::lock_guard lock(m_mutex);
        if (m_stopped) {
            return;
        }
        m_stopped = true;
    }
    // Requests in flight (webhook posts, downloads) end first, then no transport calls in.
    m_web.Stop();
    if (m_wire) {
        m_wire->Stop();
    }
    std::vector<std::unique_ptr<Webhook>> webhooks;
    {
        std::lock_guard lock(m_publish_mutex);
        webhooks.swap(m_webhooks);
    }
    webhooks.clear();
    if (m_events) {
        m_events->Close();
    }
    m_outbox->Close();
    m_workers->Stop();
}

void OneBotService::ScheduleHeartbeat(int interval_ms) {
    m_wire->After(interval_ms, [this, interval_ms] {
        Publish(m_maker.Heartbeat(NowSeconds(), interval_ms));
        ScheduleHeartbeat(interval_ms);
    });
}

void OneBotService::OnMessageItem(std::string_view item) {
    const auto state = m_parts.sessions.Snapshot();
    const ItemContext context{state->own.UserName, state->own.NickName, m_parts.contacts, m_ids,
                              NowSeconds()};
    ItemEvents events = EventsOfItem(item, context, m_maker);
    if (events.message) {
        m_memory.Remember(std::move(*events.message));
    }
    if (!events.file_id.empty()) {
        m_received.Remember(std::move(events.file_id), std::string(item));
    }
    for (const Json& event : events.events) {
        Publish(event);
    }
    if (!events.friend_added.empty()) {
        OnFriendChanged(events.friend_added, true);
    }
}

void OneBotService::OnReceived(const messages::ReceivedEvent& event) {
    if (!event.own) {
        OnMessageItem(event.item);
    }
}

void OneBotService::OnSent(const messages::SentEvent&) {}

void OneBotService::OnMediaSaved(std::string_view msg_id, std::string_view path) {
    const std::string file_id = ReceivedFileId(msg_id);
    std::string name(path.substr(path.rfind('/') + 1));
    if (const std::optional<std::string> item = m_received.Find(file_id)) {
        if (std::optional<media::ReceivedMedia> media = media::ReadReceivedMedia(*item);
            media && !media->FileName.empty()) {
            name = std::move(media->FileName);
        }
    }
    if (!m_files.KeepReceived(file_id, name, path)) {
        Log("OneBot 无法登记收到的文件：" + std::string(path));
    }
}

void OneBotService::OnOnlineChanged(bool online) {
    {
        std::lock_guard lock(m_mutex);
        // Nothing is said before the robot first came online; then every change.
        if ((!m_reported_online && !online) || m_reported_online == online) {
            return;
        }
        m_reported_online = online;
    }
    const std::string self = m_ids.IdOf(m_parts.sessions.Snapshot()->own.UserName);
    const bool good = online && TransportsGood();
    Publish(m_maker.StatusUpdate(NowSeconds(), StatusData(good, online, self)));
}

void OneBotService::OnFriendChanged(std::string_view user_name, bool added) {
    // A notice may come before the contact list's change has put the contact in the store.
    const std::optional<contacts::ContactRecord> contact = FindContact(m_parts.contacts, user_name);
    if (user_name.empty() ||
        (contact ? !IsPerson(*contact) : user_name.find("@@") != std::string_view::npos)) {
        return;
    }
    {
        std::lock_guard lock(m_mutex);
        const std::string name(user_name);
        if (added && !m_friends_added.insert(name).second) {
            return;
        }
        if (!added) {
            m_friends_added.erase(name);
        }
    }
    const std::string self = m_ids.IdOf(m_parts.sessions.Snapshot()->own.UserName);
    Publish(FriendChangeEvent(m_maker, NowSeconds(), self, m_ids.IdOf(user_name), added));
}

void OneBotService::Publish(const Json& event) {
    std::string text = platform::WriteJson(event);
    if (m_events) {
        m_events->Push(text);
    }
    std::lock_guard lock(m_publish_mutex);
    for (const auto& webhook : m_webhooks) {
        webhook->Push(text);
    }
    if (m_wire) {
        m_wire->Broadcast(std::move(text));
    }
}

bool OneBotService::TakesOverReplies() const {
    if (!m_settings.启用 || !m_settings.接管回复) {
        return false;
    }
    if (OpenConnections() > 0) {
        return true;
    }
    const std::int64_t since = m_parts.link.clock.UnixMs() - CONNECTED_WINDOW_MS;
    if (m_last_http_ms.load() > since) {
        return true;
    }
    std::lock_guard lock(m_publish_mutex);
    return std::any_of(m_webhooks.begin(), m_webhooks.end(),
                       [since](const auto& webhook) { return webhook->LastDeliveredMs() > since; });
}

void OneBotService::HandleRequest(std::string_view text, Transport transport,
                                  std::function<void(std::string response)> done) {
    m_handler->Handle(text, transport, std::move(done));
}

std::size_t OneBotService::OpenConnections() const {
    return m_wire ? m_wire->OpenConnections() : 0;
}

std::vector<ListenerReport> OneBotService::Listeners() const {
    std::lock_guard lock(m_mutex);
    return m_listeners;
}

int OneBotService::Admit(const platform::WireRequestHead& head) {
    if (!Authorized(m_settings.访问令牌, head.authorization, head.target)) {
        return 401;
    }
    const std::string_view path = head.target.substr(0, head.target.find('?'));
    if (path != "/") {
        return 404;
    }
    if (head.upgrade) {
        return 0;
    }
    if (head.method != "POST") {
        return 405;
    }
    if (MediaType(head.content_type) != JSON_TYPE) {
        return 415;
    }
    return 0;
}

void OneBotService::OnHttp(platform::WireHttpRequest request, platform::WireReplier reply) {
    m_last_http_ms.store(m_parts.link.clock.UnixMs());
    const std::string content_type =
        request.content_type.empty() ? std::string(JSON_TYPE) : request.content_type;
    auto answer = [reply, content_type](std::string response) {
        reply(platform::WireHttpReply{200, content_type, std::move(response)});
    };
    if (request.too_large) {
        answer(ResponseText(Failed(BAD_REQUEST, "the body is over 32 MB"), std::nullopt));
        return;
    }
    auto body = std::make_shared<std::string>(std::move(request.body));
    const bool queued =
        m_workers->Post([this, body, answer] { HandleRequest(*body, Transport::Http, answer); });
    if (!queued) {
        answer(ResponseText(Failed(BUSY, "too many requests wait"), std::nullopt));
    }
}

std::string OneBotService::OnOpen(platform::WireConnectionId, bool outgoing) {
    Log(outgoing ? "OneBot 已连上反向WS" : "OneBot 有框架连上了 WebSocket");
    return platform::WriteJson(m_maker.Connect(NowSeconds(), m_parts.version));
}

void OneBotService::OnFrame(platform::WireConnectionId id, std::string text, bool binary) {
    if (binary) {
        m_wire->Send(id, ResponseText(Failed(BAD_REQUEST,
                                             "MessagePack frames are not "
                                             "supported; send JSON text frames"),
                                      std::nullopt));
        return;
    }
    auto frame = std::make_shared<std::string>(std::move(text));
    const bool queued = m_workers->Post([this, id, frame] {
        HandleRequest(*frame, Transport::WebSocket,
                      [this, id](std::string response) { m_wire->Send(id, std::move(response)); });
    });
    if (!queued) {
        m_wire->Send(id, ResponseText(Failed(BUSY, "too many requests wait"), std::nullopt));
    }
}

void OneBotService::OnClose(platform::WireConnectionId, std::string_view reason) {
    Log("OneBot 连接已断开：" + std::string(reason));
}

void OneBotService::Log(std::string_view utf8_line) const {
    if (m_parts.log) {
        m_parts.log(platform::Utf8ToGbk(utf8_line));
    }
}

double OneBotService::NowSeconds() const {
    return static_cast<double>(m_parts.link.clock.UnixMs()) / 1000.0;
}

bool OneBotService::TransportsGood() const {
    std::lock_guard lock(m_mutex);
    return m_listeners_good;
}

}  // namespace zelmo::onebot
