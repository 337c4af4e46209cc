#include "sim/Simulator.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "sim/ControlApi.h"
#include "sim/MediaSamples.h"
#include "sim/QrPng.h"
#include "sim/ServiceProfile.h"
#include "sim/SimulatorImpl.h"
#include "sim/Tokens.h"

namespace sim {
namespace {

constexpr std::uint64_t MSG_ID_BASE = 1000000000000000000ULL;

bool ReadFile(const std::string& path, std::string& out) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return false;
    }
    std::ostringstream buffer;
    buffer << in.rdbuf();
    out = buffer.str();
    return true;
}

void ReplaceAll(std::string& text, std::string_view from, std::string_view to) {
    for (std::size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size()) {
        text.replace(at, from.size(), to);
    }
}

// What a traffic line shows of an incoming message.
std::string TrafficText(const MessageSpec& message) {
    const auto labelled = [&message](const std::string& label) {
        return message.text.empty() ? label : label + " " + message.text;
    };
    switch (message.kind) {
        case MessageKind::Text:
            return message.text;
        case MessageKind::Picture:
            return "(picture)";
        case MessageKind::Voice:
            return "(voice)";
        case MessageKind::Video:
            return "(video)";
        case MessageKind::Sticker:
            return "(sticker)";
        case MessageKind::App:
            return labelled("(link)");
        case MessageKind::Article:
            return labelled("(article)");
        case MessageKind::File:
            return labelled("(file)");
        case MessageKind::Card:
            return "(contact card)";
        case MessageKind::Location:
            return labelled("(location)");
        case MessageKind::VerifyRequest:
            return labelled("(friend request)");
        case MessageKind::Recall:
            return "(recalled a message)";
        case MessageKind::StatusNotify:
            return "(status)";
        case MessageKind::SystemNotice:
            if (message.notice.empty()) {
                return labelled("(system)");
            }
            return "(system) " + message.notice + " " + message.actor + " " + message.target;
    }
    return message.text;
}

}  // namespace

// --- Impl helpers ---

std::int64_t Simulator::Impl::NowMs() const {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                 started)
        .count();
}

std::int64_t Simulator::Impl::UnixNow() const {
    return base_unix + NowMs() / 1000;
}

void Simulator::Impl::ViolationLocked(std::string text) {
    violations.push_back(std::move(text));
}

void Simulator::Impl::StartLoginCycleLocked(bool desktop) {
    uuid = RandomUuid(random);
    login = Login::Waiting;
    cycle_desktop = desktop;
    cycle_push = false;
    uuid_issued_ms = NowMs();
    scan_reported = false;
    ticket.clear();
    second_ticket.clear();
    redirect_url.clear();
    state_changed.notify_all();
}

void Simulator::Impl::ScanLocked() {
    if (login != Login::Waiting && login != Login::Scanned) {
        return;
    }
    // The phone may scan the same code again: the next poll answers 201 once more.
    login = Login::Scanned;
    scan_reported = false;
    scanned_ms = NowMs();
    state_changed.notify_all();
}

void Simulator::Impl::ConfirmLocked() {
    if (login != Login::Waiting && login != Login::Scanned) {
        return;
    }
    login = Login::Confirmed;
    ticket = RandomTicket(random);
    redirect_url = "https://" + web_variant +
                   "/cgi-bin/mmwebwx-bin/webwxnewloginpage?ticket=" + ticket + "&uuid=" + uuid +
                   "&lang=zh_CN&scan=" + std::to_string(UnixNow());
    state_changed.notify_all();
}

void Simulator::Impl::ExpireLocked() {
    if (login == Login::None || login == Login::Done) {
        return;
    }
    login = Login::Expired;
    state_changed.notify_all();
}

SyncKeyList Simulator::Impl::SyncKeyFor(std::uint64_t seq) const {
    const auto step = static_cast<std::int64_t>(seq);
    return {{1, key_base1 + step}, {2, key_base2 + step}, {3, key_base3}, {1000, base_unix + step}};
}

bool Simulator::Impl::SeqOfSyncKey(const SyncKeyList& key, std::uint64_t& seq) const {
    if (key.size() != 4 || key[0].first != 1) {
        return false;
    }
    const std::int64_t step = key[0].second - key_base1;
    if (step < 0 || static_cast<std::uint64_t>(step) > LastSeqLocked()) {
        return false;
    }
    seq = static_cast<std::uint64_t>(step);
    return key == SyncKeyFor(seq);
}

void Simulator::Impl::PushNewsLocked(News item) {
    item.seq = next_seq++;
    news.push_back(std::move(item));
    state_changed.notify_all();
}

const ContactSpec* Simulator::Impl::FindContactLocked(std::string_view who) const {
    for (const ContactSpec& contact : contacts) {
        if (contact.user_name == who || contact.id == who) {
            return &contact;
        }
    }
    for (const ContactSpec& contact : contacts) {
        if (contact.nick_name == who) {
            return &contact;
        }
    }
    return nullptr;
}

std::string Simulator::Impl::UserNameOfLocked(std::string_view who) const {
    if (who == "self") {
        return scenario.account.user_name;
    }
    if (const ContactSpec* contact = FindContactLocked(who)) {
        return contact->user_name;
    }
    for (const ContactSpec& group : contacts) {
        for (const ContactSpec& member : group.members) {
            if (member.user_name == who || member.id == who || member.nick_name == who) {
                return member.user_name;
            }
        }
    }
    if (!who.empty() && who.front() == '@') {
        return std::string(who);
    }
    return who.empty() ? std::string() : UserNameFor(who, false);
}

OwnAccount Simulator::Impl::AccountLocked() const {
    OwnAccount account;
    account.uin = scenario.account.uin;
    account.user_name = scenario.account.user_name;
    account.nick_name = scenario.account.nick_name;
    account.sex = scenario.account.sex;
    account.signature = scenario.account.signature;
    return account;
}

std::string Simulator::Impl::DisplayNameLocked(std::string_view who) const {
    const ContactSpec* contact = FindContactLocked(who);
    return contact != nullptr ? contact->nick_name : std::string(who);
}

std::size_t Simulator::Impl::DeliverLocked(const MessageSpec& incoming) {
    MessageParties parties;
    const std::string own = scenario.account.user_name;
    std::string from_name = incoming.from;
    if (from_name.empty()) {
        const auto first = std::find_if(contacts.begin(), contacts.end(),
                                        [](const ContactSpec& c) { return !c.is_group; });
        from_name = first == contacts.end() ? "stranger" : first->id;
    }
    parties.from = UserNameOfLocked(from_name);
    parties.to = incoming.to.empty() ? own : UserNameOfLocked(incoming.to);
    parties.member = incoming.member.empty() ? std::string() : UserNameOfLocked(incoming.member);
    parties.own_user_name = own;
    parties.short_link_host = options.short_link_host;
    parties.msg_id = std::to_string(MSG_ID_BASE + (next_msg_id++ * 7919) + (random() % 7000));
    parties.create_time = UnixNow();
    parties.hex_token = RandomHex(random, 128);
    const std::string shown = incoming.target.empty() ? from_name : incoming.target;
    const ContactSpec* shown_contact = FindContactLocked(shown);
    parties.card_user_name =
        shown_contact != nullptr ? shown_contact->user_name : UserNameFor(shown, false);
    parties.card_nick_name = shown_contact != nullptr ? shown_contact->nick_name : shown;
    if (incoming.kind == MessageKind::VerifyRequest && shown_contact == nullptr) {
        parties.card_nick_name = incoming.actor.empty() ? shown : incoming.actor;
    }
    if (options.traffic) {
        std::string shown = TrafficText(incoming);
        std::replace(shown.begin(), shown.end(), '\n', ' ');
        options.traffic(
            "-> " + DisplayNameLocked(from_name) +
            (incoming.member.empty() ? "" : " / " + DisplayNameLocked(incoming.member)) + ": " +
            shown);
    }
    if (incoming.kind == MessageKind::Recall) {
        // As on the service, a sender takes back the last message they sent.
        const auto last = std::find_if(
            deliveries.rbegin(), deliveries.rend(),
            [&parties](const DeliveryRecord& delivered) { return delivered.from == parties.from; });
        if (last != deliveries.rend()) {
            parties.recalled_msg_id = last->msg_id;
        }
    }
    News item;
    item.is_message = true;
    item.selector = "2";
    item.message = BuildMessage(incoming, parties, options.era);
    if (!MediaSample(incoming.kind).empty()) {
        media_messages[item.message.msg_id] = {incoming.kind, item.message.from,
                                               item.message.media_id, item.message.file_name};
    }
    item.record = deliveries.size();
    DeliveryRecord record;
    record.msg_id = item.message.msg_id;
    record.from = parties.from;
    record.text = incoming.text;
    record.queued_ms = NowMs();
    deliveries.push_back(std::move(record));
    PushNewsLocked(std::move(item));
    return deliveries.size() - 1;
}

std::int64_t Simulator::Impl::RunBulksLocked(std::int64_t now) {
    std::int64_t next_due = -1;
    for (Bulk& bulk : bulks) {
        const BulkMessages& order = bulk.order;
        while (bulk.next < order.count) {
            const std::int64_t due =
                bulk.start_ms + (order.per_second > 0
                                     ? static_cast<std::int64_t>(static_cast<double>(bulk.next) *
                                                                 1000.0 / order.per_second)
                                     : 0);
            if (due > now) {
                next_due = next_due < 0 ? due : std::min(next_due, due);
                break;
            }
            const std::size_t number = bulk.next + 1;
            const bool special = order.special_every > 0 && number % order.special_every == 0;
            MessageSpec one = order.message;
            if (special) {
                one.text = order.special_text;
            }
            ReplaceAll(one.text, "{n}", std::to_string(number));
            if (!order.senders.empty()) {
                one.from = order.senders[bulk.next % order.senders.size()];
            }
            deliveries[DeliverLocked(one)].special = special;
            ++bulk.next;
        }
    }
    std::erase_if(bulks, [](const Bulk& bulk) { return bulk.next >= bulk.order.count; });
    return next_due;
}

const SessionInfo* Simulator::Impl::SessionOfCookiesLocked(std::string_view cookie) const {
    const auto matches = [&](const SessionInfo& known) {
        return known.logged_in && CookieValue(cookie, "wxuin") == known.uin &&
               CookieValue(cookie, "wxsid") == known.sid &&
               CookieValue(cookie, "webwx_data_ticket") == known.data_ticket;
    };
    if (matches(session)) {
        return &session;
    }
    for (const SessionInfo& past : past_sessions) {
        if (matches(past)) {
            return &past;
        }
    }
    return nullptr;
}

void Simulator::Impl::ChangeContactLocked(const ContactSpec& change) {
    ContactSpec updated = change;
    std::vector<ContactSpec> one{updated};
    auto existing = std::find_if(contacts.begin(), contacts.end(), [&](const ContactSpec& c) {
        return (!change.user_name.empty() && c.user_name == change.user_name) ||
               (!change.id.empty() && c.id == change.id);
    });
    News item;
    if (existing != contacts.end()) {
        one[0].user_name = existing->user_name;
        one[0].id = existing->id;
        item.selector = "4";
    } else {
        item.selector = "6";
    }
    AssignUserNames(one);
    if (existing != contacts.end()) {
        *existing = one[0];
    } else {
        contacts.push_back(one[0]);
    }
    item.change.contact = one[0];
    PushNewsLocked(std::move(item));
}

void Simulator::Impl::DeleteContactLocked(std::string_view who) {
    const ContactSpec* found = FindContactLocked(who);
    if (found == nullptr) {
        return;
    }
    News item;
    item.selector = "6";
    item.change.deleted = true;
    item.change.contact = *found;
    const std::string name = found->user_name;
    std::erase_if(contacts, [&](const ContactSpec& c) { return c.user_name == name; });
    PushNewsLocked(std::move(item));
}

void Simulator::Impl::EndSessionLocked(int retcode) {
    session.ended_retcode = retcode;
    state_changed.notify_all();
}

void Simulator::Impl::RenameAtLoginLocked() {
    if (options.rename_nickname_share > 0) {
        std::vector<ContactSpec*> friends;
        for (ContactSpec& contact : contacts) {
            if (!contact.is_group && contact.contact_flag == 1) {
                friends.push_back(&contact);
            }
        }
        std::shuffle(friends.begin(), friends.end(), random);
        const auto changes = static_cast<std::size_t>(std::lround(
            static_cast<double>(friends.size()) * std::min(options.rename_nickname_share, 1.0)));
        for (std::size_t i = 0; i < changes; ++i) {
            friends[i]->nick_name += "~" + std::to_string(random() % 1000);
        }
    }
    if (!options.rename_at_login) {
        return;
    }
    // One new name per old one: a member who is a friend stays one person.
    std::map<std::string, std::string> renamed;
    const auto rename = [&](std::string& user_name, bool group) {
        auto [it, added] = renamed.try_emplace(user_name);
        if (added) {
            it->second = (group ? "@@" : "@") + RandomHex(random, 64);
        }
        user_name = it->second;
    };
    rename(scenario.account.user_name, false);
    for (ContactSpec& contact : contacts) {
        rename(contact.user_name, contact.is_group);
        for (ContactSpec& member : contact.members) {
            rename(member.user_name, false);
        }
    }
    for (auto& [old_name, now] : renamed_to) {
        if (const auto next = renamed.find(now); next != renamed.end()) {
            now = next->second;
        }
    }
    renamed_to.insert(renamed.begin(), renamed.end());
    for (News& item : news) {
        if (!item.is_message) {
            ContactSpec& changed = item.change.contact;
            rename(changed.user_name, changed.is_group);
            for (ContactSpec& member : changed.members) {
                rename(member.user_name, false);
            }
            continue;
        }
        MessageObject& message = item.message;
        for (const auto& [old_name, new_name] : renamed) {
            for (std::string* text :
                 {&message.from, &message.to, &message.content, &message.status_notify_user_name}) {
                ReplaceAll(*text, old_name, new_name);
            }
        }
    }
}

void Simulator::Impl::RunScheduler() {
    std::unique_lock lock(mutex);
    while (!stopping) {
        const std::int64_t now = NowMs();
        std::int64_t due = -1;
        const auto consider = [&](std::int64_t at) {
            if (due < 0 || at < due) {
                due = at;
            }
        };
        if (login == Login::Waiting && options.auto_scan_ms >= 0) {
            consider(uuid_issued_ms + options.auto_scan_ms);
        }
        if (login == Login::Scanned && options.auto_confirm_ms >= 0) {
            consider(scanned_ms + options.auto_confirm_ms);
        }
        if (session.logged_in && next_event < scenario.events.size()) {
            consider(session_start_ms + scenario.events[next_event].at_ms);
        }
        const bool ends_after_login = session.logged_in && session.ended_retcode == 0 &&
                                      session_init_ms >= 0 &&
                                      options.end_session_after_login_ms >= 0;
        if (ends_after_login) {
            consider(session_init_ms + options.end_session_after_login_ms);
        }
        // Due bulk messages go out here at once; what remains is in the future.
        if (const std::int64_t bulk_due = RunBulksLocked(now); bulk_due >= 0) {
            consider(bulk_due);
        }
        if (due >= 0 && due <= now) {
            if (login == Login::Waiting && options.auto_scan_ms >= 0 &&
                uuid_issued_ms + options.auto_scan_ms <= now) {
                ScanLocked();
            } else if (login == Login::Scanned && options.auto_confirm_ms >= 0 &&
                       scanned_ms + options.auto_confirm_ms <= now) {
                ConfirmLocked();
            } else if (ends_after_login &&
                       session_init_ms + options.end_session_after_login_ms <= now) {
                session_init_ms = -1;
                EndSessionLocked(options.end_session_retcode);
            } else if (session.logged_in && next_event < scenario.events.size()) {
                const ScenarioEvent event = scenario.events[next_event++];
                switch (event.kind) {
                    case ScenarioEvent::Kind::Message:
                        DeliverLocked(event.message);
                        break;
                    case ScenarioEvent::Kind::Contact:
                        ChangeContactLocked(event.contact);
                        break;
                    case ScenarioEvent::Kind::Delete:
                        DeleteContactLocked(event.who);
                        break;
                    case ScenarioEvent::Kind::EndSession:
                        EndSessionLocked(event.retcode);
                        break;
                }
            }
            continue;
        }
        if (due < 0) {
            state_changed.wait(lock);
        } else {
            state_changed.wait_for(lock, std::chrono::milliseconds(due - now));
        }
    }
}

// --- Simulator ---

Simulator::Simulator(SimulatorOptions options) : m_impl(std::make_unique<Impl>()) {
    m_impl->options = std::move(options);
}

Simulator::~Simulator() {
    Stop();
}

bool Simulator::Start() {
    Impl& impl = *m_impl;
    SimulatorOptions& options = impl.options;
    std::string text = options.scenario_json;
    std::string base_dir = ".";
    if (text.empty() && !options.scenario_file.empty()) {
        if (!ReadFile(options.scenario_file, text)) {
            return false;
        }
        base_dir = std::filesystem::path(options.scenario_file).parent_path().string();
    }
    if (text.empty()) {
        impl.scenario = DefaultScenario();
    } else {
        std::string error;
        if (!ParseScenario(text, base_dir, impl.scenario, error)) {
            return false;
        }
    }
    Scenario& scenario = impl.scenario;
    std::stable_sort(
        scenario.events.begin(), scenario.events.end(),
        [](const ScenarioEvent& a, const ScenarioEvent& b) { return a.at_ms < b.at_ms; });
    if (options.auto_scan_ms < 0) {
        options.auto_scan_ms = scenario.auto_scan_ms;
    }
    if (options.auto_confirm_ms < 0) {
        options.auto_confirm_ms = scenario.auto_confirm_ms;
    }
    options.refuse_web_login = options.refuse_web_login || scenario.refuse_web_login;
    options.push_login_fails = options.push_login_fails || scenario.push_login_fails;
    impl.contacts = scenario.contacts;
    if (!scenario.account.head_image_file.empty()) {
        ReadFile(scenario.account.head_image_file, impl.head_image);
    }

    impl.login_host = options.login_host;
    impl.web_primary = ExpandHost(options.web_host, "");
    impl.web_variant = ExpandHost(options.web_host, scenario.fun);
    impl.push_primary = ExpandHost(options.push_host, "");
    impl.push_variant = ExpandHost(options.push_host, scenario.fun);
    const std::string file_host =
        options.file_host.empty() ? "file." + options.web_host : options.file_host;
    impl.file_primary = ExpandHost(file_host, "");
    impl.file_variant = ExpandHost(file_host, scenario.fun);

    std::error_code error;
    const std::filesystem::path workdir =
        std::filesystem::absolute(options.workdir.empty() ? "." : options.workdir, error);
    std::filesystem::create_directories(workdir, error);
    std::vector<std::string> names = {"*.qq.com",        "*.weixin.qq.com",      "qq.com",
                                      impl.login_host,   impl.web_primary,       impl.web_variant,
                                      impl.push_primary, impl.push_variant,      impl.file_primary,
                                      impl.file_variant, options.short_link_host};
    std::sort(names.begin(), names.end());
    names.erase(std::unique(names.begin(), names.end()), names.end());
    impl.certificates = MakeCertificates(workdir.string(), names);
    if (impl.certificates.ca_cert.empty()) {
        return false;
    }

    impl.started = std::chrono::steady_clock::now();
    impl.base_unix = std::chrono::duration_cast<std::chrono::seconds>(
                         std::chrono::system_clock::now().time_since_epoch())
                         .count();
    impl.key_base1 = 600000000 + static_cast<std::int64_t>(impl.random() % 100000000);
    impl.key_base2 = 600000000 + static_cast<std::int64_t>(impl.random() % 100000000);
    impl.key_base3 = 600000000 + static_cast<std::int64_t>(impl.random() % 100000000);
    impl.next_msg_id = impl.random() % 1000000;

    if (!impl.server.Start(impl.certificates.server_cert, impl.certificates.server_key,
                           options.port,
                           [&impl](HttpRequest& request) { return impl.Handle(request); })) {
        return false;
    }
    ServiceProfile profile;
    profile.login_host = impl.login_host;
    profile.web_host = options.web_host;
    profile.push_host = options.push_host;
    profile.file_host = file_host;
    profile.short_link_host = options.short_link_host;
    profile.connect_to = "127.0.0.1:" + std::to_string(impl.server.Port());
    profile.ca_file = impl.certificates.ca_cert;
    impl.profile_path = (workdir / "service.ini").string();
    if (!WriteServiceProfile(impl.profile_path, profile)) {
        impl.server.Stop();
        return false;
    }
    if (options.control_port >= 0) {
        impl.control = std::make_unique<ControlApi>(*this);
        if (!impl.control->Start(options.control_port)) {
            impl.server.Stop();
            return false;
        }
    }
    impl.scheduler = std::thread([&impl] { impl.RunScheduler(); });
    impl.started_ok = true;
    return true;
}

void Simulator::Stop() {
    Impl& impl = *m_impl;
    {
        std::lock_guard lock(impl.mutex);
        impl.stopping = true;
    }
    impl.state_changed.notify_all();
    impl.request_seen.notify_all();
    if (impl.control) {
        impl.control->Stop();
    }
    impl.server.Stop();
    if (impl.scheduler.joinable()) {
        impl.scheduler.join();
    }
}

int Simulator::Port() const {
    return m_impl->server.Port();
}

int Simulator::ControlPort() const {
    return m_impl->control ? m_impl->control->Port() : -1;
}

std::string Simulator::ProfilePath() const {
    return m_impl->profile_path;
}

std::string Simulator::CaFile() const {
    return m_impl->certificates.ca_cert;
}

std::string Simulator::CurrentUuid() const {
    std::lock_guard lock(m_impl->mutex);
    return m_impl->uuid;
}

std::string Simulator::HostFor(std::string_view kind) const {
    if (kind == "login") {
        return m_impl->login_host;
    }
    if (kind == "primary") {
        return m_impl->web_primary;
    }
    if (kind == "push") {
        return m_impl->push_variant;
    }
    if (kind == "file") {
        return m_impl->file_variant;
    }
    return m_impl->web_variant;
}

void Simulator::Scan() {
    std::lock_guard lock(m_impl->mutex);
    m_impl->ScanLocked();
}

void Simulator::Confirm() {
    std::lock_guard lock(m_impl->mutex);
    m_impl->ConfirmLocked();
}

void Simulator::ExpireCode() {
    std::lock_guard lock(m_impl->mutex);
    m_impl->ExpireLocked();
}

void Simulator::SetRefuseWebLogin(bool refuse) {
    std::lock_guard lock(m_impl->mutex);
    m_impl->options.refuse_web_login = refuse;
}

void Simulator::SetPushLoginFails(bool fails) {
    std::lock_guard lock(m_impl->mutex);
    m_impl->options.push_login_fails = fails;
}

void Simulator::SetRenameAtLogin(bool rename, double nickname_share) {
    std::lock_guard lock(m_impl->mutex);
    m_impl->options.rename_at_login = rename;
    m_impl->options.rename_nickname_share = nickname_share;
}

void Simulator::SetEndSessionAfterLogin(int ms, int retcode) {
    std::lock_guard lock(m_impl->mutex);
    m_impl->options.end_session_after_login_ms = ms;
    m_impl->options.end_session_retcode = retcode;
    m_impl->state_changed.notify_all();
}

LoginInfo Simulator::Login() const {
    std::lock_guard lock(m_impl->mutex);
    const Impl& impl = *m_impl;
    LoginInfo info = impl.counts;
    info.uuid = impl.uuid;
    info.desktop = impl.cycle_desktop;
    info.push_cycle = impl.cycle_push;
    info.push_pending = impl.cycle_push && impl.login == Impl::Login::Scanned;
    return info;
}

void Simulator::QueueMessages(const BulkMessages& bulk) {
    std::lock_guard lock(m_impl->mutex);
    if (bulk.count == 0) {
        return;
    }
    Impl::Bulk run;
    run.order = bulk;
    run.start_ms = m_impl->NowMs();
    m_impl->bulks.push_back(std::move(run));
    m_impl->state_changed.notify_all();
}

std::vector<DeliveryRecord> Simulator::Deliveries() const {
    std::lock_guard lock(m_impl->mutex);
    return m_impl->deliveries;
}

void Simulator::RefuseSends(int ret, long long count) {
    std::lock_guard lock(m_impl->mutex);
    m_impl->refuse_ret = ret;
    m_impl->refuse_left = ret == 0 ? 0 : count;
}

void Simulator::ForceSyncCheck(std::string retcode, std::string selector, long long count) {
    std::lock_guard lock(m_impl->mutex);
    Impl& impl = *m_impl;
    impl.forced_left = retcode.empty() ? 0 : count;
    impl.forced_retcode = std::move(retcode);
    impl.forced_selector = selector.empty() ? "0" : std::move(selector);
    // Held polls answer at once.
    impl.state_changed.notify_all();
}

void Simulator::DeliverMessage(const MessageSpec& message) {
    std::lock_guard lock(m_impl->mutex);
    m_impl->DeliverLocked(message);
}

void Simulator::ChangeContact(const ContactSpec& contact) {
    std::lock_guard lock(m_impl->mutex);
    m_impl->ChangeContactLocked(contact);
}

void Simulator::DeleteContact(std::string_view who) {
    std::lock_guard lock(m_impl->mutex);
    m_impl->DeleteContactLocked(who);
}

void Simulator::EndSession(int retcode) {
    std::lock_guard lock(m_impl->mutex);
    m_impl->EndSessionLocked(retcode);
}

void Simulator::ResumeSession() {
    std::lock_guard lock(m_impl->mutex);
    if (m_impl->session.ended_retcode == 1101) {
        m_impl->EndSessionLocked(0);
    }
}

void Simulator::SetFault(std::string path_part, Fault fault) {
    std::lock_guard lock(m_impl->mutex);
    auto& faults = m_impl->faults;
    std::erase_if(faults, [&](const auto& item) { return item.first == path_part; });
    if (fault.kind != FaultKind::None) {
        faults.emplace_back(std::move(path_part), fault);
    }
}

void Simulator::ClearFaults() {
    std::lock_guard lock(m_impl->mutex);
    m_impl->faults.clear();
}

std::vector<RecordedRequest> Simulator::Requests() const {
    std::lock_guard lock(m_impl->mutex);
    return m_impl->requests;
}

std::vector<SentMessage> Simulator::SentMessages() const {
    std::lock_guard lock(m_impl->mutex);
    return m_impl->sent;
}

std::vector<SentMessage> Simulator::RefusedMessages() const {
    std::lock_guard lock(m_impl->mutex);
    return m_impl->refused;
}

std::vector<std::string> Simulator::Violations() const {
    std::lock_guard lock(m_impl->mutex);
    return m_impl->violations;
}

std::vector<ContactInfo> Simulator::Contacts() const {
    std::lock_guard lock(m_impl->mutex);
    std::vector<ContactInfo> out;
    for (const ContactSpec& contact : m_impl->contacts) {
        out.push_back({contact.id, contact.user_name, contact.nick_name, contact.is_group});
    }
    return out;
}

std::string Simulator::UserNameOf(std::string_view who) const {
    std::lock_guard lock(m_impl->mutex);
    return m_impl->UserNameOfLocked(who);
}

bool Simulator::WaitForRequest(std::string_view path_part, std::chrono::milliseconds timeout) {
    return WaitForRequests(path_part, 1, timeout);
}

namespace {

std::size_t CountMatching(const std::vector<RecordedRequest>& requests,
                          std::string_view path_part) {
    return static_cast<std::size_t>(std::count_if(
        requests.begin(), requests.end(),
        [&](const RecordedRequest& r) { return r.path.find(path_part) != std::string::npos; }));
}

}  // namespace

std::size_t Simulator::CountRequests(std::string_view path_part) const {
    std::lock_guard lock(m_impl->mutex);
    return CountMatching(m_impl->requests, path_part);
}

bool Simulator::WaitForRequests(std::string_view path_part, std::size_t count,
                                std::chrono::milliseconds timeout) {
    std::unique_lock lock(m_impl->mutex);
    return m_impl->request_seen.wait_for(lock, timeout, [&] {
        return CountMatching(m_impl->requests, path_part) >= count || m_impl->stopping;
    }) && !m_impl->stopping;
}

bool Simulator::WaitForSentMessages(std::size_t count, std::chrono::milliseconds timeout) {
    std::unique_lock lock(m_impl->mutex);
    return m_impl->request_seen.wait_for(lock, timeout, [&] {
        return m_impl->sent.size() >= count || m_impl->stopping;
    }) && !m_impl->stopping;
}

SessionInfo Simulator::Session() const {
    std::lock_guard lock(m_impl->mutex);
    return m_impl->session;
}

std::string Simulator::MediaOf(std::string_view msg_id) const {
    std::lock_guard lock(m_impl->mutex);
    const auto found = m_impl->media_messages.find(std::string(msg_id));
    return found == m_impl->media_messages.end() ? std::string() : MediaSample(found->second.kind);
}

std::vector<UploadRecord> Simulator::Uploads() {
    std::lock_guard lock(m_impl->mutex);
    std::vector<UploadRecord> records;
    for (Impl::Upload& upload : m_impl->uploads) {
        m_impl->DigestUploadLocked(upload);
        records.push_back(upload.record);
    }
    return records;
}

std::string Simulator::UploadedBytes(std::string_view media_id) const {
    std::lock_guard lock(m_impl->mutex);
    const Impl::Upload* upload = m_impl->UploadOfMediaLocked(media_id);
    return upload == nullptr ? std::string() : upload->bytes;
}

std::vector<MediaSendRecord> Simulator::MediaSends() const {
    std::lock_guard lock(m_impl->mutex);
    return m_impl->media_sends;
}

bool Simulator::WaitForMediaSends(std::size_t count, std::chrono::milliseconds timeout) {
    std::unique_lock lock(m_impl->mutex);
    return m_impl->request_seen.wait_for(lock, timeout, [&] {
        return m_impl->media_sends.size() >= count || m_impl->stopping;
    }) && !m_impl->stopping;
}

void Simulator::FailUploadChunk(int chunk, int ret) {
    std::lock_guard lock(m_impl->mutex);
    m_impl->fail_chunk = chunk;
    m_impl->fail_chunk_ret = ret;
}

}  // namespace sim
