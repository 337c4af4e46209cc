// The robot's memory against the simulator: the archive and the contact keys outlive a
// restart and the new names of every login, and a database that fails never stops the
// answers.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "config/Settings.h"
#include "platform/Files.h"
#include "platform/GbkLiteral.h"
#include "store/ArchiveReader.h"
#include "support/OnlineRobot.h"

namespace zelmo::test {
namespace {

using namespace std::chrono_literals;
using platform::Gbk;
constexpr auto WAIT = 20s;

OnlineRobot::Options Replying() {
    OnlineRobot::Options options;
    options.synccheck_hold_ms = 300;
    options.prepare = [](const std::string& account_dir) {
        platform::WriteFileAtomic(account_dir + "/config/reply.ini", Gbk("你好\r\n你好呀"));
    };
    return options;
}

// Delivers a text the robot answers and waits for its answer: every message delivered
// before it has been taken by then.
void AskAndWait(OnlineRobot& online, const std::string& from) {
    const std::size_t sent = online.Sim().SentMessages().size();
    online.Sim().DeliverMessage({sim::MessageKind::Text, from, "", "", "你好"});
    ASSERT_TRUE(online.Sim().WaitForSentMessages(sent + 1, WAIT));
}

std::vector<store::ArchiveRow> Archived(const OnlineRobot& online) {
    std::string error;
    std::optional<store::ArchiveReader> reader =
        store::ArchiveReader::Open(online.AccountDir() + "/zelmo.db", &error);
    EXPECT_TRUE(reader.has_value()) << error;
    return reader ? reader->LastRows(1000).rows : std::vector<store::ArchiveRow>{};
}

const store::ArchiveRow* Find(const std::vector<store::ArchiveRow>& rows, std::string_view text,
                              store::Direction direction = store::Direction::In) {
    const auto found = std::find_if(rows.begin(), rows.end(), [&](const store::ArchiveRow& row) {
        return row.text == text && row.direction == direction;
    });
    return found == rows.end() ? nullptr : &*found;
}

std::size_t Onlines(const std::vector<StubScreen::Call>& calls) {
    return static_cast<std::size_t>(
        std::count_if(calls.begin(), calls.end(), [](const StubScreen::Call& call) {
            return call.name == "SetMainCaption" && call.text == Gbk("Zelmo 5.3  在线");
        }));
}

TEST(ArchiveTest, ARestartKeepsEveryKindOfMessageTheRepliesAndTheRecallsWithTheirKeys) {
    OnlineRobot online(Replying());
    ASSERT_EQ(online.Start(), "");
    sim::Simulator& simulator = online.Sim();
    // An emoji outside the BMP comes as a span; the archive keeps the character.
    simulator.DeliverMessage({sim::MessageKind::Text, "alice", "", "", "早上好 😄"});
    simulator.DeliverMessage({sim::MessageKind::Picture, "bob", "", "", ""});
    simulator.DeliverMessage({sim::MessageKind::Text, "team", "carol", "", "群里的话"});
    AskAndWait(online, "bob");
    // Bob takes back his "你好".
    simulator.DeliverMessage({sim::MessageKind::Recall, "bob", "", "", ""});
    AskAndWait(online, "alice");
    const std::string alice_key = online.Robot().Keys().KeyOf(simulator.UserNameOf("alice"));
    ASSERT_FALSE(alice_key.empty());
    // Bob's picture is saved, and its row learns where.
    ASSERT_TRUE(online.Screen().WaitForCall("LogRowFile", WAIT, 1));
    const std::string picture_path = online.Screen().TextsOf("LogRowFile").front();

    ASSERT_EQ(online.Restart(), "");
    const std::vector<store::ArchiveRow> rows = Archived(online);
    const store::ArchiveRow* emoji = Find(rows, "早上好 😄");
    ASSERT_NE(emoji, nullptr);
    EXPECT_EQ(emoji->kind, "文本");
    EXPECT_EQ(emoji->chat_name, "Alice");
    EXPECT_EQ(emoji->chat_key, alice_key);
    EXPECT_FALSE(emoji->msg_id.empty());
    EXPECT_GT(emoji->time_ms, 0);
    const store::ArchiveRow* group = Find(rows, "群里的话");
    ASSERT_NE(group, nullptr);
    EXPECT_EQ(group->chat_name, "Team");
    EXPECT_EQ(group->sender_name, "Carol");
    EXPECT_FALSE(group->sender_key.empty());
    EXPECT_NE(group->sender_key, group->chat_key);
    const auto picture = std::find_if(rows.begin(), rows.end(), [](const store::ArchiveRow& row) {
        return row.kind == "[图片]";
    });
    ASSERT_NE(picture, rows.end());
    EXPECT_EQ(std::count_if(picture + 1, rows.end(),
                            [](const store::ArchiveRow& row) { return row.kind == "[图片]"; }),
              0);
    EXPECT_NE(picture->media_path, "");
    EXPECT_NE(picture_path.find(picture->media_path), std::string::npos) << picture_path;
    EXPECT_TRUE(platform::FileExists(picture->media_path)) << picture->media_path;
    EXPECT_EQ(std::count_if(rows.begin(), rows.end(),
                            [](const store::ArchiveRow& row) { return row.kind == "[撤回]"; }),
              1);
    // Only bob's question is marked, not alice's.
    std::vector<bool> asked_recalled;
    for (const store::ArchiveRow& row : rows) {
        if (row.text == "你好" && row.direction == store::Direction::In) {
            asked_recalled.push_back(row.recalled);
            EXPECT_EQ(row.recalled, row.chat_name == "Bob") << row.chat_name;
        }
    }
    EXPECT_EQ(asked_recalled.size(), 2u);
    const store::ArchiveRow* reply = Find(rows, "你好呀", store::Direction::Out);
    ASSERT_NE(reply, nullptr);
    EXPECT_EQ(reply->result, "ok");
    EXPECT_EQ(reply->origin, "reply");
    EXPECT_FALSE(reply->msg_id.empty());

    // The restarted robot knows the same people by the same keys, and its log starts with
    // what the last run archived.
    EXPECT_EQ(online.Robot().Keys().KeyOf(simulator.UserNameOf("alice")), alice_key);
    EXPECT_EQ(online.Robot().Archive().TakeStartRows().size(), rows.size());

    // Her key in the shield list silences her, with no uin.ini to give her a Uin.
    online.Robot().Settings().Update(
        [&alice_key](config::Settings& settings) { settings.屏蔽uin = "1," + alice_key; });
    const std::size_t before = simulator.SentMessages().size();
    simulator.DeliverMessage({sim::MessageKind::Text, "alice", "", "", "你好"});
    AskAndWait(online, "bob");
    AskAndWait(online, "bob");
    const std::vector<sim::SentMessage> sent = simulator.SentMessages();
    ASSERT_EQ(sent.size(), before + 2);
    EXPECT_EQ(sent.back().to, simulator.UserNameOf("bob"));
    EXPECT_EQ(sent[before].to, simulator.UserNameOf("bob"));
}

// Every UserName new at each login, 5% of the nicknames changed, two pairs of friends with
// one nickname each: across 10 logins, half of them in a new process, nearly everyone keeps
// their key, and no key ever names two people.
TEST(ArchiveTest, ContactKeysOutliveTenLoginsWithNewNamesAndRestarts) {
    constexpr int FRIENDS = 100;
    std::string friends;
    for (int i = 0; i < FRIENDS; ++i) {
        // Friends 0 and 1, and 2 and 3, share a nickname; they differ in the rest.
        const int name = i < 4 ? i / 2 : i;
        friends += std::string(i == 0 ? "" : ",") + R"({"id": "f)" + std::to_string(i) +
                   R"(", "NickName": "好友)" + std::to_string(name) + R"(", "Sex": )" +
                   std::to_string(1 + i % 2) + R"(, "Province": "省)" + std::to_string(i % 7) +
                   R"(", "City": "市)" + std::to_string(i % 5) + R"(", "Signature": "签名)" +
                   std::to_string(i % 3) + R"("})";
    }
    OnlineRobot::Options options = Replying();
    // Ten logins in a minute are what this test is about, not what the guard stops.
    options.prepare = [prepare = options.prepare](const std::string& account_dir) {
        prepare(account_dir);
        platform::WriteFileAtomic(account_dir + "/config/mzset.ini",
                                  Gbk("[机器人设置]\r\n自动登录上限=0\r\n"));
    };
    options.rename_at_login = true;
    options.rename_nickname_share = 0.05;
    options.scenario_json = R"({"contacts": [)" + friends + "]}";
    OnlineRobot online(options);
    ASSERT_EQ(online.Start(), "");

    std::vector<std::string> first(FRIENDS);
    std::map<std::string, std::set<int>> people_of_key;
    std::set<std::string> names_of_f0;
    int kept = 0;
    int checked = 0;
    for (int login = 1; login <= 10; ++login) {
        if (login > 1) {
            // A session that answered was no session ended right after its login.
            AskAndWait(online, "f" + std::to_string(login));
            // The re-login is done when the caption says online once more.
            const std::size_t online_before = Onlines(online.Screen().Calls());
            online.Sim().EndSession(1101);
            if (login % 2 == 0) {
                ASSERT_EQ(online.Restart(), "") << login;
            } else {
                ASSERT_TRUE(online.Screen().WaitUntil(
                    [&](const std::vector<StubScreen::Call>& calls) {
                        return Onlines(calls) > online_before;
                    },
                    WAIT))
                    << login;
            }
        }
        names_of_f0.insert(online.Sim().UserNameOf("f0"));
        for (int i = 0; i < FRIENDS; ++i) {
            const std::string key =
                online.Robot().Keys().KeyOf(online.Sim().UserNameOf("f" + std::to_string(i)));
            ASSERT_FALSE(key.empty()) << "f" << i << " at login " << login;
            people_of_key[key].insert(i);
            if (login == 1) {
                first[i] = key;
            } else {
                ++checked;
                kept += key == first[i] ? 1 : 0;
            }
        }
    }
    EXPECT_EQ(names_of_f0.size(), 10u);
    EXPECT_GE(kept * 100, checked * 99) << kept << " of " << checked;
    for (const auto& [key, people] : people_of_key) {
        EXPECT_EQ(people.size(), 1u) << key;
    }
}

// A database that cannot be opened is told once, naming the file; the robot answers on.
TEST(ArchiveTest, ADatabaseThatCannotBeOpenedIsToldOnceWhileTheRobotAnswersOn) {
    OnlineRobot::Options options = Replying();
    options.prepare = [prepare = options.prepare](const std::string& account_dir) {
        prepare(account_dir);
        platform::MakeDirectories(account_dir + "/zelmo.db/in-the-way");
    };
    OnlineRobot online(options);
    ASSERT_EQ(online.Start(), "");
    AskAndWait(online, "alice");
    AskAndWait(online, "bob");
    ASSERT_TRUE(online.Screen().WaitForCall("ShowMessageBox", WAIT));
    const std::vector<std::string> boxes = online.Screen().TextsOf("ShowMessageBox");
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_NE(boxes.front().find("zelmo.db"), std::string::npos) << boxes.front();
}

}  // namespace
}  // namespace zelmo::test
