#include <gtest/gtest.h>

#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "contacts/ContactKeys.h"
#include "platform/GbkLiteral.h"
#include "support/FakeClock.h"
#include "support/TestSupport.h"

namespace zelmo::contacts {
namespace {

using platform::Gbk;

// One person or group as the service describes it at one login (UTF-8 texts).
struct Someone {
    std::string nick;
    std::string sex = "男";
    std::string province;
    std::string city;
    std::string signature;
    std::string remark;
    std::string alias;
    std::string uin = "0";
    bool group = false;
    std::vector<std::string> members;  // a group's: nicknames of its members
};

ContactRecord RecordOf(const Someone& who, const std::string& user_name) {
    ContactRecord record =
        test::Contact(user_name, who.nick, who.group ? std::string("微群") : who.sex);
    record.Province = Gbk(who.province);
    record.City = Gbk(who.city);
    record.Signature = Gbk(who.signature);
    record.RemarkName = Gbk(who.remark);
    record.Alias = who.alias;
    record.Uin = who.uin;
    return record;
}

// The robot's side of a series of logins: the store and the keys, and at each login a new
// UserName for everyone, as the service gives them.
class Logins {
public:
    ContactKeys keys{clock};

    // Logs in with these contacts; the UserName each got, in order.
    std::vector<std::string> LogIn(const std::vector<Someone>& contacts) {
        ++m_login;
        store.BeginLogin();
        std::vector<std::string> names;
        for (std::size_t i = 0; i < contacts.size(); ++i) {
            names.push_back(std::string(contacts[i].group ? "@@" : "@") + "l" +
                            std::to_string(m_login) + "n" + std::to_string(i));
            store.AppendIfNew(RecordOf(contacts[i], names.back()));
        }
        last = keys.AssignLogin(store);
        return names;
    }

    // The group's members are fetched; each member's UserName is the friend's when the
    // friend is among `friends` (this login's names of `contacts`), else its own.
    void FetchMembers(const std::vector<Someone>& contacts, const std::vector<std::string>& names,
                      std::size_t group) {
        std::vector<MemberRecord> members;
        for (const std::string& member : contacts[group].members) {
            MemberRecord record;
            record.NickName = Gbk(member);
            record.UserName = "@m" + std::to_string(m_login) + member;
            for (std::size_t i = 0; i < contacts.size(); ++i) {
                if (!contacts[i].group && contacts[i].nick == member) {
                    record.UserName = names[i];
                }
            }
            members.push_back(record);
        }
        const std::size_t index = store.FindContactIndex(names[group]);
        store.SetGroupMembers(index, std::to_string(members.size()), "0", members);
        last = keys.AssignMembers(*store.At(index));
    }

    std::vector<ContactKey> KeysOf(const std::vector<std::string>& names) const {
        std::vector<ContactKey> found;
        found.reserve(names.size());
        for (const std::string& name : names) {
            found.push_back(keys.KeyOf(name));
        }
        return found;
    }

    test::FakeClock clock;
    ContactStore store;
    KeyAssignment last;

private:
    int m_login = 0;
};

TEST(ContactKeysTest, KeysHaveTheirShapeAndPeopleKeepThemWhateverTheirUserNames) {
    const std::vector<Someone> people = {
        {.nick = "Alice", .sex = "女", .province = "广东", .city = "深圳"},
        {.nick = "Bob", .remark = "老板"},
        {.nick = "Carol", .uin = "12345"},
        {.nick = "Dave", .alias = "dave_w"},
        {.nick = "News", .sex = "公众号"},
    };
    Logins logins;
    const std::vector<ContactKey> first = logins.KeysOf(logins.LogIn(people));
    EXPECT_EQ(logins.last.created, people.size());
    for (const ContactKey& key : first) {
        EXPECT_TRUE(IsContactKey(key)) << key;
    }
    EXPECT_EQ(std::set<ContactKey>(first.begin(), first.end()).size(), people.size());

    logins.clock.Advance(60000);
    const std::vector<std::string> names = logins.LogIn(people);
    EXPECT_EQ(logins.KeysOf(names), first);
    EXPECT_EQ(logins.last.kept, people.size());
    EXPECT_EQ(logins.keys.UserNameOf(first[1]), names[1]);
    const std::vector<KnownContact> known = logins.keys.Known();
    EXPECT_EQ(known[0].first_seen_ms, test::FakeClock::DEFAULT_START_MS);
    EXPECT_EQ(known[0].last_seen_ms, test::FakeClock::DEFAULT_START_MS + 60000);
    EXPECT_EQ(known[0].identity.Province, Gbk("广东"));

    // A new run loads what the database kept and matches the same people again.
    Logins next_run;
    next_run.keys.Load(logins.keys.TakeChanged());
    EXPECT_TRUE(logins.keys.TakeChanged().empty());
    EXPECT_EQ(next_run.KeysOf(next_run.LogIn(people)), first);
}

TEST(ContactKeysTest, TwoFriendsWithOneNicknameKeepTheirOwnKeysOrGetNewOnesNeverOneKey) {
    // Told apart by their profiles.
    const std::vector<Someone> told_apart = {
        {.nick = "Tom", .province = "广东", .city = "深圳", .signature = "A"},
        {.nick = "Tom", .province = "北京", .city = "北京", .signature = "B"},
    };
    Logins logins;
    const std::vector<ContactKey> first = logins.KeysOf(logins.LogIn(told_apart));
    EXPECT_NE(first[0], first[1]);
    EXPECT_EQ(logins.KeysOf(logins.LogIn(told_apart)), first);
    EXPECT_TRUE(logins.last.ambiguous.empty());

    // Alike in everything the service shows: each login gives both new keys and says so.
    const std::vector<Someone> alike = {{.nick = "Twin"}, {.nick = "Twin"}};
    Logins twins;
    const std::vector<ContactKey> before = twins.KeysOf(twins.LogIn(alike));
    const std::vector<ContactKey> after = twins.KeysOf(twins.LogIn(alike));
    EXPECT_NE(after[0], after[1]);
    EXPECT_EQ(std::set<ContactKey>({before[0], before[1], after[0], after[1]}).size(), 4u);
    EXPECT_EQ(twins.last.ambiguous, (std::vector<std::string>{Gbk("Twin"), Gbk("Twin")}));

    // One of them left: the one who stayed is still not the other one's key.
    twins.LogIn({alike[0]});
    EXPECT_EQ(twins.last.created, 1u);
}

TEST(ContactKeysTest, AFriendWhoRenamesKeepsTheKeyOnlyWhereNobodyElseCouldBeMeant) {
    std::vector<Someone> people = {
        {.nick = "Tom", .province = "广东", .city = "深圳", .signature = "carpe diem"},
        {.nick = "Ann", .sex = "女"},
        {.nick = "Joe", .province = "上海", .city = "徐汇"},
    };
    Logins logins;
    const std::vector<ContactKey> first = logins.KeysOf(logins.LogIn(people));

    people[0].nick = "Tommy";
    people[1].nick = "Annie";  // nothing else to go by: a new key rather than a guess
    const std::vector<ContactKey> renamed = logins.KeysOf(logins.LogIn(people));
    EXPECT_EQ(renamed[0], first[0]);
    EXPECT_NE(renamed[1], first[1]);
    EXPECT_EQ(renamed[2], first[2]);

    // A rename and a newcomer with the same profile: either could be Joe.
    people[2].nick = "Joseph";
    people.push_back({.nick = "Jim", .province = "上海", .city = "徐汇"});
    const std::vector<ContactKey> crowded = logins.KeysOf(logins.LogIn(people));
    EXPECT_EQ(crowded[0], first[0]);
    EXPECT_NE(crowded[2], first[2]);
    EXPECT_NE(crowded[3], first[2]);
    EXPECT_EQ(logins.last.ambiguous, (std::vector<std::string>{Gbk("Joseph"), Gbk("Jim")}));

    // Another WeChat id or Uin is another person, whatever the profile says.
    std::vector<Someone> ids = {{.nick = "Lee", .signature = "s", .alias = "lee1", .uin = "7"}};
    Logins other;
    const ContactKey lee = other.KeysOf(other.LogIn(ids))[0];
    ids[0].alias = "lee2";
    EXPECT_NE(other.KeysOf(other.LogIn(ids))[0], lee);
    ids[0].alias.clear();
    ids[0].uin = "8";
    EXPECT_NE(other.KeysOf(other.LogIn(ids))[0], lee);
}

TEST(ContactKeysTest, ARenamedGroupIsKnownByItsMembersAndAMemberWhoIsAFriendHasOneKey) {
    std::vector<Someone> contacts = {
        {.nick = "Alice", .sex = "女", .province = "广东", .city = "深圳"},
        {.nick = "Team", .group = true, .members = {"Alice", "Carol", "Dan", "Eve"}},
    };
    Logins logins;
    std::vector<std::string> names = logins.LogIn(contacts);
    // A group whose name matches no key waits for its members.
    EXPECT_EQ(logins.keys.KeyOf(names[1]), "");
    logins.FetchMembers(contacts, names, 1);
    const ContactKey alice = logins.keys.KeyOf(names[0]);
    const ContactKey team = logins.keys.KeyOf(names[1]);
    const ContactKey carol = logins.keys.KeyOf("@m1Carol");
    EXPECT_TRUE(IsContactKey(team));
    EXPECT_TRUE(IsContactKey(carol));
    EXPECT_NE(carol, alice);
    EXPECT_EQ(logins.last.created, 4u);  // the group and three members; Alice is the friend

    contacts[1].nick = "Team 2024";
    names = logins.LogIn(contacts);
    EXPECT_EQ(logins.keys.KeyOf(names[1]), "");
    EXPECT_EQ(logins.keys.AddressNow("@@l1n1"), std::nullopt);
    logins.FetchMembers(contacts, names, 1);
    EXPECT_EQ(logins.keys.KeyOf(names[1]), team);
    EXPECT_EQ(logins.keys.AddressNow("@@l1n1"), names[1]);
    EXPECT_EQ(logins.keys.KeyOf(names[0]), alice);
    EXPECT_EQ(logins.keys.KeyOf("@m2Carol"), carol);
    EXPECT_EQ(logins.last.created, 0u);
    const std::vector<KnownContact> known = logins.keys.Known();
    const auto group = std::find_if(known.begin(), known.end(),
                                    [&](const KnownContact& k) { return k.key == team; });
    ASSERT_NE(group, known.end());
    EXPECT_EQ(group->identity.MemberNames.size(), 4u);
    EXPECT_EQ(group->identity.NickName, Gbk("Team 2024"));
}

TEST(ContactKeysTest, ATextIsReaddressedToTheSameContactOrToNobody) {
    std::vector<Someone> people = {{.nick = "Alice", .remark = "A"},
                                   {.nick = "Bob", .remark = "B"}};
    Logins logins;
    const std::vector<std::string> before = logins.LogIn(people);
    EXPECT_EQ(logins.keys.AddressNow(before[0]), before[0]);
    people.pop_back();
    const std::vector<std::string> after = logins.LogIn(people);
    EXPECT_EQ(logins.keys.AddressNow(before[0]), after[0]);
    EXPECT_EQ(logins.keys.AddressNow(after[0]), after[0]);
    EXPECT_EQ(logins.keys.AddressNow(before[1]), std::nullopt);
    EXPECT_EQ(logins.keys.AddressNow("filehelper"), "filehelper");
    EXPECT_EQ(logins.keys.UserNameOf(logins.keys.KeyOf(before[1])), "");
}

// Ten logins, every UserName new each time, one in twenty nicknames changed each time,
// and two pairs of friends who share a nickname: nearly everyone keeps the key, and no key
// ever stands for two people.
TEST(ContactKeysTest, RenamingScenarioKeepsNearlyEveryKeyAndNeverMergesTwoPeople) {
    constexpr std::size_t PEOPLE = 400;
    constexpr int LOGINS = 10;
    const std::vector<std::string> provinces = {"广东", "北京", "上海", "浙江", "四川", "湖南"};
    const std::vector<std::string> cities = {"一", "二", "三", "四", "五", "六", "七"};
    std::mt19937 random(7);
    std::vector<Someone> people;
    for (std::size_t i = 0; i < PEOPLE; ++i) {
        Someone who;
        who.nick = "p" + std::to_string(i);
        who.sex = random() % 2 == 0 ? "男" : "女";
        who.province = provinces[random() % provinces.size()];
        who.city = cities[random() % cities.size()];
        if (random() % 3 != 0) {
            who.signature = "sig " + std::to_string(random() % 100000);
        }
        people.push_back(who);
    }
    people[1].nick = people[0].nick;
    people[3].nick = people[2].nick;

    Logins logins;
    std::map<ContactKey, std::set<std::size_t>> named;  // key -> every person it named
    std::vector<ContactKey> first;
    std::size_t kept = 0;
    for (int login = 1; login <= LOGINS; ++login) {
        if (login > 1) {
            for (std::size_t changes = 0; changes < PEOPLE / 20; ++changes) {
                people[random() % PEOPLE].nick += "'";
            }
        }
        const std::vector<ContactKey> keys = logins.KeysOf(logins.LogIn(people));
        for (std::size_t i = 0; i < PEOPLE; ++i) {
            named[keys[i]].insert(i);
        }
        if (login == 1) {
            first = keys;
        }
        if (login == LOGINS) {
            for (std::size_t i = 0; i < PEOPLE; ++i) {
                kept += keys[i] == first[i] ? 1 : 0;
            }
        }
    }
    for (const auto& [key, persons] : named) {
        EXPECT_EQ(persons.size(), 1u) << key;
    }
    EXPECT_GE(kept * 100, PEOPLE * 99) << kept << " of " << PEOPLE;
}

}  // namespace
}  // namespace zelmo::contacts
