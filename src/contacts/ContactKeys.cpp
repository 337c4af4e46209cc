#include "contacts/ContactKeys.h"

#include <algorithm>
#include <initializer_list>
#include <iterator>
#include <utility>

namespace zelmo::contacts {

namespace {

constexpr std::string_view KEY_ALPHABET = "0123456789abcdefghjkmnpqrstvwxyz";
constexpr std::size_t KEY_CHARACTERS = 10;
constexpr std::size_t NONE = static_cast<std::size_t>(-1);
// Between two values of one match; no GBK text holds it.
constexpr char SEPARATOR = '\x1f';
// How much two member lists must share (of all the names in either) to be one group.
constexpr double SAME_MEMBERS = 0.6;

std::size_t KindIndex(IdentityKind kind) {
    return static_cast<std::size_t>(kind);
}

std::string Joined(std::initializer_list<std::string_view> parts) {
    std::string joined;
    for (const std::string_view part : parts) {
        joined.append(part).push_back(SEPARATOR);
    }
    return joined;
}

// Without its nickname a profile still tells one person from another when it has a
// signature, or a province and a city.
bool SaysEnough(const ContactIdentity& identity) {
    return !identity.Signature.empty() || (!identity.Province.empty() && !identity.City.empty());
}

std::optional<std::string> ByUin(const ContactIdentity& identity) {
    if (!HasUin(identity.Uin)) {
        return std::nullopt;
    }
    return Joined({identity.GroupKey, identity.Uin});
}

std::optional<std::string> ByAlias(const ContactIdentity& identity) {
    if (identity.Alias.empty()) {
        return std::nullopt;
    }
    return identity.Alias;
}

std::optional<std::string> ByRemarkName(const ContactIdentity& identity) {
    if (identity.RemarkName.empty()) {
        return std::nullopt;
    }
    return identity.RemarkName;
}

std::optional<std::string> ByProfile(const ContactIdentity& identity) {
    if (identity.NickName.empty() && !SaysEnough(identity)) {
        return std::nullopt;
    }
    return Joined(
        {identity.NickName, identity.Sex, identity.Province, identity.City, identity.Signature});
}

std::optional<std::string> ByProfileWithoutNickName(const ContactIdentity& identity) {
    if (!SaysEnough(identity)) {
        return std::nullopt;
    }
    return Joined({identity.Sex, identity.Province, identity.City, identity.Signature});
}

std::optional<std::string> ByName(const ContactIdentity& identity) {
    if (identity.NickName.empty()) {
        return std::nullopt;
    }
    return identity.NickName;
}

std::optional<std::string> ByNameCard(const ContactIdentity& identity) {
    if (identity.DisplayName.empty()) {
        return std::nullopt;
    }
    return Joined({identity.GroupKey, identity.DisplayName});
}

std::optional<std::string> ByMemberNickName(const ContactIdentity& identity) {
    if (identity.NickName.empty()) {
        return std::nullopt;
    }
    return Joined({identity.GroupKey, identity.NickName});
}

using Value = std::optional<std::string> (*)(const ContactIdentity&);

// The steps of a kind, strongest first.
std::vector<Value> StepsFor(IdentityKind kind) {
    switch (kind) {
        case IdentityKind::Friend:
        case IdentityKind::Public:
            return {ByUin, ByAlias, ByRemarkName, ByProfile, ByProfileWithoutNickName};
        case IdentityKind::Group:
            return {ByName};
        case IdentityKind::Member:
            return {ByUin, ByNameCard, ByMemberNickName};
    }
    return {};
}

// Two different ids say two different people, whatever else they share.
bool Contradict(const ContactIdentity& a, const ContactIdentity& b) {
    if (HasUin(a.Uin) && HasUin(b.Uin) && a.Uin != b.Uin) {
        return true;
    }
    return !a.Alias.empty() && !b.Alias.empty() && a.Alias != b.Alias;
}

// Shared names over all names of both lists (both sorted and unique).
double Overlap(const std::vector<std::string>& a, const std::vector<std::string>& b) {
    if (a.empty() || b.empty()) {
        return 0;
    }
    std::size_t shared = 0;
    auto left = a.begin();
    auto right = b.begin();
    while (left != a.end() && right != b.end()) {
        if (*left < *right) {
            ++left;
        } else if (*right < *left) {
            ++right;
        } else {
            ++shared;
            ++left;
            ++right;
        }
    }
    return static_cast<double>(shared) / static_cast<double>(a.size() + b.size() - shared);
}

std::string ShownName(const ContactRecord& record) {
    return record.RemarkName.empty() ? record.NickName : record.RemarkName;
}

}  // namespace

struct ContactKeys::Item {
    std::string user_name;
    std::string shown;  // for the log
    ContactIdentity identity;
    std::size_t entry = NONE;
    bool ambiguous = false;
    bool waits = false;  // a group without members that matched no key by its name
};

bool IsContactKey(std::string_view text) {
    return text.size() == KEY_CHARACTERS + 1 && text.front() == 'c' &&
           std::all_of(text.begin() + 1, text.end(),
                       [](char c) { return KEY_ALPHABET.find(c) != std::string_view::npos; });
}

ContactKeys::ContactKeys(platform::Clock& clock) : m_clock(clock) {}

void ContactKeys::Load(std::vector<KnownContact> known) {
    std::lock_guard lock(m_mutex);
    for (KnownContact& contact : known) {
        if (!IsContactKey(contact.key)) {
            continue;
        }
        if (const auto it = m_by_key.find(contact.key); it != m_by_key.end()) {
            Entry& entry = m_entries[it->second];
            if (entry.known.identity.kind == contact.identity.kind &&
                entry.known.identity.GroupKey == contact.identity.GroupKey) {
                entry.known = std::move(contact);
            }
            continue;
        }
        Entry entry;
        entry.known = std::move(contact);
        AddEntryLocked(std::move(entry));
    }
}

void ContactKeys::AddEntryLocked(Entry entry) {
    const std::size_t index = m_entries.size();
    const ContactIdentity& identity = entry.known.identity;
    m_by_key.emplace(entry.known.key, index);
    if (identity.kind == IdentityKind::Member) {
        m_members_of[identity.GroupKey].push_back(index);
    } else {
        m_of_kind[KindIndex(identity.kind)].push_back(index);
    }
    m_entries.push_back(std::move(entry));
}

KeyAssignment ContactKeys::AssignLogin(const ContactStore& store, const ContactRecord* own) {
    std::lock_guard lock(m_mutex);
    ++m_login;
    m_now.clear();
    // Members come by the thousand at every login; a text never waits for one across two.
    std::erase_if(m_seen, [this](const auto& seen) {
        return seen.second.member && seen.second.login + 1 < m_login;
    });
    std::vector<ContactRecord> records = store.Snapshot();
    // With the others, so that its Uin claims its key before any profile is compared.
    if (own != nullptr && !own->UserName.empty()) {
        records.push_back(*own);
    }
    return AssignLocked(records);
}

KeyAssignment ContactKeys::AssignMore(const ContactStore& store) {
    std::lock_guard lock(m_mutex);
    m_login = std::max<std::uint32_t>(m_login, 1);
    return AssignLocked(store.Snapshot());
}

KeyAssignment ContactKeys::AssignLocked(const std::vector<ContactRecord>& records) {
    KeyAssignment result;
    std::vector<Item> items;
    std::vector<const ContactRecord*> groups;
    for (const ContactRecord& record : records) {
        const auto seen = m_seen.find(record.UserName);
        const bool assigned = seen != m_seen.end() && seen->second.login == m_login;
        if (record.kind == KIND_GROUP && !record.Members.empty()) {
            groups.push_back(&record);
        }
        // A group that waits is looked at again: its members may have come meanwhile.
        if (record.UserName.empty() || (assigned && !seen->second.key.empty())) {
            continue;
        }
        items.push_back(Item{record.UserName, ShownName(record), IdentityOf(record)});
    }
    MatchLocked(items, result);
    // Members fetched before the login's assignment reached their group.
    for (const ContactRecord* group : groups) {
        const auto seen = m_seen.find(group->UserName);
        if (seen != m_seen.end() && seen->second.login == m_login && !seen->second.key.empty()) {
            MemberKeysLocked(*group, seen->second.key, result);
        }
    }
    return result;
}

std::vector<std::size_t> ContactKeys::PoolLocked(IdentityKind kind,
                                                 std::string_view group_key) const {
    const std::vector<std::size_t>* all = nullptr;
    if (kind == IdentityKind::Member) {
        const auto it = m_members_of.find(std::string(group_key));
        if (it == m_members_of.end()) {
            return {};
        }
        all = &it->second;
    } else {
        all = &m_of_kind[KindIndex(kind)];
    }
    std::vector<std::size_t> pool;
    std::copy_if(all->begin(), all->end(), std::back_inserter(pool),
                 [this](std::size_t index) { return m_entries[index].login != m_login; });
    return pool;
}

void ContactKeys::MatchLocked(std::vector<Item>& items, KeyAssignment& result) {
    // A service that keeps UserNames across logins says itself who is who.
    for (Item& item : items) {
        const auto seen = m_seen.find(item.user_name);
        if (seen == m_seen.end() || seen->second.key.empty()) {
            continue;
        }
        const std::size_t index = m_by_key.at(seen->second.key);
        if (m_entries[index].login != m_login &&
            m_entries[index].known.identity.kind == item.identity.kind) {
            GiveLocked(item, index);
            ++result.kept;
        }
    }
    for (const IdentityKind kind :
         {IdentityKind::Friend, IdentityKind::Public, IdentityKind::Group, IdentityKind::Member}) {
        std::vector<Item> of_kind;
        for (Item& item : items) {
            if (item.identity.kind == kind && item.entry == NONE) {
                of_kind.push_back(item);
            }
        }
        if (of_kind.empty()) {
            continue;
        }
        // Members come one group at a time.
        const std::string group_key = of_kind.front().identity.GroupKey;
        for (const Value step : StepsFor(kind)) {
            MatchByValueLocked(of_kind, PoolLocked(kind, group_key), step);
        }
        for (Item& item : of_kind) {
            if (item.entry == NONE && kind == IdentityKind::Group) {
                if (item.identity.MemberNames.empty()) {
                    // Its name said nothing: its members will.
                    item.waits = true;
                    m_seen[item.user_name] = Seen{{}, m_login};
                    continue;
                }
                MatchByMembersLocked(item, PoolLocked(kind, group_key));
            }
            if (item.entry != NONE) {
                ++result.kept;
            } else {
                CreateLocked(item, result);
            }
        }
    }
}

void ContactKeys::MatchByValueLocked(std::vector<Item>& items, const std::vector<std::size_t>& pool,
                                     Value value) {
    std::unordered_map<std::string, std::vector<Item*>> current;
    for (Item& item : items) {
        if (item.entry != NONE) {
            continue;
        }
        if (std::optional<std::string> v = value(item.identity)) {
            current[std::move(*v)].push_back(&item);
        }
    }
    if (current.empty()) {
        return;
    }
    std::unordered_map<std::string, std::vector<std::size_t>> known;
    for (const std::size_t index : pool) {
        if (m_entries[index].login == m_login) {
            continue;
        }
        if (std::optional<std::string> v = value(m_entries[index].known.identity);
            v && current.count(*v) != 0) {
            known[std::move(*v)].push_back(index);
        }
    }
    for (auto& [v, holders] : current) {
        const auto candidates = known.find(v);
        if (candidates == known.end()) {
            continue;
        }
        if (holders.size() != 1 || candidates->second.size() != 1) {
            for (Item* holder : holders) {
                holder->ambiguous = true;
            }
            continue;
        }
        const std::size_t index = candidates->second.front();
        if (!Contradict(holders.front()->identity, m_entries[index].known.identity)) {
            GiveLocked(*holders.front(), index);
        }
    }
}

void ContactKeys::MatchByMembersLocked(Item& item, const std::vector<std::size_t>& pool) {
    std::size_t best = NONE;
    double best_overlap = 0;
    std::size_t close = 0;
    for (const std::size_t index : pool) {
        const double overlap =
            Overlap(item.identity.MemberNames, m_entries[index].known.identity.MemberNames);
        if (overlap < SAME_MEMBERS) {
            continue;
        }
        ++close;
        if (overlap > best_overlap) {
            best_overlap = overlap;
            best = index;
        }
    }
    if (close > 1) {
        item.ambiguous = true;
        return;
    }
    if (best != NONE) {
        GiveLocked(item, best);
    }
}

void ContactKeys::GiveLocked(Item& item, std::size_t index) {
    Entry& entry = m_entries[index];
    std::vector<std::string> members = std::move(entry.known.identity.MemberNames);
    entry.known.identity = item.identity;
    if (entry.known.identity.MemberNames.empty()) {
        entry.known.identity.MemberNames = std::move(members);
    }
    entry.known.last_seen_ms = m_clock.UnixMs();
    entry.login = m_login;
    entry.changed = true;
    item.entry = index;
    item.waits = false;
    m_seen[item.user_name] =
        Seen{entry.known.key, m_login, item.identity.kind == IdentityKind::Member};
    m_now[entry.known.key] = item.user_name;
}

void ContactKeys::CreateLocked(Item& item, KeyAssignment& result) {
    Entry entry;
    entry.known.key = NewKeyLocked();
    entry.known.identity = item.identity;
    entry.known.first_seen_ms = entry.known.last_seen_ms = m_clock.UnixMs();
    entry.login = m_login;
    entry.changed = true;
    item.entry = m_entries.size();
    item.waits = false;
    m_seen[item.user_name] =
        Seen{entry.known.key, m_login, item.identity.kind == IdentityKind::Member};
    m_now[entry.known.key] = item.user_name;
    AddEntryLocked(std::move(entry));
    ++result.created;
    if (item.ambiguous) {
        result.ambiguous.push_back(item.shown);
    }
}

ContactKey ContactKeys::NewKeyLocked() {
    for (;;) {
        ContactKey key = "c";
        for (std::size_t i = 0; i < KEY_CHARACTERS; ++i) {
            key.push_back(KEY_ALPHABET[static_cast<std::size_t>(
                m_clock.Random(0, static_cast<int>(KEY_ALPHABET.size()) - 1))]);
        }
        if (m_by_key.count(key) == 0) {
            return key;
        }
    }
}

KeyAssignment ContactKeys::AssignMembers(const ContactRecord& group) {
    std::lock_guard lock(m_mutex);
    KeyAssignment result;
    const auto seen = m_seen.find(group.UserName);
    if (group.kind != KIND_GROUP || seen == m_seen.end() || seen->second.login != m_login) {
        return result;
    }
    ContactKey key = seen->second.key;
    if (key.empty()) {
        Item item{group.UserName, ShownName(group), IdentityOf(group)};
        if (item.identity.MemberNames.empty()) {
            return result;
        }
        MatchByMembersLocked(item, PoolLocked(IdentityKind::Group, {}));
        if (item.entry != NONE) {
            ++result.kept;
        } else {
            CreateLocked(item, result);
        }
        key = m_entries[item.entry].known.key;
    } else if (std::vector<std::string> names = MemberNamesOf(group.Members); !names.empty()) {
        Entry& entry = m_entries[m_by_key.at(key)];
        if (entry.known.identity.MemberNames != names) {
            entry.known.identity.MemberNames = std::move(names);
            entry.changed = true;
        }
    }
    MemberKeysLocked(group, key, result);
    return result;
}

void ContactKeys::MemberKeysLocked(const ContactRecord& group, const ContactKey& group_key,
                                   KeyAssignment& result) {
    std::vector<Item> items;
    for (const MemberRecord& member : group.Members) {
        if (member.UserName.empty()) {
            continue;
        }
        // A friend, or a member of a group assigned before: one person, one key.
        const auto seen = m_seen.find(member.UserName);
        if (seen != m_seen.end() && seen->second.login == m_login) {
            continue;
        }
        items.push_back(Item{member.UserName,
                             member.DisplayName.empty() ? member.NickName : member.DisplayName,
                             MemberIdentity(group_key, member)});
    }
    MatchLocked(items, result);
}

ContactKey ContactKeys::KeyOf(std::string_view user_name) const {
    std::lock_guard lock(m_mutex);
    const auto seen = m_seen.find(std::string(user_name));
    return seen == m_seen.end() ? ContactKey() : seen->second.key;
}

std::string ContactKeys::UserNameOf(std::string_view key) const {
    std::lock_guard lock(m_mutex);
    const auto now = m_now.find(std::string(key));
    return now == m_now.end() ? std::string() : now->second;
}

std::optional<std::string> ContactKeys::AddressNow(std::string_view user_name) const {
    std::lock_guard lock(m_mutex);
    const auto seen = m_seen.find(std::string(user_name));
    if (seen == m_seen.end() || seen->second.login == m_login) {
        return std::string(user_name);
    }
    const auto now = m_now.find(seen->second.key);
    if (seen->second.key.empty() || now == m_now.end()) {
        return std::nullopt;
    }
    return now->second;
}

std::vector<KnownContact> ContactKeys::TakeChanged() {
    std::lock_guard lock(m_mutex);
    std::vector<KnownContact> changed;
    for (Entry& entry : m_entries) {
        if (entry.changed) {
            changed.push_back(entry.known);
            entry.changed = false;
        }
    }
    return changed;
}

std::vector<KnownContact> ContactKeys::Known() const {
    std::lock_guard lock(m_mutex);
    std::vector<KnownContact> known;
    known.reserve(m_entries.size());
    for (const Entry& entry : m_entries) {
        known.push_back(entry.known);
    }
    return known;
}

}  // namespace zelmo::contacts
