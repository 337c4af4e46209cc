#include <gtest/gtest.h>

#include <algorithm>
#include <barrier>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "contacts/ContactStore.h"
#include "support/TestSupport.h"

namespace zelmo::contacts {
namespace {

using test::Contact;

ContactRecord Named(std::string user_name, std::string nick_name = "nick") {
    ContactRecord record;
    record.UserName = std::move(user_name);
    record.NickName = std::move(nick_name);
    return record;
}

TEST(ContactStoreTest, AnEmptyStoreKnowsNobody) {
    const ContactStore store;
    EXPECT_EQ(store.Count(), 0u);
    EXPECT_EQ(store.FindContactIndex("@a"), 0u);
    EXPECT_EQ(store.FindContactIndex(""), 0u);
    EXPECT_EQ(store.FindNickName("@a"), NICKNAME_NOT_FOUND);
    EXPECT_FALSE(store.At(0).has_value());
    EXPECT_FALSE(store.At(1).has_value());
}

TEST(ContactStoreTest, IndexesCountFromOneInArrivalOrderAndADuplicateChangesNothing) {
    ContactStore store;
    EXPECT_EQ(store.AppendIfNew(Named("@b", "first b")), 1u);
    EXPECT_EQ(store.AppendIfNew(Named("@a", "first a")), 2u);
    EXPECT_EQ(store.AppendIfNew(Named("@b", "second b")), 0u);
    EXPECT_EQ(store.AppendIfNew(Named("@@g", "group")), 3u);

    ASSERT_EQ(store.Count(), 3u);
    EXPECT_EQ(store.FindContactIndex("@b"), 1u);
    EXPECT_EQ(store.FindContactIndex("@a"), 2u);
    EXPECT_EQ(store.FindContactIndex("@@g"), 3u);
    EXPECT_EQ(store.FindNickName("@b"), "first b");
    EXPECT_EQ(store.At(1)->NickName, "first b");
    EXPECT_FALSE(store.At(4).has_value());

    const std::vector<ContactRecord> all = store.Snapshot();
    ASSERT_EQ(all.size(), 3u);
    EXPECT_EQ(all[0].UserName, "@b");
    EXPECT_EQ(all[1].UserName, "@a");
    EXPECT_EQ(all[2].UserName, "@@g");
}

// Records are kept packed: every field must come back byte for byte, whatever its length
// or bytes, and every name must stay found as the index grows.
TEST(ContactStoreTest, EveryFieldComesBackAsItWentInAmongManyRecords) {
    ContactStore store;
    const std::string long_text(300, '\xb0');
    constexpr std::size_t COUNT = 20000;
    for (std::size_t i = 0; i < COUNT; ++i) {
        ContactRecord record;
        record.UserName = "@" + std::to_string(i * 7919);
        record.Uin = std::to_string(i);
        record.kind = i % 2 == 0 ? std::string(KIND_MALE) : std::string(KIND_GROUP);
        record.NickName = i % 3 == 0 ? long_text + std::to_string(i) : "";
        record.Province = std::string("\0\x7f\x80\xff", 4);
        record.City = std::string(i % 200, 'c');
        record.RemarkName = "r";
        record.Alias = std::string(128, 'a');
        record.MemberCount = "12";
        record.OwnerUin = "";
        record.Signature = std::string(i % 50, 's');
        ASSERT_EQ(store.AppendIfNew(record), i + 1);
    }
    EXPECT_EQ(store.AppendIfNew(Named("@0")), 0u);
    for (std::size_t i = 0; i < COUNT; i += 97) {
        const std::string name = "@" + std::to_string(i * 7919);
        ASSERT_EQ(store.FindContactIndex(name), i + 1) << name;
        const ContactRecord record = *store.At(i + 1);
        EXPECT_EQ(record.UserName, name);
        EXPECT_EQ(record.Uin, std::to_string(i));
        EXPECT_EQ(record.kind, i % 2 == 0 ? KIND_MALE : KIND_GROUP);
        EXPECT_EQ(record.NickName, i % 3 == 0 ? long_text + std::to_string(i) : "");
        EXPECT_EQ(store.FindNickName(name), record.NickName);
        EXPECT_EQ(record.Province, std::string("\0\x7f\x80\xff", 4));
        EXPECT_EQ(record.City, std::string(i % 200, 'c'));
        EXPECT_EQ(record.RemarkName, "r");
        EXPECT_EQ(record.Alias, std::string(128, 'a'));
        EXPECT_EQ(record.MemberCount, "12");
        EXPECT_EQ(record.OwnerUin, "");
        EXPECT_EQ(record.Signature, std::string(i % 50, 's'));
    }
    EXPECT_EQ(store.FindContactIndex("@1"), 0u);
    EXPECT_EQ(store.Snapshot().size(), COUNT);
}

// After a re-login the service names everyone anew: the lists show that login's records,
// while the older ones stay for what still names them.
TEST(ContactStoreTest, OnlyTheCurrentLoginsRecordsAreListed) {
    ContactStore store;
    store.AppendIfNew(Contact("@old", "Alice", "女"));
    store.AppendIfNew(Contact("@kept", "Bob", "男"));
    store.BeginLogin();
    EXPECT_TRUE(store.Snapshot().empty());
    EXPECT_FALSE(store.InCurrentLogin("@kept"));
    EXPECT_EQ(store.AppendIfNew(Contact("@new", "Alice", "女")), 3u);
    EXPECT_EQ(store.AppendIfNew(Contact("@kept", "Bob", "男")), 0u);

    const std::vector<ContactRecord> listed = store.Snapshot();
    ASSERT_EQ(listed.size(), 2u);
    EXPECT_EQ(listed[0].UserName, "@kept");
    EXPECT_EQ(listed[1].UserName, "@new");
    EXPECT_EQ(store.CountKinds().at(std::string(KIND_FEMALE)), 1u);
    EXPECT_TRUE(store.InCurrentLogin("@kept"));
    EXPECT_FALSE(store.InCurrentLogin("@old"));
    EXPECT_EQ(store.FindNickName("@old"), "Alice");
    EXPECT_EQ(store.Count(), 3u);
}

TEST(ContactStoreTest, LookupsCompareTheWholeNameWithCase) {
    ContactStore store;
    store.AppendIfNew(Named("@AbC"));
    EXPECT_EQ(store.FindContactIndex("@abc"), 0u);
    EXPECT_EQ(store.FindContactIndex("@ABC"), 0u);
    EXPECT_EQ(store.FindContactIndex("@Ab"), 0u);
    EXPECT_EQ(store.FindContactIndex("@AbCd"), 0u);
    EXPECT_EQ(store.FindNickName("@abc"), NICKNAME_NOT_FOUND);
    EXPECT_EQ(store.FindContactIndex("@AbC"), 1u);
    // A different case is another contact.
    EXPECT_EQ(store.AppendIfNew(Named("@abc")), 2u);
}

TEST(ContactStoreTest, GroupMembersAreSetOnlyInsideTheStore) {
    ContactStore store;
    store.AppendIfNew(Named("@@g"));
    std::vector<MemberRecord> members(2);
    members[0].UserName = "@m1";
    members[1].NickName = "second";
    EXPECT_FALSE(store.SetGroupMembers(0, "2", "9", members));
    EXPECT_FALSE(store.SetGroupMembers(2, "2", "9", members));
    store.AppendIfNew(Named("@after"));
    ASSERT_TRUE(store.SetGroupMembers(1, "2", "9", members));

    EXPECT_EQ(store.FindContactIndex("@@g"), 1u);
    EXPECT_EQ(store.FindContactIndex("@after"), 2u);
    const ContactRecord group = *store.At(1);
    EXPECT_EQ(group.MemberCount, "2");
    EXPECT_EQ(group.OwnerUin, "9");
    ASSERT_EQ(group.Members.size(), 2u);
    EXPECT_EQ(group.Members[0].UserName, "@m1");
    EXPECT_EQ(group.Members[1].NickName, "second");
}

// Round by round, twenty threads leave a barrier together and append one new name: each
// round exactly one of them may win.
TEST(ContactStoreTest, ThreadsReleasedTogetherAppendANewNameOnce) {
    constexpr int THREADS = 20;
    constexpr int ROUNDS = 1000;
    ContactStore store;
    std::barrier together(THREADS);
    std::vector<int> wins(ROUNDS, 0);
    std::mutex wins_mutex;
    std::vector<std::thread> threads;
    threads.reserve(THREADS);
    for (int t = 0; t < THREADS; ++t) {
        threads.emplace_back([&] {
            for (int round = 0; round < ROUNDS; ++round) {
                together.arrive_and_wait();
                if (store.AppendIfNew(Named("@r" + std::to_string(round))) != 0) {
                    std::lock_guard lock(wins_mutex);
                    ++wins[round];
                }
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(store.Count(), static_cast<std::size_t>(ROUNDS));
    EXPECT_EQ(std::count(wins.begin(), wins.end(), 1), ROUNDS);
}

}  // namespace
}  // namespace zelmo::contacts
