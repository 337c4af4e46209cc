// The member data of webwxbatchgetcontact answers written by the simulator's answer writer,
// read by the one-pass reader and by the reference cut it replaced: both must give it.
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "contacts/ContactAnswer.h"
#include "contacts/ContactCutReference.h"
#include "platform/Encoding.h"
#include "sim/Answers.h"
#include "sim/Scenario.h"

namespace zelmo::contacts {
namespace {

using platform::Utf8ToGbk;

sim::ContactSpec Member(std::string id, std::string nick_name, std::int64_t uin = 0) {
    sim::ContactSpec contact;
    contact.id = std::move(id);
    contact.nick_name = std::move(nick_name);
    contact.uin = uin;
    return contact;
}

// The answer for one group, as the service sends it.
std::string GroupAnswer(sim::ContactSpec& group) {
    group.is_group = true;
    group.contact_flag = 2;
    std::vector<sim::ContactSpec> one = {group};
    sim::AssignUserNames(one);
    group = one[0];
    return sim::BatchGetContactAnswer(sim::Era::Early2016, 0, {&one[0]}, "@crypt_1_2");
}

// The reader's result on the answer, and the reference's on its GBK text.
std::array<GroupMembers, 2> BothReads(std::string_view answer) {
    return {ReadGroupMembers(answer), reference::CutGroupMembers(Utf8ToGbk(answer))};
}

std::string Replaced(std::string text, const std::string& from, const std::string& to) {
    const std::size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos) {
        text.replace(at, from.size(), to);
    }
    return text;
}

TEST(GroupMembersTest, BracketsAndBracesInNicknamesCutNoMemberOff) {
    sim::ContactSpec group;
    group.id = "team";
    group.nick_name = "群 [微笑]";
    group.owner_uin = 2100000001;
    group.members = {Member("m1", "a]b}c", 11), Member("m2", "{x} [微笑] \"q\",", 12),
                     Member("m3", "]", 13), Member("m4", "乗\"}", 14), Member("m5", "last 😹")};
    // The group's name card of a member (the service's DisplayName).
    group.members[1].remark_name = "卡片 & \"名\"";
    const std::string answer = GroupAnswer(group);

    for (const GroupMembers& cut : BothReads(answer)) {
        EXPECT_EQ(cut.member_count, "5");
        EXPECT_EQ(cut.owner_uin, "2100000001");
        ASSERT_EQ(cut.members.size(), group.members.size());
        for (std::size_t i = 0; i + 1 < group.members.size(); ++i) {
            EXPECT_EQ(cut.members[i].UserName, group.members[i].user_name) << i;
            EXPECT_EQ(cut.members[i].Uin, std::to_string(group.members[i].uin)) << i;
            EXPECT_EQ(cut.members[i].NickName, Utf8ToGbk(group.members[i].nick_name)) << i;
        }
        EXPECT_EQ(cut.members[4].UserName, group.members[4].user_name);
        EXPECT_EQ(cut.members[4].NickName, "last ");
        EXPECT_EQ(cut.members[0].DisplayName, "");
        EXPECT_EQ(cut.members[1].DisplayName, Utf8ToGbk("卡片 & \"名\""));
    }
}

TEST(GroupMembersTest, TheSlotsFollowMemberCount) {
    sim::ContactSpec group;
    group.id = "team";
    group.members = {Member("m1", "one"), Member("m2", "two"), Member("m3", "three")};
    const std::string answer = GroupAnswer(group);

    // More objects than slots: the extra ones are ignored.
    for (const GroupMembers& fewer :
         BothReads(Replaced(answer, "\"MemberCount\": 3,", "\"MemberCount\": 2,"))) {
        ASSERT_EQ(fewer.members.size(), 2u);
        EXPECT_EQ(fewer.members[1].NickName, "two");
    }

    // More slots than objects: the rest stay empty.
    for (const GroupMembers& more :
         BothReads(Replaced(answer, "\"MemberCount\": 3,", "\"MemberCount\": 5,"))) {
        ASSERT_EQ(more.members.size(), 5u);
        EXPECT_EQ(more.members[2].NickName, "three");
        EXPECT_EQ(more.members[3].UserName, "");
        EXPECT_EQ(more.members[4].NickName, "");
    }

    for (const char* count : {"0", "-4", "x", "\"3\""}) {
        for (const GroupMembers& none : BothReads(Replaced(
                 answer, "\"MemberCount\": 3,", std::string("\"MemberCount\": ") + count + ","))) {
            EXPECT_EQ(none.member_count, count);
            EXPECT_TRUE(none.members.empty()) << count;
        }
    }

    // A wild count cannot take the memory.
    for (const GroupMembers& wild : BothReads(Replaced(
             answer, "\"MemberCount\": 3,", "\"MemberCount\": 99999999999999999999999,"))) {
        EXPECT_EQ(wild.members.size(), MAX_MEMBER_SLOTS);
        EXPECT_EQ(wild.members[0].NickName, "one");
    }
}

TEST(GroupMembersTest, EmptyOrBrokenAnswersLeaveNoMembers) {
    for (const GroupMembers& empty : BothReads("")) {
        EXPECT_EQ(empty.member_count, "");
        EXPECT_EQ(empty.owner_uin, "");
        EXPECT_TRUE(empty.members.empty());
    }

    // An unknown UserName: the service lists nothing.
    for (const GroupMembers& unknown :
         BothReads(sim::BatchGetContactAnswer(sim::Era::Early2016, 0, {}, "@crypt_1_2"))) {
        EXPECT_EQ(unknown.member_count, "");
        EXPECT_TRUE(unknown.members.empty());
    }

    sim::ContactSpec group;
    group.id = "team";
    group.members = {Member("m1", "one"), Member("m2", "two")};
    const std::string answer = GroupAnswer(group);
    for (std::size_t length = 0; length <= answer.size(); ++length) {
        for (const GroupMembers& cut : BothReads(answer.substr(0, length))) {
            ASSERT_LE(cut.members.size(), group.members.size()) << length;
            for (const MemberRecord& member : cut.members) {
                // A cut list gives no half members: a slot is filled whole or not at all.
                ASSERT_TRUE(member.UserName.empty() ||
                            member.UserName ==
                                group.members[&member - cut.members.data()].user_name)
                    << length;
            }
        }
    }
}

}  // namespace
}  // namespace zelmo::contacts
