// The contact store filled by the real start-up against the simulator, member fetches and
// contacts added later, over real TLS.
#include <gtest/gtest.h>

#include <algorithm>
#include <latch>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "app/Heartbeat.h"
#include "app/JobDispatch.h"
#include "contacts/ContactJobs.h"
#include "contacts/ContactRequests.h"
#include "platform/GbkLiteral.h"
#include "protocol/ConnectionState.h"
#include "protocol/SyncRequests.h"
#include "sim/Tokens.h"
#include "support/OnlineRobot.h"

namespace zelmo::test {
namespace {

using contacts::ContactRecord;
using platform::Gbk;
using namespace std::chrono_literals;

// Texts that a raw cut to the first `",` or the first `]` / `}` would get wrong.
constexpr const char* SCENARIO = R"json({
  "fun": "2",
  "account": {"Uin": 2100000001, "NickName": "Zelmo", "Sex": 1},
  "friends": [
    {"id": "alice", "NickName": "小爱 \"Ally\", {the} first", "Sex": 2, "Province": "广东\",",
     "City": "深圳", "Alias": "a\\\",b", "RemarkName": "老\\王", "in_init": true},
    {"id": "bob", "NickName": "Bob 😹", "Sex": 1},
    {"id": "carol", "NickName": "Carol", "Sex": 2, "in_init": true}
  ],
  "public_accounts": [{"id": "news", "NickName": "每日新闻"}],
  "contacts": [
    {"id": "odd", "NickName": "性别未知", "Sex": 3},
    {"id": "zero", "NickName": "没填性别的人", "Sex": 0}
  ],
  "groups": [
    {"id": "team", "NickName": "机器人测试群", "Sex": 1, "OwnerUin": 2100000001,
     "members": ["alice", {"id": "m1", "NickName": "a]b}c", "Uin": 11},
                 {"id": "m2", "NickName": "{x} [微笑] \"q\","}, "bob"]},
    {"id": "family", "NickName": "相亲相爱一家人 [微笑]", "in_init": false,
     "members": ["carol", {"id": "m3", "NickName": "]"}]}
  ]
})json";

// The scenario's contacts listed in the init answer.
const std::set<std::string> init_ids = {"alice", "carol", "team"};

OnlineRobot::Options ScenarioOptions(sim::Era era = sim::Era::Early2016) {
    OnlineRobot::Options options;
    options.scenario_json = SCENARIO;
    options.era = era;
    return options;
}

ContactRecord RecordOf(OnlineRobot& online, std::string_view id) {
    contacts::ContactStore& store = online.Robot().Contacts();
    const std::size_t index = store.FindContactIndex(online.Sim().UserNameOf(id));
    EXPECT_NE(index, 0u) << id;
    return store.At(index).value_or(ContactRecord{});
}

std::vector<sim::RecordedRequest> RequestsTo(OnlineRobot& online, std::string_view name) {
    std::vector<sim::RecordedRequest> found;
    for (sim::RecordedRequest& request : online.Sim().Requests()) {
        if (request.path == "/cgi-bin/mmwebwx-bin/" + std::string(name)) {
            found.push_back(std::move(request));
        }
    }
    return found;
}

std::size_t BatchRequestsFor(OnlineRobot& online, std::string_view user_name) {
    std::size_t count = 0;
    for (const sim::RecordedRequest& request : RequestsTo(online, "webwxbatchgetcontact")) {
        if (request.body.find("\"UserName\":\"" + std::string(user_name) + "\"") !=
            std::string::npos) {
            ++count;
        }
    }
    return count;
}

std::size_t MemberFetchesOf(const std::vector<StubScreen::Call>& calls, std::size_t index) {
    std::size_t count = 0;
    for (const StubScreen::Call& call : calls) {
        count += call.name == "GroupMembersFetched" && call.number == static_cast<int>(index);
    }
    return count;
}

// `text` is `before`, a time stamp (13 digits) and `after`.
void ExpectStamped(const std::string& text, const std::string& before, const std::string& after) {
    ASSERT_GE(text.size(), before.size() + after.size()) << text;
    EXPECT_EQ(text.substr(0, before.size()), before);
    EXPECT_EQ(text.substr(text.size() - after.size()), after);
    const std::string stamp =
        text.substr(before.size(), text.size() - before.size() - after.size());
    EXPECT_EQ(stamp.size(), 13u) << text;
    EXPECT_EQ(stamp.find_first_not_of("0123456789"), std::string::npos) << text;
}

class ContactsStartupTest : public ::testing::TestWithParam<sim::Era> {};

TEST_P(ContactsStartupTest, EveryContactIsKeptOnceInitFirstClassifiedAndDecoded) {
    OnlineRobot online(ScenarioOptions(GetParam()));
    ASSERT_EQ(online.Start(), "");
    const std::vector<ContactRecord> all = online.Robot().Contacts().Snapshot();

    std::vector<std::string> expected;
    for (const bool init : {true, false}) {
        for (const sim::ContactInfo& contact : online.Sim().Contacts()) {
            if (init_ids.contains(contact.id) == init) {
                expected.push_back(contact.user_name);
            }
        }
    }
    ASSERT_EQ(all.size(), expected.size());
    for (std::size_t i = 0; i < all.size(); ++i) {
        EXPECT_EQ(all[i].UserName, expected[i]) << i;
    }

    EXPECT_EQ(RecordOf(online, "alice").kind, contacts::KIND_FEMALE);
    EXPECT_EQ(RecordOf(online, "bob").kind, contacts::KIND_MALE);
    EXPECT_EQ(RecordOf(online, "news").kind, contacts::KIND_PUBLIC);
    // People who set no gender are people: only VerifyFlag makes an official account.
    EXPECT_EQ(RecordOf(online, "zero").kind, contacts::KIND_UNKNOWN);
    EXPECT_EQ(RecordOf(online, "odd").kind, contacts::KIND_UNKNOWN);
    EXPECT_EQ(RecordOf(online, "team").kind, contacts::KIND_GROUP);  // its Sex is 1
    EXPECT_EQ(RecordOf(online, "family").kind, contacts::KIND_GROUP);

    const ContactRecord alice = RecordOf(online, "alice");
    EXPECT_EQ(alice.NickName, Gbk("小爱 \"Ally\", {the} first"));
    EXPECT_EQ(alice.Province, Gbk("广东\","));
    EXPECT_EQ(alice.City, Gbk("深圳"));
    EXPECT_EQ(alice.Alias, "a\\\",b");
    EXPECT_EQ(alice.RemarkName, Gbk("老\\王"));
    EXPECT_EQ(alice.Uin, "0");
    EXPECT_EQ(RecordOf(online, "bob").NickName, "Bob ");
    EXPECT_EQ(online.Robot().Contacts().FindNickName(online.Sim().UserNameOf("news")),
              Gbk("每日新闻"));
    EXPECT_EQ(online.Robot().Contacts().FindNickName("@nobody"), Gbk("未搜索到"));

    EXPECT_EQ(contacts::SendStatusNotify(online.Robot().Link(), *online.Robot().State()), "0");
    EXPECT_EQ(online.Sim().Violations(), std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(BothEras, ContactsStartupTest,
                         ::testing::Values(sim::Era::Early2016, sim::Era::Late2018),
                         [](const ::testing::TestParamInfo<sim::Era>& info) {
                             return info.param == sim::Era::Early2016 ? "Era2016" : "Era2018";
                         });

TEST(ContactsOnlineTest, EachNewGroupGetsOneMemberFetchWithEveryMember) {
    OnlineRobot online(ScenarioOptions());
    ASSERT_EQ(online.Start(), "");
    ASSERT_TRUE(online.Screen().WaitForCall("GroupMembersFetched", 10s, 2));
    contacts::ContactStore& store = online.Robot().Contacts();
    const std::string team_name = online.Sim().UserNameOf("team");
    const std::string family_name = online.Sim().UserNameOf("family");
    const std::size_t team = store.FindContactIndex(team_name);
    const std::size_t family = store.FindContactIndex(family_name);
    EXPECT_EQ(MemberFetchesOf(online.Screen().Calls(), team), 1u);
    EXPECT_EQ(MemberFetchesOf(online.Screen().Calls(), family), 1u);
    EXPECT_EQ(BatchRequestsFor(online, team_name), 1u);
    EXPECT_EQ(BatchRequestsFor(online, family_name), 1u);

    const ContactRecord group = *store.At(team);
    EXPECT_EQ(group.MemberCount, "4");
    EXPECT_EQ(group.OwnerUin, "2100000001");
    ASSERT_EQ(group.Members.size(), 4u);
    EXPECT_EQ(group.Members[0].UserName, online.Sim().UserNameOf("alice"));
    EXPECT_EQ(group.Members[0].NickName, Gbk("小爱 \"Ally\", {the} first"));
    EXPECT_EQ(group.Members[1].UserName, sim::UserNameFor("m1", false));
    EXPECT_EQ(group.Members[1].NickName, "a]b}c");
    EXPECT_EQ(group.Members[1].Uin, "11");
    EXPECT_EQ(group.Members[2].NickName, Gbk("{x} [微笑] \"q\","));
    EXPECT_EQ(group.Members[3].UserName, online.Sim().UserNameOf("bob"));
    EXPECT_EQ(group.Members[3].NickName, "Bob ");
    EXPECT_EQ(group.Members[3].Uin, "0");

    const ContactRecord other = *store.At(family);
    ASSERT_EQ(other.Members.size(), 2u);
    EXPECT_EQ(other.Members[0].NickName, "Carol");
    EXPECT_EQ(other.Members[1].NickName, "]");
    EXPECT_EQ(other.OwnerUin, "0");
}

TEST(ContactsOnlineTest, RequestsCarryTheirExactPathsAndBodies) {
    OnlineRobot online(ScenarioOptions());
    ASSERT_EQ(online.Start(), "");
    ASSERT_TRUE(online.Screen().WaitForCall("GroupMembersFetched", 10s, 2));
    const sim::SessionInfo session = online.Sim().Session();
    const std::string skey = "%40" + session.skey.substr(1);
    const std::string base = R"({"BaseRequest":{"Uin":)" + session.uin + R"(,"Sid":")" +
                             session.sid + R"(","Skey":")" + session.skey + R"(","DeviceID":")" +
                             session.device_id + R"("},)";

    const auto lists = RequestsTo(online, "webwxgetcontact");
    ASSERT_EQ(lists.size(), 1u);
    EXPECT_EQ(lists[0].method, "post");
    EXPECT_EQ(lists[0].body, "{}");
    ExpectStamped(lists[0].query, "skey=" + skey + "&pass_ticket=" + session.pass_ticket + "&r=",
                  "&skey=" + skey + "&pass_ticket=" + session.pass_ticket);

    const auto notices = RequestsTo(online, "webwxstatusnotify");
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_EQ(notices[0].method, "post");
    ExpectStamped(notices[0].query, "r=", "&skey=" + skey + "&pass_ticket=" + session.pass_ticket);
    ExpectStamped(notices[0].body,
                  base + R"("Code":3,"FromUserName":")" + session.user_name +
                      R"(","ToUserName":")" + session.user_name + R"(","ClientMsgId":")",
                  R"("})");

    const auto batches = RequestsTo(online, "webwxbatchgetcontact");
    ASSERT_FALSE(batches.empty());
    for (const sim::RecordedRequest& batch : batches) {
        EXPECT_EQ(batch.method, "post");
        ExpectStamped(batch.query, "type=ex&pass_ticket=undefined&r=",
                      "&skey=" + skey + "&pass_ticket=undefined");
    }
    const std::string team_name = online.Sim().UserNameOf("team");
    const std::string team_body =
        base + R"("Count":1,"List":[{"UserName":")" + team_name + R"(","ChatRoomId":0}]})";
    EXPECT_EQ(std::count_if(batches.begin(), batches.end(),
                            [&](const auto& batch) { return batch.body == team_body; }),
              1);
    EXPECT_EQ(online.Sim().Violations(), std::vector<std::string>{});
}

TEST(ContactsOnlineTest, TheInitAnswersValuesWinOverTheFullList) {
    OnlineRobot online(ScenarioOptions());
    // The own avatar is fetched between webwxinit and webwxgetcontact: hold it back and
    // change two contacts meanwhile, so the full list differs from the init answer.
    sim::Fault hold;
    hold.kind = sim::FaultKind::Delay;
    hold.delay_ms = 2000;
    online.Sim().SetFault("webwxgeticon", hold);
    std::string started = "not run";
    std::thread starter([&] { started = online.Start(); });
    const bool held = online.Sim().WaitForRequest("webwxgeticon", 30s);
    if (held) {
        sim::ContactSpec alice;
        alice.id = "alice";
        alice.nick_name = "Alice renamed";
        alice.sex = 1;
        alice.in_init = true;
        online.Sim().ChangeContact(alice);
        sim::ContactSpec bob;
        bob.id = "bob";
        bob.nick_name = "Bob renamed";
        online.Sim().ChangeContact(bob);
    }
    starter.join();
    ASSERT_TRUE(held);
    ASSERT_EQ(started, "");
    ASSERT_EQ(RequestsTo(online, "webwxgetcontact").size(), 1u);

    const ContactRecord alice = RecordOf(online, "alice");
    EXPECT_EQ(alice.NickName, Gbk("小爱 \"Ally\", {the} first"));
    EXPECT_EQ(alice.kind, contacts::KIND_FEMALE);
    EXPECT_EQ(alice.Province, Gbk("广东\","));
    // The full list did carry the changes: a contact first named there takes them.
    EXPECT_EQ(RecordOf(online, "bob").NickName, "Bob renamed");
    EXPECT_EQ(online.Robot().Contacts().Count(), online.Sim().Contacts().size());
}

TEST(ContactsOnlineTest, FailedMemberFetchesAreTriedAgainUntilEachGroupHasItsMembers) {
    OnlineRobot online(ScenarioOptions());
    sim::Fault empty;
    empty.kind = sim::FaultKind::Empty200;
    empty.times = 3;
    online.Sim().SetFault("webwxbatchgetcontact", empty);
    ASSERT_EQ(online.Start(), "");
    ASSERT_TRUE(online.Screen().WaitForCall("GroupMembersFetched", 10s, 2));
    const ContactRecord team = RecordOf(online, "team");
    EXPECT_EQ(team.MemberCount, "4");
    EXPECT_EQ(team.OwnerUin, "2100000001");
    EXPECT_EQ(team.Members.size(), 4u);
    EXPECT_EQ(RecordOf(online, "family").Members.size(), 2u);
    // Two groups, three failures: five fetches, each group shown once it had its members.
    EXPECT_EQ(RequestsTo(online, "webwxbatchgetcontact").size(), 5u);
    EXPECT_EQ(online.Screen().CountOf("GroupMembersFetched"), 2u);
}

// Without the full list (it fails for good) the store knows only the init answer's
// contacts.
class ContactsLaterTest : public ::testing::Test {
protected:
    void SetUp() override {
        sim::Fault empty;
        empty.kind = sim::FaultKind::Empty200;
        empty.sticky = true;
        online.Sim().SetFault("webwxgetcontact", empty);
        ASSERT_EQ(online.Start(), "");
        ASSERT_EQ(online.Robot().Contacts().Count(), init_ids.size());
    }

    OnlineRobot online{ScenarioOptions()};
};

TEST_F(ContactsLaterTest, TwentyWorkersAddingTheSameUnknownGroupAppendItOnce) {
    constexpr int WORKERS = 20;
    app::Robot& robot = online.Robot();
    const std::string family = online.Sim().UserNameOf("family");
    const std::size_t refreshes = online.Screen().CountOf("RefreshContactLists");
    std::latch start(WORKERS);
    std::vector<std::thread> workers;
    workers.reserve(WORKERS);
    for (int i = 0; i < WORKERS; ++i) {
        workers.emplace_back([&] {
            start.arrive_and_wait();
            contacts::EnsureContactKnown(robot.Link(), *robot.State(), robot.Contacts(),
                                         robot.Queue(), robot.Screen(), robot.Pause(), family);
        });
    }
    for (std::thread& worker : workers) {
        worker.join();
    }

    ASSERT_EQ(robot.Contacts().Count(), init_ids.size() + 1);
    const std::size_t index = robot.Contacts().FindContactIndex(family);
    EXPECT_EQ(index, init_ids.size() + 1);
    EXPECT_EQ(robot.Contacts().At(index)->kind, contacts::KIND_GROUP);
    EXPECT_EQ(online.Screen().CountOf("RefreshContactLists"), refreshes + 1);
    ASSERT_TRUE(online.Screen().WaitUntil(
        [&](const std::vector<StubScreen::Call>& calls) {
            return MemberFetchesOf(calls, index) >= 1;
        },
        10s));
    EXPECT_EQ(MemberFetchesOf(online.Screen().Calls(), index), 1u);
    EXPECT_EQ(robot.Contacts().At(index)->Members.size(), 2u);
}

TEST_F(ContactsLaterTest, AnUnknownContactIsFetchedOnceTheRobotIsOnline) {
    app::Robot& robot = online.Robot();
    const std::string bob = online.Sim().UserNameOf("bob");
    const std::size_t refreshes = online.Screen().CountOf("RefreshContactLists");
    const auto ensure = [&](const std::string& user_name) {
        contacts::EnsureContactKnown(robot.Link(), *robot.State(), robot.Contacts(), robot.Queue(),
                                     robot.Screen(), robot.Pause(), user_name);
    };

    const std::string alice = online.Sim().UserNameOf("alice");
    ensure(alice);
    EXPECT_EQ(BatchRequestsFor(online, alice), 0u);

    // Unknown to the service too: asked, nothing added, the lists stay.
    ensure("@nobody");
    EXPECT_EQ(BatchRequestsFor(online, "@nobody"), 1u);
    EXPECT_EQ(robot.Contacts().Count(), init_ids.size());
    EXPECT_EQ(online.Screen().CountOf("RefreshContactLists"), refreshes);

    // Offline, the job waits for the robot to come back instead of being dropped.
    robot.Connection().Set(protocol::STATE_OFFLINE);
    std::thread worker([&] {
        app::RunJob(robot, jobs::Job{contacts::JOB_CONTACT_CHANGED, {bob, "", "", ""}});
    });
    ASSERT_TRUE(robot.Connection().WaitForWaiters(1, 10s));
    EXPECT_EQ(BatchRequestsFor(online, bob), 0u);
    robot.Connection().Set(protocol::STATE_ONLINE);
    worker.join();
    EXPECT_EQ(BatchRequestsFor(online, bob), 1u);
    const std::size_t index = robot.Contacts().FindContactIndex(bob);
    ASSERT_EQ(index, init_ids.size() + 1);
    EXPECT_EQ(robot.Contacts().At(index)->NickName, "Bob ");
    EXPECT_EQ(robot.Contacts().At(index)->kind, contacts::KIND_MALE);
    EXPECT_EQ(online.Screen().CountOf("RefreshContactLists"), refreshes + 1);
    ensure(bob);
    EXPECT_EQ(BatchRequestsFor(online, bob), 1u);
}

}  // namespace
}  // namespace zelmo::test
