// Contact answers written by the simulator's own answer writer (the service's layout), and
// hand-made texts where the writer cannot produce the case, through both paths:
// AddContacts on the answer's bytes, and ParseContacts on its GBK text.
#include <gtest/gtest.h>

#include <random>
#include <set>
#include <string>
#include <vector>

#include "contacts/ContactAnswer.h"
#include "contacts/ContactJobs.h"
#include "contacts/ContactParsing.h"
#include "jobs/JobQueue.h"
#include "platform/Encoding.h"
#include "sim/Answers.h"
#include "sim/Scenario.h"

namespace zelmo::contacts {
namespace {

using platform::Utf8ToGbk;

sim::ContactSpec Person(std::string id, std::string nick_name, int sex) {
    sim::ContactSpec contact;
    contact.id = std::move(id);
    contact.nick_name = std::move(nick_name);
    contact.sex = sex;
    return contact;
}

sim::ContactSpec Group(std::string id, std::string nick_name,
                       std::vector<sim::ContactSpec> members) {
    sim::ContactSpec contact = Person(std::move(id), std::move(nick_name), 0);
    contact.is_group = true;
    contact.contact_flag = 2;
    contact.members = std::move(members);
    return contact;
}

std::vector<const sim::ContactSpec*> Pointers(const std::vector<sim::ContactSpec>& people) {
    std::vector<const sim::ContactSpec*> list;
    list.reserve(people.size());
    for (const sim::ContactSpec& contact : people) {
        list.push_back(&contact);
    }
    return list;
}

// A webwxgetcontact answer, as the service sends it.
std::string ContactListAnswer(std::vector<sim::ContactSpec>& people,
                              sim::Era era = sim::Era::Early2016) {
    sim::AssignUserNames(people);
    return sim::GetContactAnswer(era, 0, Pointers(people), "@crypt_1_2");
}

std::string InitAnswerWith(std::vector<sim::ContactSpec>& people) {
    sim::AssignUserNames(people);
    sim::InitData data;
    data.account.uin = 2100000001;
    data.account.user_name = "@own";
    data.account.nick_name = "own";
    data.contacts = Pointers(people);
    data.sync_key = {{1, 100}, {2, 200}};
    data.skey = "@crypt_1_2";
    return sim::InitAnswer(sim::Era::Early2016, data);
}

enum class Path { OnePass, Reference };
constexpr Path PATHS[] = {Path::OnePass, Path::Reference};

// Adds an answer's new contacts as the path does; how many were added.
std::size_t Add(Path path, ContactStore& store, jobs::JobQueue& queue, std::string_view answer) {
    return path == Path::Reference ? ParseContacts(store, queue, Utf8ToGbk(answer))
                                   : AddContacts(store, queue, answer);
}

std::string PathName(Path path) {
    return path == Path::OnePass ? "one pass" : "reference";
}

std::vector<jobs::Job> TakeAll(jobs::JobQueue& queue) {
    std::vector<jobs::Job> jobs;
    const std::atomic<bool> stop{false};
    while (queue.Size() > 0) {
        jobs.push_back(*queue.Take(stop));
    }
    return jobs;
}

// What the tricky names of the test below come out as.
void ExpectTrickyRecords(const ContactStore& store, const sim::ContactSpec& tricky,
                         const sim::ContactSpec& group) {
    const ContactRecord first = *store.At(1);
    EXPECT_EQ(first.NickName, Utf8ToGbk(tricky.nick_name));
    EXPECT_EQ(first.RemarkName, Utf8ToGbk(tricky.remark_name));
    EXPECT_EQ(first.Province, Utf8ToGbk(tricky.province));
    EXPECT_EQ(first.City, Utf8ToGbk(tricky.city));
    EXPECT_EQ(first.Alias, tricky.alias);
    EXPECT_EQ(first.Signature, Utf8ToGbk("签名\",!"));
    EXPECT_EQ(first.Uin, "123456789");
    EXPECT_EQ(first.kind, KIND_FEMALE);  // cut after the nickname's brace
    EXPECT_EQ(first.MemberCount, "0");
    EXPECT_EQ(first.OwnerUin, "0");

    // The emoji's markup goes; the service's entities read as their characters.
    EXPECT_EQ(store.At(2)->NickName, "Bob  & <Co>");

    const ContactRecord third = *store.At(3);
    EXPECT_EQ(third.NickName, Utf8ToGbk(group.nick_name));
    EXPECT_EQ(third.MemberCount, "1");
    EXPECT_EQ(third.OwnerUin, "42");
    EXPECT_TRUE(third.Members.empty());
}

class ParseContactsTest : public ::testing::TestWithParam<sim::Era> {
protected:
    jobs::JobQueue queue;
};

TEST_P(ParseContactsTest, ClassifiesEveryKindAndAGroupStaysAGroupWhateverItsSex) {
    std::vector<sim::ContactSpec> people = {
        Person("male", "m", 1),    Person("female", "f", 2),     Person("zero", "z", 0),
        Person("odd", "o", 3),     Group("group", "g", {}),      Group("group1", "g1", {}),
        Person("sub", "s", 0),     Person("service", "v", 0),    Person("verified", "x", 0),
        Person("flagged", "y", 1), Person("other_flag", "q", 2),
    };
    people[5].sex = 1;
    // Official accounts carry bit 8 of VerifyFlag, whatever their Sex says.
    people[6].verify_flag = 8;
    people[7].verify_flag = 24;
    people[8].verify_flag = 56;
    people[9].verify_flag = 8;
    people[10].verify_flag = 16;
    const std::string answer = ContactListAnswer(people, GetParam());

    for (const Path path : PATHS) {
        SCOPED_TRACE(PathName(path));
        ContactStore store;
        ASSERT_EQ(Add(path, store, queue, answer), people.size());
        EXPECT_EQ(store.At(1)->kind, KIND_MALE);
        EXPECT_EQ(store.At(2)->kind, KIND_FEMALE);
        EXPECT_EQ(store.At(3)->kind, KIND_UNKNOWN);
        EXPECT_EQ(store.At(4)->kind, KIND_UNKNOWN);
        EXPECT_EQ(store.At(5)->kind, KIND_GROUP);
        EXPECT_EQ(store.At(6)->kind, KIND_GROUP);
        for (std::size_t i = 7; i <= 10; ++i) {
            EXPECT_EQ(store.At(i)->kind, KIND_PUBLIC) << i;
        }
        EXPECT_EQ(store.At(11)->kind, KIND_FEMALE);
        for (std::size_t i = 0; i < people.size(); ++i) {
            EXPECT_EQ(store.At(i + 1)->UserName, people[i].user_name);
        }
    }
}

TEST_P(ParseContactsTest, TextsEndAtTheirRealQuoteAndAreDecodedWhileTokensStayRaw) {
    sim::ContactSpec tricky = Person("tricky", "小爱 \"Ally\", {the} first 乗\"end", 2);
    tricky.remark_name = "老\\王\",\ttab";
    tricky.province = "广东\",";
    tricky.city = "深圳 \\\"";
    tricky.alias = "a\",b";
    tricky.signature = "签名\",😹!";
    tricky.uin = 123456789;
    sim::ContactSpec emoji = Person("emoji", "Bob 😹 & <Co>", 1);
    sim::ContactSpec group = Group("group", "群 [微笑]", {Person("member", "m", 1)});
    group.owner_uin = 42;
    std::vector<sim::ContactSpec> people = {tricky, emoji, group};
    const std::string answer = ContactListAnswer(people, GetParam());

    for (const Path path : PATHS) {
        SCOPED_TRACE(PathName(path));
        ContactStore store;
        ASSERT_EQ(Add(path, store, queue, answer), 3u);
        ExpectTrickyRecords(store, tricky, group);
    }
}

INSTANTIATE_TEST_SUITE_P(BothEras, ParseContactsTest,
                         ::testing::Values(sim::Era::Early2016, sim::Era::Late2018),
                         [](const ::testing::TestParamInfo<sim::Era>& info) {
                             return info.param == sim::Era::Early2016 ? "Era2016" : "Era2018";
                         });

TEST(ParseContactsTextTest, UnicodeEscapesBecomeGbkAndUnmappableOnesVanish) {
    const std::string text =
        "{\"MemberList\": [{\"Uin\": 7,\n\"UserName\": \"@u\",\n"
        "\"NickName\": \"\\u5c0f\\u7231 \\ud83d\\ude39!\",\n"
        "\"RemarkName\": \"line\\nbreak\",\n\"Sex\": 2,\n\"Province\": \"\\u5e7f\\u4e1c\",\n"
        "\"City\": \"\",\n\"Alias\": \"\\u0041\\/b\",\n\"ChatRoomId\": 0\n}]}";
    for (const Path path : PATHS) {
        SCOPED_TRACE(PathName(path));
        ContactStore store;
        jobs::JobQueue queue;
        ASSERT_EQ(Add(path, store, queue, text), 1u);
        const ContactRecord record = *store.At(1);
        EXPECT_EQ(record.NickName, Utf8ToGbk("小爱 !"));
        EXPECT_EQ(record.RemarkName, "line\nbreak");
        EXPECT_EQ(record.Province, Utf8ToGbk("广东"));
        EXPECT_EQ(record.City, "");
        EXPECT_EQ(record.Alias, "A/b");
        EXPECT_EQ(record.Uin, "7");
        // Fields the object lacks are empty.
        EXPECT_EQ(record.MemberCount, "");
        EXPECT_EQ(record.OwnerUin, "");
    }
}

TEST(ParseContactsTextTest, AContactInBothAnswersKeepsTheFirstValues) {
    std::vector<sim::ContactSpec> init = {Person("alice", "Alice at init", 2),
                                          Group("team", "team at init", {Person("m", "m", 1)})};
    std::vector<sim::ContactSpec> full = init;
    full[0].nick_name = "Alice later";
    full[0].sex = 1;
    full[1].nick_name = "team later";
    full.insert(full.begin(), Person("bob", "Bob", 1));
    const std::string init_answer = InitAnswerWith(init);
    const std::string full_answer = ContactListAnswer(full);

    for (const Path path : PATHS) {
        SCOPED_TRACE(PathName(path));
        ContactStore store;
        jobs::JobQueue queue;
        ASSERT_EQ(Add(path, store, queue, init_answer), 2u);
        EXPECT_EQ(Add(path, store, queue, full_answer), 1u);
        ASSERT_EQ(store.Count(), 3u);
        EXPECT_EQ(store.At(1)->NickName, "Alice at init");
        EXPECT_EQ(store.At(1)->kind, KIND_FEMALE);
        EXPECT_EQ(store.At(2)->NickName, "team at init");
        EXPECT_EQ(store.At(3)->UserName, full[0].user_name);
    }
}

TEST(ParseContactsTextTest, EachNewGroupPostsOneMemberJobWithItsIndex) {
    std::vector<sim::ContactSpec> people = {Person("a", "a", 1), Group("g1", "g1", {}),
                                            Person("b", "b", 2), Group("g2", "g2", {})};
    const std::string answer = ContactListAnswer(people);
    for (const Path path : PATHS) {
        SCOPED_TRACE(PathName(path));
        ContactStore store;
        jobs::JobQueue queue;
        store.AppendIfNew(ContactRecord{});  // an earlier record shifts the indexes

        Add(path, store, queue, answer);
        const std::vector<jobs::Job> jobs = TakeAll(queue);
        ASSERT_EQ(jobs.size(), 2u);
        for (std::size_t i = 0; i < jobs.size(); ++i) {
            const std::string& group_name = people[i == 0 ? 1 : 3].user_name;
            EXPECT_EQ(jobs[i].kind, JOB_GROUP_MEMBERS);
            EXPECT_EQ(jobs[i].texts[0], std::to_string(store.FindContactIndex(group_name)));
            EXPECT_EQ(jobs[i].texts[1], "");
            EXPECT_EQ(jobs[i].texts[2], "");
            EXPECT_EQ(jobs[i].texts[3], "");
        }

        EXPECT_EQ(Add(path, store, queue, answer), 0u);
        EXPECT_EQ(queue.Size(), 0u);
    }
}

// Every prefix of an answer and random bytes: nothing breaks, only whole contacts are
// added, and never more than the answer holds.
TEST(ParseContactsTextTest, AnyBytesGiveABoundedResult) {
    std::vector<sim::ContactSpec> people = {Person("a", "a\"}]", 1), Group("g", "g", {}),
                                            Person("b", "小\\b", 2)};
    const std::string answer = ContactListAnswer(people);
    std::set<std::string> names;
    for (const sim::ContactSpec& contact : people) {
        names.insert(contact.user_name);
    }
    for (std::size_t length = 0; length <= answer.size(); ++length) {
        for (const Path path : PATHS) {
            ContactStore store;
            jobs::JobQueue queue;
            const std::size_t added = Add(path, store, queue, answer.substr(0, length));
            ASSERT_LE(added, people.size());
            for (const ContactRecord& record : store.Snapshot()) {
                ASSERT_TRUE(names.contains(record.UserName))
                    << PathName(path) << " prefix " << length;
            }
        }
    }

    std::mt19937 random(7);
    std::uniform_int_distribution<int> byte(0, 255);
    const std::string pieces[] = {"Uin\": ", "\"UserName\": \"", "ChatRoomId", "}", "\\", "\"",
                                  "\xb0",    "\"NickName\": \"", ","};
    for (int round = 0; round < 200; ++round) {
        std::string text;
        for (int i = 0; i < 300; ++i) {
            text += random() % 3 == 0 ? pieces[random() % std::size(pieces)]
                                      : std::string(1, static_cast<char>(byte(random)));
        }
        for (const Path path : PATHS) {
            ContactStore store;
            jobs::JobQueue queue;
            const std::size_t added = Add(path, store, queue, text);
            EXPECT_EQ(added, store.Count());
        }
    }
}

}  // namespace
}  // namespace zelmo::contacts
