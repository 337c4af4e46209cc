#include <gtest/gtest.h>

#include <algorithm>
#include <barrier>
#include <latch>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "contacts/ContactStore.h"

namespace zelmo::contacts {
namespace {

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
    ASSERT_TRUE(store.SetGroupMembers(1, "2", "9", members));

    const ContactRecord group = *store.At(1);
    EXPECT_EQ(group.MemberCount, "2");
    EXPECT_EQ(group.OwnerUin, "9");
    ASSERT_EQ(group.Members.size(), 2u);
    EXPECT_EQ(group.Members[0].UserName, "@m1");
    EXPECT_EQ(group.Members[1].NickName, "second");
}

// Twenty threads append the same hundred names, each in its own order: every name ends up
// once, and the indexes stay 1..100 with each thread told the truth about its appends.
TEST(ContactStoreTest, ConcurrentAppendsOfTheSameNamesKeepEachOnce) {
    constexpr int THREADS = 20;
    constexpr int NAMES = 100;
    ContactStore store;
    std::latch start(THREADS);
    std::vector<std::vector<std::size_t>> won(THREADS);
    std::vector<std::thread> threads;
    threads.reserve(THREADS);
    for (int t = 0; t < THREADS; ++t) {
        threads.emplace_back([&, t] {
            std::vector<int> order(NAMES);
            for (int i = 0; i < NAMES; ++i) {
                order[i] = (i * 7 + t * 13) % NAMES;
            }
            start.arrive_and_wait();
            for (const int i : order) {
                const std::size_t index = store.AppendIfNew(Named("@n" + std::to_string(i)));
                if (index != 0) {
                    won[t].push_back(index);
                }
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }

    ASSERT_EQ(store.Count(), static_cast<std::size_t>(NAMES));
    std::set<std::size_t> indexes;
    for (const auto& list : won) {
        indexes.insert(list.begin(), list.end());
    }
    EXPECT_EQ(indexes.size(), static_cast<std::size_t>(NAMES));
    EXPECT_EQ(*indexes.begin(), 1u);
    EXPECT_EQ(*indexes.rbegin(), static_cast<std::size_t>(NAMES));
    for (int i = 0; i < NAMES; ++i) {
        const std::string name = "@n" + std::to_string(i);
        const std::size_t index = store.FindContactIndex(name);
        ASSERT_NE(index, 0u);
        EXPECT_EQ(store.At(index)->UserName, name);
    }
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
