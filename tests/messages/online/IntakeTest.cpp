#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "app/Heartbeat.h"
#include "app/JobDispatch.h"
#include "contacts/ContactRequests.h"
#include "jobs/JobQueue.h"
#include "messages/Intake.h"
#include "messages/LangTemplates.h"
#include "messages/MessageJobs.h"
#include "messages/MessageLog.h"
#include "messages/Sending.h"
#include "platform/Encoding.h"
#include "platform/Files.h"
#include "platform/GbkLiteral.h"
#include "protocol/ConnectionState.h"
#include "protocol/SyncRequests.h"
#include "support/FakeClock.h"
#include "support/RecordingObserver.h"
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
    explicit IntakeRig(Options options) : SyncRig(std::move(options)) {}

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
        protocol::SyncAnswer answer;
        if (!app::SyncAndKeepKey(Robot(), answer)) {
            ADD_FAILURE() << "webwxsync failed";
            return {};
        }
        app::PostSyncNews(Robot().Queue(), Robot().HandledMessages(), answer);
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
    // As people read them: the members of a group not yet fetched keep their UserNames.
    const std::vector<std::array<std::string, 4>> expected = {
        {simulator.UserNameOf("alice"), own, Gbk("她说 \"好\" \\ ok !"), ""},
        {simulator.UserNameOf("team"), own, simulator.UserNameOf("bob") + Gbk(": 大家好\r\n第二行"),
         ""},
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
    // The reply has a row of its own, behind the message's.
    const std::vector<Job> rows = OfKind(theirs, messages::JOB_LOG_ENTRY);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[1].texts, (std::array<std::string, 4>{rig.Own(), alice, Learned("天气"), ""}));

    // Without 显示消息 an own message posts nothing at all.
    rig.ChangeSettings([](config::Settings& settings) { settings.显示消息 = false; });
    EXPECT_TRUE(rig.Handle({.from = "self", .to = "alice", .text = command}).empty());
    EXPECT_EQ(
        OfKind(rig.Handle({.from = "alice", .text = command}), messages::JOB_LOG_ENTRY).size(), 0u);
}

TEST(IntakeTest, GroupMessagesAreAnsweredToTheGroupWhenGroupLearningIsOn) {
    RecordingObserver observer;  // outlives the robot, whose threads tell it
    IntakeRig rig;
    ASSERT_EQ(rig.Start(), "");
    rig.Robot().Observers().Add(observer);
    const std::string team = rig.Sim().UserNameOf("team");
    const sim::MessageSpec group_command{
        .from = "team", .member = "bob", .text = "问：早 答：早安"};
    std::vector<Job> replies = OfKind(rig.Handle(group_command), messages::JOB_SEND_TEXT);
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_EQ(replies[0].texts, (std::array<std::string, 4>{team, Learned("早"), "", ""}));
    // The observers hear of it once it is handled: the group, the member who wrote it, and
    // the text without the member's prefix.
    const std::vector<RecordingObserver::Received> heard = observer.ReceivedEvents();
    ASSERT_EQ(heard.size(), 1u);
    EXPECT_EQ(heard[0].chat, team);
    EXPECT_EQ(heard[0].chat_type, protocol::CHAT_GROUP);
    EXPECT_EQ(heard[0].sender, rig.Sim().UserNameOf("bob"));
    EXPECT_EQ(heard[0].text, Gbk("问：早 答：早安"));
    EXPECT_FALSE(heard[0].msg_id.empty());

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

TEST(IntakeTest, MessagesWaitWhileOfflineThoseWithoutContentAndOtherKindsDoNothing) {
    IntakeRig rig;
    ASSERT_EQ(rig.Start(), "");
    rig.Sim().DeliverMessage({.from = "alice", .text = "问：A 答：B"});
    const std::vector<Job> items = rig.Sync();
    ASSERT_EQ(items.size(), 1u);

    // Offline, the job waits for the robot to come back instead of being dropped.
    rig.Robot().Connection().Set(protocol::STATE_REQUEST_FAILED);
    std::thread worker([&rig, &items] { app::RunJob(rig.Robot(), items[0]); });
    ASSERT_TRUE(rig.Robot().Connection().WaitForWaiters(1, SyncRig::WAIT));
    EXPECT_TRUE(rig.TakeJobs().empty());
    rig.Robot().Connection().Set(protocol::STATE_ONLINE);
    worker.join();
    const std::vector<Job> handled = rig.TakeJobs();
    // The message's row and the reply's row.
    EXPECT_EQ(OfKind(handled, messages::JOB_LOG_ENTRY).size(), 2u);
    EXPECT_EQ(OfKind(handled, messages::JOB_SEND_TEXT).size(), 1u);

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
    // The message's row, the reply's row and the reply.
    EXPECT_EQ(rig.TakeJobs().size(), 3u);
}

// An account of today: a friend without a gender, an official account, a group whose
// member has a name card.
constexpr std::string_view MODERN_ACCOUNT = R"({
  "fun": "3",
  "account": {"Uin": 2100000034, "NickName": "Rig", "Sex": 1},
  "friends": [{"id": "alice", "NickName": "小爱", "Sex": 2},
              {"id": "bob", "NickName": "Bob", "Sex": 1},
              {"id": "zero", "NickName": "没填性别", "Sex": 0}],
  "public_accounts": [{"id": "news", "NickName": "每日新闻", "VerifyFlag": 24, "Sex": 0}],
  "groups": [{"id": "team", "NickName": "今天的群",
              "members": ["alice", "bob", {"id": "dave", "NickName": "Dave", "DisplayName": "大卫"}]}]
})";

// The rig on that account with its contacts and the group's members fetched, as the
// start-up leaves them.
class ModernRig : public IntakeRig {
public:
    explicit ModernRig(platform::Clock* clock = nullptr)
        : IntakeRig(Options{.era = sim::Era::Late2018,
                            .scenario_json = std::string(MODERN_ACCOUNT),
                            .clock = clock}) {}

    std::string Start() {
        std::string failure = IntakeRig::Start();
        if (!failure.empty()) {
            return failure;
        }
        contacts::FetchContactList(Robot().Link(), *Robot().State(), Robot().Contacts(),
                                   Robot().Queue());
        for (const Job& job : TakeJobs()) {
            app::RunJob(Robot(), job);
        }
        return {};
    }
};

struct Outcome {
    std::string logged;             // the message's row content (UTF-8)
    std::vector<std::string> sent;  // the replies (UTF-8)
};

Outcome OutcomeOf(const std::vector<Job>& jobs) {
    Outcome outcome;
    const std::vector<Job> rows = OfKind(jobs, messages::JOB_LOG_ENTRY);
    if (!rows.empty()) {
        outcome.logged = platform::GbkToUtf8(rows[0].texts[2]);
    }
    for (const Job& job : OfKind(jobs, messages::JOB_SEND_TEXT)) {
        outcome.sent.push_back(platform::GbkToUtf8(job.texts[1]));
    }
    return outcome;
}

TEST(IntakeTest, TodaysFormsAreLabelledLoggedReadablyAndOnlyChatsAreAnswered) {
    ModernRig rig;
    ASSERT_EQ(rig.Start(), "");
    messages::KnowledgeBase& base = rig.Robot().Knowledge();
    // A keyword in every title and a default reply: whatever reaches the base is answered.
    base.LearnPair(Gbk("天气"), Gbk("晴"));
    base.LearnPair("[noword]", Gbk("听不懂"));
    rig.ChangeSettings([](config::Settings& settings) {
        settings.群默认 = true;
        settings.群管_邀 = Gbk("欢迎[name]入群");
        settings.群管_加 = Gbk("欢迎[name]扫码入群");
    });
    using Kind = sim::MessageKind;
    using Form = sim::MessageForm;
    const std::vector<std::string> nothing;
    const std::vector<std::string> fallback = {"听不懂"};
    struct Case {
        sim::MessageSpec message;
        std::string logged;
        std::vector<std::string> sent;
    };
    const std::vector<Case> cases = {
        {{.kind = Kind::Picture, .from = "alice", .form = Form::Y2017}, "[图片]", fallback},
        {{.kind = Kind::Video, .from = "bob", .form = Form::Y2017}, "[视频]", fallback},
        {{.kind = Kind::Picture, .from = "bob", .form = Form::Y2018}, "[图片]", fallback},
        {{.kind = Kind::Voice, .from = "alice", .form = Form::Y2018}, "[语音]", fallback},
        // A keyword in a link's title is not a question.
        {{.kind = Kind::App,
          .from = "alice",
          .text = "天气 链接",
          .url = "https://e.example/b",
          .form = Form::Y2018},
         "[应用消息]",
         fallback},
        {{.kind = Kind::File, .from = "bob", .text = "天气.pdf", .form = Form::Y2018},
         "[应用消息]",
         fallback},
        {{.kind = Kind::Location, .from = "alice", .text = "深圳市南山区", .form = Form::Y2018},
         "[地理位置]深圳市南山区",
         fallback},
        {{.kind = Kind::Location,
          .from = "team",
          .member = "dave",
          .text = "北京市海淀区",
          .form = Form::Y2018},
         "大卫: [地理位置]北京市海淀区",
         fallback},
        {{.kind = Kind::Picture, .from = "team", .member = "bob", .form = Form::Y2017},
         "Bob: [图片]",
         fallback},
        {{.kind = Kind::Sticker, .from = "team", .member = "alice"}, "小爱: [表情]", fallback},
        {{.kind = Kind::Text, .from = "zero", .text = "天气好"}, "天气好", {"晴"}},
        // Logged, never answered.
        {{.kind = Kind::Recall, .from = "bob"}, "\"Bob\" 撤回了一条消息", nothing},
        {{.kind = Kind::VerifyRequest, .text = "天气", .actor = "陌生人", .target = "stranger"},
         "[好友请求]陌生人",
         nothing},
        {{.kind = Kind::StatusNotify, .from = "alice"}, "[会话]", nothing},
        {{.kind = Kind::Article, .from = "news", .text = "今日 天气"}, "[图文]", nothing},
        {{.kind = Kind::Text, .from = "news", .text = "天气 服务通知"}, "天气 服务通知", nothing},
        {{.kind = Kind::SystemNotice,
          .from = "team",
          .notice = "rename",
          .actor = "小爱",
          .target = "天气群"},
         "\"小爱\"修改群名为“天气群”",
         nothing},
        // Group events: the names without the service's quotes.
        {{.kind = Kind::SystemNotice,
          .from = "team",
          .notice = "invite",
          .actor = "小爱",
          .target = "Eve"},
         "\"小爱\"邀请\"Eve\"加入了群聊",
         {"欢迎Eve入群"}},
        {{.kind = Kind::SystemNotice,
          .from = "team",
          .notice = "invite",
          .actor = "小爱",
          .targets = {"Eve", "Frank"}},
         "\"小爱\"邀请\"Eve、Frank\"加入了群聊",
         {"欢迎Eve、Frank入群"}},
        {{.kind = Kind::SystemNotice,
          .from = "team",
          .notice = "qr_join",
          .actor = "Bob",
          .target = "Hank"},
         "\" Hank\"通过扫描\"Bob\"分享的二维码加入群聊",
         {"欢迎Hank扫码入群"}},
        {{.kind = Kind::SystemNotice,
          .from = "team",
          .notice = "invite",
          .actor = "Alice",
          .target = "Jack",
          .english = true},
         "Alice invited Jack to the group chat",
         {"欢迎Jack入群"}},
        {{.kind = Kind::SystemNotice,
          .from = "team",
          .notice = "qr_join",
          .actor = "Alice",
          .target = "Leo",
          .english = true},
         "\"Leo\" joined the group chat via the QR Code shared by \"Alice\".",
         {"欢迎Leo扫码入群"}},
    };
    for (const Case& c : cases) {
        const Outcome outcome = OutcomeOf(rig.Handle(c.message));
        EXPECT_EQ(outcome.logged, c.logged);
        EXPECT_EQ(outcome.sent, c.sent) << c.logged;
    }
    // An invitation with the texts left empty is answered by nobody, the base included.
    rig.ChangeSettings([](config::Settings& settings) { settings.群管_邀.clear(); });
    EXPECT_EQ(OutcomeOf(rig.Handle({.kind = Kind::SystemNotice,
                                    .from = "team",
                                    .notice = "invite",
                                    .actor = "Bob",
                                    .target = "天气"}))
                  .sent,
              nothing);
}

TEST(IntakeTest, TwoRobotsAnsweringEachOtherStopWithinAMinute) {
    FakeClock clock;
    ModernRig rig(&clock);
    ASSERT_EQ(rig.Start(), "");
    // Both robots answer a greeting with a greeting.
    rig.Robot().Knowledge().LearnPair(Gbk("你好"), Gbk("你好"));
    const sim::MessageSpec greeting{.from = "alice", .text = "你好"};
    const std::int64_t start = clock.TickMs();
    std::size_t answered = 0;
    std::vector<Job> last;
    for (int round = 0; round < 40; ++round) {
        last = rig.Handle(greeting);
        if (OfKind(last, messages::JOB_SEND_TEXT).empty()) {
            break;
        }
        ++answered;
        clock.Advance(1500);  // the other robot's answer takes its time
    }
    EXPECT_EQ(answered, 20u);
    EXPECT_LT(clock.TickMs() - start, 60'000);
    // The dropped reply is logged as dropped, not queued for later.
    const std::vector<Job> rows = OfKind(last, messages::JOB_LOG_ENTRY);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[1].texts[2], messages::DroppedReplyMark() + Gbk("你好"));
    // Another chat is answered meanwhile, and this one once its minute has passed.
    EXPECT_EQ(OutcomeOf(rig.Handle({.from = "bob", .text = "你好"})).sent,
              std::vector<std::string>{"你好"});
    clock.Advance(60'000 - (clock.TickMs() - start) + 1);
    EXPECT_EQ(OutcomeOf(rig.Handle(greeting)).sent, std::vector<std::string>{"你好"});

    // 0 is no limit; the setting counts per minute of the robot's own clock.
    rig.ChangeSettings([](config::Settings& settings) { settings.每分钟回复上限 = "0"; });
    for (int round = 0; round < 30; ++round) {
        ASSERT_EQ(OutcomeOf(rig.Handle(greeting)).sent.size(), 1u) << round;
    }
    rig.ChangeSettings([](config::Settings& settings) { settings.每分钟回复上限 = "2"; });
    clock.Advance(60'000);
    EXPECT_EQ(OutcomeOf(rig.Handle(greeting)).sent.size(), 1u);
    EXPECT_EQ(OutcomeOf(rig.Handle(greeting)).sent.size(), 1u);
    EXPECT_EQ(OutcomeOf(rig.Handle(greeting)).sent.size(), 0u);
}

TEST(IntakeTest, EveryPlaceholderOfTheDefaultTemplatesIsReplacedBeforeSending) {
    IntakeRig rig;
    ASSERT_EQ(rig.Start(), "");
    rig.Robot().Templates() = messages::LoadLangTemplates("/nonexistent/lang.ini");
    rig.ChangeSettings([](config::Settings& settings) { settings.机器人姓名 = Gbk("小精灵"); });
    const messages::LangTemplates& templates = rig.Robot().Templates();
    // Between them the function list and the learning answer use every default template.
    const std::vector<std::string> used = {
        templates.return_a,    templates.return_c, templates.function_key, templates.function_info,
        templates.return_text, templates.format_a, templates.format_b};
    // Searched in UTF-8, where no byte of a Chinese character looks like a bracket.
    const std::regex bracketed(R"(\[[A-Za-z0-9_]+\])");
    std::size_t placeholders = 0;
    for (const std::string& text : used) {
        const std::string utf8 = platform::GbkToUtf8(text);
        placeholders += static_cast<std::size_t>(
            std::distance(std::sregex_iterator(utf8.begin(), utf8.end(), bracketed), {}));
    }
    EXPECT_GT(placeholders, 0u);
    const std::string robot_name = rig.Robot().Settings().Get()->机器人姓名;
    for (const sim::MessageSpec& message :
         {sim::MessageSpec{.from = "alice", .text = "功能"},
          sim::MessageSpec{.from = "team", .member = "bob", .text = "功能"},
          sim::MessageSpec{.from = "alice", .text = "问：早 答：早安"}}) {
        const std::vector<Job> sends = OfKind(rig.Handle(message), messages::JOB_SEND_TEXT);
        ASSERT_EQ(sends.size(), 1u) << message.text;
        const std::string sent =
            platform::GbkToUtf8(messages::ExpandOutgoing(sends[0].texts[1], robot_name));
        EXPECT_FALSE(std::regex_search(sent, bracketed)) << sent;
        if (message.text == "功能") {
            EXPECT_NE(sent.find("小精灵"), std::string::npos) << sent;
        }
    }
}

}  // namespace
}  // namespace zelmo::test
