#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/Heartbeat.h"
#include "app/JobDispatch.h"
#include "jobs/JobQueue.h"
#include "messages/Intake.h"
#include "messages/MessageJobs.h"
#include "platform/Encoding.h"
#include "platform/Files.h"
#include "platform/GbkLiteral.h"
#include "protocol/ConnectionState.h"
#include "protocol/SyncRequests.h"
#include "support/SyncRig.h"

namespace zelmo::test {
namespace {

using jobs::Job;
using platform::Gbk;

constexpr std::string_view LEARNED_REPLY_TEMPLATE = "学习成功！对我说[sp1]试试吧！";

// The rig with the learning templates loaded, so that a learning command gets an answer
// from the chain itself.
class IntakeRig : public SyncRig {
public:
    explicit IntakeRig(sim::Era era = sim::Era::Early2016) : SyncRig(Options{.era = era}) {}

    std::string Start() {
        std::string failure = LogIn();
        messages::LangTemplates& templates = Robot().Templates();
        templates.format_a = Gbk("问：");
        templates.format_b = Gbk("答：");
        templates.return_text = Gbk(LEARNED_REPLY_TEMPLATE);
        return failure;
    }

    // One webwxsync; the kind-5 jobs it posts.
    std::vector<Job> Sync() {
        std::string answer;
        if (!app::SyncAndKeepKey(Robot(), answer)) {
            ADD_FAILURE() << "webwxsync failed";
            return {};
        }
        app::PostSyncNews(Robot().Queue(), protocol::ReadSyncNews(answer));
        return TakeJobs();
    }

    // Delivers one message and runs its job; the jobs that running it posted.
    std::vector<Job> Handle(const sim::MessageSpec& message) {
        Sim().DeliverMessage(message);
        const std::vector<Job> items = Sync();
        if (items.size() != 1) {
            ADD_FAILURE() << items.size() << " items for one message";
            return {};
        }
        app::RunJob(Robot(), items[0]);
        return TakeJobs();
    }

    void ChangeSettings(const std::function<void(config::Settings&)>& change) {
        Robot().Settings().Update(change);
    }
};

std::vector<Job> OfKind(const std::vector<Job>& jobs, int kind) {
    std::vector<Job> found;
    for (const Job& job : jobs) {
        if (job.kind == kind) {
            found.push_back(job);
        }
    }
    return found;
}

std::string Learned(std::string_view question_utf8) {
    return Gbk("学习成功！对我说") + Gbk(question_utf8) + Gbk("试试吧！");
}

class IntakeEras : public ::testing::TestWithParam<sim::Era> {};

TEST_P(IntakeEras, EveryMessageOfAnAnswerIsCutDecodedAndLoggedInOrder) {
    IntakeRig rig(GetParam());
    ASSERT_EQ(rig.Start(), "");
    sim::Simulator& simulator = rig.Sim();
    simulator.DeliverMessage({.from = "alice", .text = "她说 \"好\" \\ ok 😹!"});
    simulator.DeliverMessage({.from = "team", .member = "bob", .text = "大家好\n第二行"});
    simulator.DeliverMessage(
        {.kind = sim::MessageKind::Location, .from = "bob", .text = "深圳市福田区"});
    const std::vector<Job> items = rig.Sync();
    ASSERT_EQ(items.size(), 3u);

    std::vector<Job> logs;
    for (const Job& item : items) {
        app::RunJob(rig.Robot(), item);
        const std::vector<Job> posted = rig.TakeJobs();
        ASSERT_EQ(OfKind(posted, messages::JOB_LOG_ENTRY).size(), 1u);
        logs.push_back(OfKind(posted, messages::JOB_LOG_ENTRY)[0]);
    }
    const std::string own = rig.Own();
    const std::vector<std::array<std::string, 4>> expected = {
        {simulator.UserNameOf("alice"), own, Gbk("她说 \"好\" \\ ok !"), ""},
        {simulator.UserNameOf("team"), own,
         simulator.UserNameOf("bob") + Gbk(":<br/>大家好<br/>第二行"), ""},
        {simulator.UserNameOf("bob"), own, Gbk("[地理位置]深圳市福田区"), ""},
    };
    for (std::size_t i = 0; i < logs.size(); ++i) {
        EXPECT_EQ(logs[i].texts, expected[i]) << "message " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(Eras, IntakeEras,
                         ::testing::Values(sim::Era::Early2016, sim::Era::Late2018),
                         [](const ::testing::TestParamInfo<sim::Era>& info) {
                             return info.param == sim::Era::Early2016 ? "Early2016" : "Late2018";
                         });

TEST(IntakeTest, OwnMessagesAreLoggedAndNeverAnswered) {
    IntakeRig rig;
    ASSERT_EQ(rig.Start(), "");
    const std::string command = "问：天气 答：晴";
    const std::string alice = rig.Sim().UserNameOf("alice");

    const std::vector<Job> own = rig.Handle({.from = "self", .to = "alice", .text = command});
    ASSERT_EQ(own.size(), 1u);
    EXPECT_EQ(own[0].kind, messages::JOB_LOG_ENTRY);
    EXPECT_EQ(own[0].texts, (std::array<std::string, 4>{rig.Own(), alice, Gbk(command), ""}));

    const std::vector<Job> theirs = rig.Handle({.from = "alice", .text = command});
    const std::vector<Job> replies = OfKind(theirs, messages::JOB_SEND_TEXT);
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_EQ(replies[0].texts, (std::array<std::string, 4>{alice, Learned("天气"), "", ""}));

    // Without 显示消息 an own message posts nothing at all.
    rig.ChangeSettings([](config::Settings& settings) { settings.显示消息 = false; });
    EXPECT_TRUE(rig.Handle({.from = "self", .to = "alice", .text = command}).empty());
    EXPECT_EQ(
        OfKind(rig.Handle({.from = "alice", .text = command}), messages::JOB_LOG_ENTRY).size(), 0u);
}

TEST(IntakeTest, GroupMessagesAreAnsweredToTheGroupWhenGroupLearningIsOn) {
    IntakeRig rig;
    ASSERT_EQ(rig.Start(), "");
    const std::string team = rig.Sim().UserNameOf("team");
    const sim::MessageSpec group_command{
        .from = "team", .member = "bob", .text = "问：早 答：早安"};
    std::vector<Job> replies = OfKind(rig.Handle(group_command), messages::JOB_SEND_TEXT);
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_EQ(replies[0].texts, (std::array<std::string, 4>{team, Learned("早"), "", ""}));

    // Friend learning alone does not cover groups: the knowledge base answers instead, with
    // the pair learned above. The same text from a friend is learned.
    rig.ChangeSettings([](config::Settings& settings) { settings.群学习 = false; });
    replies = OfKind(rig.Handle(group_command), messages::JOB_SEND_TEXT);
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_EQ(replies[0].texts[1], Gbk("早安"));
    replies =
        OfKind(rig.Handle({.from = "bob", .text = "问：早 答：早安"}), messages::JOB_SEND_TEXT);
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_EQ(replies[0].texts[0], rig.Sim().UserNameOf("bob"));
}

TEST(IntakeTest, ShieldListComparesTheUinFromTheUinFileExactly) {
    IntakeRig rig;
    ASSERT_EQ(rig.Start(), "");
    const std::string alice = rig.Sim().UserNameOf("alice");
    const std::string bob = rig.Sim().UserNameOf("bob");
    const std::string team = rig.Sim().UserNameOf("team");
    const sim::MessageSpec from_alice{.from = "alice", .text = "问：A 答：B"};
    const sim::MessageSpec from_bob{.from = "bob", .text = "问：A 答：B"};
    const sim::MessageSpec from_team{.from = "team", .member = "bob", .text = "问：A 答：B"};
    const auto answered = [&rig](const sim::MessageSpec& message) {
        return !OfKind(rig.Handle(message), messages::JOB_SEND_TEXT).empty();
    };
    rig.ChangeSettings([](config::Settings& settings) { settings.屏蔽uin = "5,123,900"; });

    // No uin file: nobody is shielded.
    EXPECT_TRUE(answered(from_alice));

    // Written on Windows: CR LF line ends.
    ASSERT_TRUE(platform::WriteFileAtomic(
        rig.AccountDir() + "/uin.ini",
        "[" + alice + "]\r\nUin=123\r\n[" + bob + "]\r\nUin=77\r\n[" + team + "]\r\nUin=900\r\n"));
    EXPECT_FALSE(answered(from_alice));
    EXPECT_TRUE(answered(from_bob));
    // A group is shielded by the group's own entry.
    EXPECT_FALSE(answered(from_team));

    // The blank after the comma stays part of the piece.
    rig.ChangeSettings([](config::Settings& settings) { settings.屏蔽uin = "5, 123"; });
    EXPECT_TRUE(answered(from_alice));
    rig.ChangeSettings([](config::Settings& settings) { settings.屏蔽uin = "5,123"; });
    EXPECT_FALSE(answered(from_alice));
    // A shielded sender's message is still logged.
    rig.ChangeSettings([](config::Settings& settings) { settings.屏蔽uin = "123"; });
    EXPECT_EQ(OfKind(rig.Handle(from_alice), messages::JOB_LOG_ENTRY).size(), 1u);
}

TEST(IntakeTest, TheChainTriesTheFunctionListBeforeLearningAndNeverMatchesAnEmptyWord) {
    IntakeRig rig;
    ASSERT_EQ(rig.Start(), "");
    const sim::MessageSpec command{.from = "alice", .text = "问：Weather 答：晴"};
    const std::string learned = Learned("Weather");
    const auto replies = [&rig](const sim::MessageSpec& message) {
        std::vector<std::string> texts;
        for (const Job& job : OfKind(rig.Handle(message), messages::JOB_SEND_TEXT)) {
            texts.push_back(job.texts[1]);
        }
        return texts;
    };
    // The list word, letter case ignored, ends the chain before learning.
    rig.ChangeSettings([](config::Settings& settings) { settings.列表词 = "weather"; });
    for (const std::string& reply : replies(command)) {
        EXPECT_NE(reply, learned);
    }
    rig.ChangeSettings([](config::Settings& settings) { settings.开启列表 = false; });
    EXPECT_EQ(replies(command), std::vector<std::string>{learned});
    rig.ChangeSettings([](config::Settings& settings) {
        settings.开启列表 = true;
        settings.列表词.clear();
    });
    EXPECT_EQ(replies(command), std::vector<std::string>{learned});
    // An empty answer learns nothing and falls through to the other sources.
    for (const std::string& reply : replies({.from = "alice", .text = "问：Weather 答：  "})) {
        EXPECT_NE(reply, learned);
    }
}

TEST(IntakeTest, NoReplySuppressesTheAnswerAndOffSwitchesStopTheDecision) {
    IntakeRig rig;
    ASSERT_EQ(rig.Start(), "");
    const sim::MessageSpec command{.from = "alice", .text = "问：A 答：B"};
    rig.Robot().Templates().return_text = "[noreply]";
    std::vector<Job> posted = rig.Handle(command);
    EXPECT_TRUE(OfKind(posted, messages::JOB_SEND_TEXT).empty());
    EXPECT_EQ(OfKind(posted, messages::JOB_LOG_ENTRY).size(), 1u);

    rig.Robot().Templates().return_text = Gbk(LEARNED_REPLY_TEMPLATE);
    rig.ChangeSettings([](config::Settings& settings) { settings.启用回复 = false; });
    posted = rig.Handle(command);
    EXPECT_TRUE(OfKind(posted, messages::JOB_SEND_TEXT).empty());
    EXPECT_EQ(OfKind(posted, messages::JOB_LOG_ENTRY).size(), 1u);
}

TEST(IntakeTest, MessagesAreDroppedWhileOfflineOrWithoutContentAndOtherKindsDoNothing) {
    IntakeRig rig;
    ASSERT_EQ(rig.Start(), "");
    rig.Sim().DeliverMessage({.from = "alice", .text = "问：A 答：B"});
    const std::vector<Job> items = rig.Sync();
    ASSERT_EQ(items.size(), 1u);

    rig.Robot().Connection().store(protocol::STATE_REQUEST_FAILED);
    app::RunJob(rig.Robot(), items[0]);
    EXPECT_TRUE(rig.TakeJobs().empty());
    rig.Robot().Connection().store(protocol::STATE_ONLINE);

    const std::size_t requests = rig.Sim().Requests().size();
    const std::size_t calls = rig.Screen().Calls().size();
    app::RunJob(rig.Robot(), Job{6, {items[0].texts[0], "", "", ""}});
    EXPECT_TRUE(rig.TakeJobs().empty());
    EXPECT_EQ(rig.Sim().Requests().size(), requests);
    EXPECT_EQ(rig.Screen().Calls().size(), calls);

    // The same item without its content, and the item whole as kind 5.
    std::string emptied = items[0].texts[0];
    const std::size_t content = emptied.find("\"Content\": \"");
    ASSERT_NE(content, std::string::npos);
    emptied.erase(content + 12, emptied.find('"', content + 12) - (content + 12));
    app::RunJob(rig.Robot(), Job{messages::JOB_INCOMING_MESSAGE, {emptied, "", "", ""}});
    EXPECT_TRUE(rig.TakeJobs().empty());
    app::RunJob(rig.Robot(), items[0]);
    EXPECT_EQ(rig.TakeJobs().size(), 2u);
}

}  // namespace
}  // namespace zelmo::test
