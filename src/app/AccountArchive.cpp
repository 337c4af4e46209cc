#include "app/AccountArchive.h"

#include <algorithm>
#include <optional>
#include <utility>

#include "app/ArchiveRows.h"
#include "app/Robot.h"
#include "platform/Encoding.h"
#include "platform/GbkLiteral.h"
#include "protocol/TextHelpers.h"
#include "store/ArchiveReader.h"
#include "store/DatabaseFile.h"

namespace zelmo::app {

namespace {

// A hundred years: beyond it a number means nothing but "keep all".
constexpr long long MAX_RETENTION_DAYS = 36500;

int RetentionDays(std::string_view setting) {
    const long long days = protocol::IntegerValue(setting);
    return days <= 0 || days > MAX_RETENTION_DAYS ? 0 : static_cast<int>(days);
}

struct KindWord {
    contacts::IdentityKind kind;
    std::string_view word;
};
constexpr KindWord KIND_WORDS[] = {{contacts::IdentityKind::Friend, "friend"},
                                   {contacts::IdentityKind::Group, "group"},
                                   {contacts::IdentityKind::Member, "member"},
                                   {contacts::IdentityKind::Public, "public"}};

// The database keeps its texts in UTF-8, the robot in GBK.
store::ContactKeyRecord RecordOf(const contacts::KnownContact& known) {
    using platform::GbkToUtf8;
    const contacts::ContactIdentity& identity = known.identity;
    store::ContactKeyRecord record;
    record.key = known.key;
    for (const KindWord& word : KIND_WORDS) {
        if (word.kind == identity.kind) {
            record.kind = std::string(word.word);
        }
    }
    record.uin = GbkToUtf8(identity.Uin);
    record.alias = GbkToUtf8(identity.Alias);
    record.remark_name = GbkToUtf8(identity.RemarkName);
    record.nick_name = GbkToUtf8(identity.NickName);
    record.sex = GbkToUtf8(identity.Sex);
    record.province = GbkToUtf8(identity.Province);
    record.city = GbkToUtf8(identity.City);
    record.signature = GbkToUtf8(identity.Signature);
    for (const std::string& name : identity.MemberNames) {
        record.member_names.push_back(GbkToUtf8(name));
    }
    record.group_key = identity.GroupKey;
    record.display_name = GbkToUtf8(identity.DisplayName);
    record.first_seen_ms = known.first_seen_ms;
    record.last_seen_ms = known.last_seen_ms;
    return record;
}

// Nothing for a record of a kind this program does not know.
std::optional<contacts::KnownContact> KnownOf(const store::ContactKeyRecord& record) {
    using platform::Utf8ToGbk;
    const auto word = std::find_if(std::begin(KIND_WORDS), std::end(KIND_WORDS),
                                   [&record](const KindWord& w) { return w.word == record.kind; });
    if (word == std::end(KIND_WORDS)) {
        return std::nullopt;
    }
    contacts::KnownContact known;
    known.key = record.key;
    contacts::ContactIdentity& identity = known.identity;
    identity.kind = word->kind;
    identity.Uin = Utf8ToGbk(record.uin);
    identity.Alias = Utf8ToGbk(record.alias);
    identity.RemarkName = Utf8ToGbk(record.remark_name);
    identity.NickName = Utf8ToGbk(record.nick_name);
    identity.Sex = Utf8ToGbk(record.sex);
    identity.Province = Utf8ToGbk(record.province);
    identity.City = Utf8ToGbk(record.city);
    identity.Signature = Utf8ToGbk(record.signature);
    for (const std::string& name : record.member_names) {
        identity.MemberNames.push_back(Utf8ToGbk(name));
    }
    // Kept sorted and unique, as IdentityOf makes them; another program may not have.
    std::sort(identity.MemberNames.begin(), identity.MemberNames.end());
    identity.MemberNames.erase(
        std::unique(identity.MemberNames.begin(), identity.MemberNames.end()),
        identity.MemberNames.end());
    identity.GroupKey = record.group_key;
    identity.DisplayName = Utf8ToGbk(record.display_name);
    known.first_seen_ms = record.first_seen_ms;
    known.last_seen_ms = record.last_seen_ms;
    return known;
}

}  // namespace

AccountArchive::AccountArchive(Robot& robot) : m_robot(robot) {}

AccountArchive::~AccountArchive() {
    Close();
}

void AccountArchive::Open() {
    const std::shared_ptr<const config::Settings> settings = m_robot.Settings().Get();
    if (!settings->启用存档 || m_store || m_robot.AccountDir().empty()) {
        return;
    }
    store::StoreOptions options;
    options.path = m_robot.AccountDir() + "/" + std::string(store::DATABASE_FILE_NAME);
    options.retention_days = RetentionDays(settings->消息保留天数);
    m_retention_days.store(options.retention_days);
    m_store = std::make_unique<store::Store>(options, *this, m_robot.Clock());

    std::string error;
    if (std::optional<store::ArchiveReader> reader =
            store::ArchiveReader::Open(m_store->Path(), &error)) {
        const store::KeysRead keys = reader->LoadContactKeys();
        error = keys.error;
        if (keys.error.empty()) {
            std::vector<contacts::KnownContact> known;
            known.reserve(keys.keys.size());
            for (const store::ContactKeyRecord& record : keys.keys) {
                if (std::optional<contacts::KnownContact> contact = KnownOf(record)) {
                    known.push_back(std::move(*contact));
                }
            }
            m_robot.Keys().Load(std::move(known));
            m_keys_loaded.store(true);
        }
        store::RowsRead rows = reader->LastRows(START_ROWS);
        std::lock_guard lock(m_start_rows_mutex);
        m_start_rows = std::move(rows.rows);
    }
    if (!m_keys_loaded.load()) {
        m_robot.Screen().LogEvent(
            "store", platform::Gbk("联系人标识未能从数据库读出，本次运行不保存联系人标识：") +
                         platform::Utf8ToGbk(error));
    }
    m_target.store(m_store.get(), std::memory_order_release);
}

void AccountArchive::SaveKeys() {
    store::Store* store = m_target.load(std::memory_order_acquire);
    if (store == nullptr || !m_keys_loaded.load()) {
        return;
    }
    std::vector<store::ContactKeyRecord> records;
    for (const contacts::KnownContact& known : m_robot.Keys().TakeChanged()) {
        records.push_back(RecordOf(known));
    }
    if (!records.empty()) {
        store->SaveContactKeys(std::move(records));
    }
}

void AccountArchive::Close() {
    if (m_store) {
        m_store->Close();
    }
}

std::string AccountArchive::Path() const {
    const store::Store* store = m_target.load(std::memory_order_acquire);
    return store == nullptr ? std::string() : store->Path();
}

std::vector<store::ArchiveRow> AccountArchive::TakeStartRows() {
    std::lock_guard lock(m_start_rows_mutex);
    return std::exchange(m_start_rows, {});
}

store::Store* AccountArchive::Target() {
    store::Store* store = m_target.load(std::memory_order_acquire);
    if (store == nullptr) {
        return nullptr;
    }
    // Turned off while the robot runs: nothing more is written from now on.
    const std::shared_ptr<const config::Settings> settings = m_robot.Settings().Get();
    if (!settings->启用存档) {
        return nullptr;
    }
    const int days = RetentionDays(settings->消息保留天数);
    if (m_retention_days.exchange(days) != days) {
        store->SetRetentionDays(days);
    }
    return store;
}

void AccountArchive::OnReceived(const messages::ReceivedEvent& event) {
    if (store::Store* store = Target()) {
        const std::shared_ptr<const protocol::ProtocolState> state = m_robot.State();
        store->Append(ReceivedRow(event, NamesOf(*state), m_robot.Clock().UnixMs()));
        store->MarkRecalled(RecalledMsgId(event.message));
    }
}

void AccountArchive::OnMediaSaved(std::string_view msg_id, std::string_view path) {
    if (store::Store* store = Target()) {
        store->SetMediaPath(msg_id, path);
    }
}

void AccountArchive::OnSent(const messages::SentEvent& event) {
    if (store::Store* store = Target()) {
        const std::shared_ptr<const protocol::ProtocolState> state = m_robot.State();
        store->Append(SentRow(event, NamesOf(*state), m_robot.Clock().UnixMs()));
    }
}

RowNames AccountArchive::NamesOf(const protocol::ProtocolState& state) const {
    return {m_robot.Keys(), m_robot.Contacts(), state.own.UserName, state.own.NickName};
}

void AccountArchive::OnStoreEvent(const store::StoreEvent& event) {
    const std::string text = store::StoreEventText(event);
    const bool tell_user = event.kind == store::StoreEvent::Kind::Failed ||
                           event.kind == store::StoreEvent::Kind::MovedAside;
    // The writer must not wait for anyone to read the box.
    if (tell_user &&
        m_robot.StartThread(
            [&robot = m_robot, text,
             title = platform::Gbk(event.kind == store::StoreEvent::Kind::Failed ? "错误提示"
                                                                                 : "提示")] {
                robot.Screen().ShowMessageBox(title, text);
            })) {
        return;
    }
    m_robot.Screen().LogEvent("store", text);
}

}  // namespace zelmo::app
