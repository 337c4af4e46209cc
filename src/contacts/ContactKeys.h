#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "contacts/ContactIdentity.h"
#include "contacts/ContactStore.h"
#include "platform/Clock.h"

namespace zelmo::contacts {

// A contact's id that stays the same across logins and runs: "c" and ten base-32
// characters (digits and lower-case letters without i, l, o and u).
using ContactKey = std::string;

// True for a text of the ContactKey shape.
bool IsContactKey(std::string_view text);

// A key as a database keeps it: what its contact was matched on when last seen, and when
// it was seen first and last (Unix ms).
struct KnownContact {
    ContactKey key;
    ContactIdentity identity;
    std::int64_t first_seen_ms = 0;
    std::int64_t last_seen_ms = 0;

    bool operator==(const KnownContact&) const = default;
};

// What one assignment did, for the log.
struct KeyAssignment {
    std::size_t kept = 0;     // contacts that kept a known key
    std::size_t created = 0;  // contacts that got a new key
    // Names (GBK) of contacts that got a new key because a known key matched them no
    // better than another: two known keys equally, or one key as well as another contact.
    std::vector<std::string> ambiguous;
};

// The keys of every contact, matched anew at each login by what does not change with it.
// In order: the UserName (a service that keeps them), a Uin other than 0, Alias, remark
// name, nickname with sex, province, city and signature, and for a contact whose nickname
// changed sex, province, city and signature where they say enough (a signature, or both a
// province and a city). A group matches by its name, else, once its members are fetched,
// by their names; a member within its group by Uin, name card, nickname. Each step matches
// only a value that one known key and one contact hold, never a key that another contact
// of the login took; a Uin or Alias that differs forbids a match. Anything else gets a new
// key: two people under one key would be far worse than one person under two.
// Any thread; every call is one step.
class ContactKeys {
public:
    // `clock` times the sightings and draws the new keys.
    explicit ContactKeys(platform::Clock& clock);

    // Keys known from before (a database); a key given twice keeps its last record, and
    // texts that are no key are left out. Before the first assignment.
    void Load(std::vector<KnownContact> known);

    // A new login's contact list, once the store holds it: from now on no key names a
    // UserName of an earlier login (KeyOf still knows them), and every record of the
    // store's current login gets its key. A group whose name matches no key alone waits
    // until its members are fetched; members fetched by then get their keys too. `own`,
    // the account's own record (no store's), gets its key with them: a friend's kind of
    // key, matched by the account's Uin, which the groups' member lists then share.
    KeyAssignment AssignLogin(const ContactStore& store, const ContactRecord* own = nullptr);
    // The same for records of the current login that have no key yet (contacts named
    // later, groups whose members came).
    KeyAssignment AssignMore(const ContactStore& store);
    // A group of the current login whose members were fetched: its key (when it waited
    // for them) and its members' keys; a member that is a contact of this login keeps
    // that contact's key. Nothing for a group the login's assignment has not reached.
    KeyAssignment AssignMembers(const ContactRecord& group);

    // The key of a UserName of this run's logins (a group member's: of the current or the
    // last login); empty when it has none (yet).
    ContactKey KeyOf(std::string_view user_name) const;
    // The UserName the key's contact has in the current login; empty when none.
    std::string UserNameOf(std::string_view key) const;
    // The UserName that reaches the same contact now: the name itself when it belongs to
    // the current login or was never a contact's (the file helper, the own account); the
    // current name of its key when it belonged to an earlier login; nothing when no
    // contact of the current login has that key.
    std::optional<std::string> AddressNow(std::string_view user_name) const;

    // The keys created or seen since the last call (for the database to save); each once.
    std::vector<KnownContact> TakeChanged();
    // Every key known, in the order they became known.
    std::vector<KnownContact> Known() const;

private:
    struct Entry {
        KnownContact known;
        std::uint32_t login = 0;  // the login that last gave it to a contact; 0 none
        bool changed = false;
    };
    struct Seen {
        ContactKey key;  // empty: a group that waits for its members
        std::uint32_t login = 0;
        bool member = false;  // a group member's
    };
    struct Item;

    KeyAssignment AssignLocked(const std::vector<ContactRecord>& records);
    // Runs the matching steps over items of one kind, then gives the rest new keys (or,
    // for groups without members, leaves them waiting).
    void MatchLocked(std::vector<Item>& items, KeyAssignment& result);
    void MatchByValueLocked(std::vector<Item>& items, const std::vector<std::size_t>& pool,
                            std::optional<std::string> (*value)(const ContactIdentity&));
    void MatchByMembersLocked(Item& item, const std::vector<std::size_t>& pool);
    void GiveLocked(Item& item, std::size_t entry);
    void CreateLocked(Item& item, KeyAssignment& result);
    ContactKey NewKeyLocked();
    void AddEntryLocked(Entry entry);
    void MemberKeysLocked(const ContactRecord& group, const ContactKey& group_key,
                          KeyAssignment& result);
    // Known keys of a kind (members: of one group) that no contact of this login holds.
    std::vector<std::size_t> PoolLocked(IdentityKind kind, std::string_view group_key) const;

    mutable std::mutex m_mutex;
    platform::Clock& m_clock;
    std::vector<Entry> m_entries;
    std::unordered_map<std::string, std::size_t> m_by_key;
    // Entries by kind; members by their group's key instead.
    std::array<std::vector<std::size_t>, 4> m_of_kind;
    std::unordered_map<std::string, std::vector<std::size_t>> m_members_of;
    std::unordered_map<std::string, Seen> m_seen;        // UserName of any login
    std::unordered_map<std::string, std::string> m_now;  // key -> UserName, current login
    std::uint32_t m_login = 0;
};

}  // namespace zelmo::contacts
